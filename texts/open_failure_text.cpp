#include "texts/open_failure_text.h"

#include <string_view>

#include "platform/serial_line.h"
#include "texts/string_table.h"

namespace velmar::texts {

namespace {

using transport::OpenFailureKind;

constexpr struct {
  OpenFailureKind kind;
  TextId text_id;
} kReasons[] = {
    {OpenFailureKind::kNoDevice, IDS_PORT_MISSING},
    {OpenFailureKind::kAccessDenied, IDS_PORT_NO_ACCESS},
    {OpenFailureKind::kBusy, IDS_PORT_HELD},
    {OpenFailureKind::kSettingsRefused, IDS_PORT_SETTINGS_REFUSED},
    {OpenFailureKind::kNoConnection, IDS_NO_CONNECTION},
};

}  // namespace

std::string OpenFailureText(const transport::OpenFailure& failure) {
  std::string text(LoadText(IDS_PORT_BUSY));
  for (const auto& reason : kReasons) {
    if (reason.kind != failure.kind) {
      continue;
    }
    text += "\n";
    text += LoadText(reason.text_id);
    if (!failure.system_text.empty()) {
      text += " (" + failure.system_text + ")";
    }
    text += ".";
    const std::string_view group = platform::PortAccessGroup();
    if (failure.kind == OpenFailureKind::kAccessDenied && !group.empty()) {
      text += "\n" + FormatText(IDS_PORT_ACCESS_GROUP, group);
    }
  }
  return text;
}

}  // namespace velmar::texts
