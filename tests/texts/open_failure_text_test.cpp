// The words for a port that did not open.

#include "texts/open_failure_text.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/serial_line.h"
#include "texts/string_table.h"

namespace velmar::texts {
namespace {

// Why a port did not open, on a line after text 103: our words for the kind, the system's,
// and where a group grants access to ports, that group.
TEST(OpenFailureTextTest, SaysWhyThePortDidNotOpen) {
  using transport::OpenFailureKind;
  const std::string busy(LoadText(IDS_PORT_BUSY));
  const std::string group = platform::PortAccessGroup();
  const std::string group_hint = group.empty() ? "" : "\nДоступ дают права группы " + group + ".";
  const struct {
    transport::OpenFailure failure;
    std::string text;
  } cases[] = {
      {{OpenFailureKind::kNoDevice, ENOENT, "No such file or directory", ""},
       busy + "\nТакого порта нет (No such file or directory)."},
      {{OpenFailureKind::kAccessDenied, EACCES, "Permission denied", ""},
       busy + "\nНет доступа к порту (Permission denied)." + group_hint},
      {{OpenFailureKind::kAccessDenied, EPERM, "", ""},
       busy + "\nНет доступа к порту." + group_hint},
      {{OpenFailureKind::kBusy, EBUSY, "Device or resource busy", ""},
       busy + "\nПорт занят другой программой (Device or resource busy)."},
      {{OpenFailureKind::kSettingsRefused, 0, "", ""}, busy + "\nПорт не принял настройки линии."},
      {{OpenFailureKind::kNoConnection, ECONNREFUSED, "Connection refused", ""},
       busy + "\nНе удалось соединиться с принтером (Connection refused)."},
      {{OpenFailureKind::kServerRefused, 0, "the server set 115200 baud, not 9600", "rfc2217://h:1",
        9600},
       busy + "\nrfc2217://h:1: Сервер портов не дал настроить порт (the server set 115200 baud, "
              "not 9600)."},
      {{OpenFailureKind::kNone, 0, "", ""}, busy},
      // The port named as the user named it, or HOST:PORT.
      {{OpenFailureKind::kAccessDenied, EACCES, "Permission denied", "/dev/ttyS0"},
       busy + "\n/dev/ttyS0: Нет доступа к порту (Permission denied)." + group_hint},
      {{OpenFailureKind::kNoConnection, ECONNREFUSED, "Connection refused", "[::1]:4001"},
       busy + "\n[::1]:4001: Не удалось соединиться с принтером (Connection refused)."},
      // A rate of the window's list refused: the line settings; any other: the rate, and the
      // rates to choose from.
      {{OpenFailureKind::kSettingsRefused, EINVAL, "Invalid argument", "COM1", 9600},
       busy + "\nCOM1: Порт не принял настройки линии (Invalid argument)."},
      {{OpenFailureKind::kSettingsRefused, 0, "", "COM1", 12345},
       busy + "\nCOM1: Порт не принял скорость 12345.\nВыберите одну из скоростей: 2400, 4800, "
              "7200, 9600, 14400, 19200, 38400, 57600, 115200."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OpenFailureText(c.failure), c.text) << c.failure.system_error;
  }
  // Debian's serial devices belong to dialout; Windows has no such group.
  EXPECT_TRUE(group.empty() || group == "dialout") << group;
}

}  // namespace
}  // namespace velmar::texts
