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
      {{OpenFailureKind::kNoDevice, ENOENT, "No such file or directory"},
       busy + "\nТакого порта нет (No such file or directory)."},
      {{OpenFailureKind::kAccessDenied, EACCES, "Permission denied"},
       busy + "\nНет доступа к порту (Permission denied)." + group_hint},
      {{OpenFailureKind::kAccessDenied, EPERM, ""}, busy + "\nНет доступа к порту." + group_hint},
      {{OpenFailureKind::kBusy, EBUSY, "Device or resource busy"},
       busy + "\nПорт занят другой программой (Device or resource busy)."},
      {{OpenFailureKind::kSettingsRefused, 0, ""}, busy + "\nПорт не принял настройки линии."},
      {{OpenFailureKind::kNoConnection, ECONNREFUSED, "Connection refused"},
       busy + "\nНе удалось соединиться с принтером (Connection refused)."},
      {{OpenFailureKind::kNone, 0, ""}, busy},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OpenFailureText(c.failure), c.text) << c.failure.system_error;
  }
  // Debian's serial devices belong to dialout; Windows has no such group.
  EXPECT_TRUE(group.empty() || group == "dialout") << group;
}

}  // namespace
}  // namespace velmar::texts
