#include "texts/open_failure_text.h"

#include <string_view>

#include "platform/serial_line.h"
#include "settings/baud_rate.h"
#include "texts/string_table.h"

namespace velmar::texts {

namespace {

using transport::OpenFailureKind;

constexpr struct {
  OpenFailureKind kind;
  TextId text_id;
} kReasons[] = {
    {OpenFailureKind::kNoDevice, IDS_PORT_MISSING},
    {OpenFailureKind::kNoHardware, IDS_PORT_NO_HARDWARE},
    {OpenFailureKind::kAccessDenied, IDS_PORT_NO_ACCESS},
    {OpenFailureKind::kBusy, IDS_PORT_HELD},
    {OpenFailureKind::kSettingsRefused, IDS_PORT_SETTINGS_REFUSED},
    {OpenFailureKind::kNoConnection, IDS_NO_CONNECTION},
    {OpenFailureKind::kSystemFailure, IDS_PORT_SYSTEM_FAILURE},
    {OpenFailureKind::kServerRefused, IDS_SERVER_REFUSED},
};

// A refused rate outside the window's list is most likely refused for itself: the framing is the
// same for every rate.
bool UnusualRate(const transport::OpenFailure& failure) {
  if (failure.kind != OpenFailureKind::kSettingsRefused || failure.baud_rate == 0) {
    return false;
  }
  for (const std::string_view item : settings::kBaudRateItems) {
    if (settings::BaudRateValue(item) == failure.baud_rate) {
      return false;
    }
  }
  return true;
}

std::string UsualRates() {
  std::string rates;
  for (const std::string_view item : settings::kBaudRateItems) {
    rates.append(rates.empty() ? "" : ", ").append(item);
  }
  return rates;
}

}  // namespace

std::string OpenFailureText(const transport::OpenFailure& failure) {
  std::string text(LoadText(IDS_PORT_BUSY));
  for (const auto& reason : kReasons) {
    if (reason.kind != failure.kind) {
      continue;
    }
    const bool unusual_rate = UnusualRate(failure);
    const std::string words =
        unusual_rate ? FormatText(IDS_PORT_RATE_REFUSED, std::to_string(failure.baud_rate))
                     : std::string(LoadText(reason.text_id));
    text.append("\n").append(ReasonLine(failure.port, words, failure.system_text));
    const std::string_view group = platform::PortAccessGroup();
    if (failure.kind == OpenFailureKind::kAccessDenied && !group.empty()) {
      text.append("\n").append(FormatText(IDS_PORT_ACCESS_GROUP, group));
    }
    if (unusual_rate) {
      text.append("\n").append(FormatText(IDS_PORT_RATES, UsualRates()));
    }
  }
  return text;
}

}  // namespace velmar::texts
