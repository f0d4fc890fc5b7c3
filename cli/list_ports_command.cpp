#include <cstdio>
#include <string>
#include <vector>

#include "cli/load_command.h"
#include "cli/options.h"
#include "cli/output_json.h"
#include "cli/port_lines.h"
#include "platform/console_output.h"
#include "texts/string_table.h"

namespace velmar::cli {

namespace {

// Why the user may not open the port, with the group that would let them.
std::string NoAccessNote() {
  std::string note(texts::LoadText(texts::IDS_PORT_NO_ACCESS));
  note.append(".");
  const std::string group = platform::PortAccessGroup();
  if (!group.empty()) {
    note.append(" ").append(texts::FormatText(texts::IDS_PORT_ACCESS_GROUP, group));
  }
  return note;
}

void Append(std::string* details, const std::string& part) {
  if (!part.empty()) {
    details->append(details->empty() ? "" : ", ").append(part);
  }
}

const char* AccessName(platform::PortAccess access) {
  switch (access) {
    case platform::PortAccess::kAllowed:
      return "allowed";
    case platform::PortAccess::kDenied:
      return "denied";
    case platform::PortAccess::kUnknown:
      break;
  }
  return "unknown";
}

}  // namespace

std::string LatencyWarning(const platform::PortDetails& port) {
  if (platform::LoaderLowersLatency() || port.latency_timer_ms <= platform::kSlowLatencyMs) {
    return {};
  }
  return texts::FormatText(texts::IDS_SLOW_LATENCY, std::to_string(port.latency_timer_ms));
}

std::string PortLine(const platform::PortDetails& port, platform::PortAccess access) {
  std::string details;
  Append(&details, port.description);
  Append(&details, platform::UsbIds(port));
  Append(&details, port.serial_number.empty() ? "" : "serial " + port.serial_number);
  Append(&details, port.driver);
  Append(&details, port.by_id);
  Append(&details, LatencyWarning(port));
  if (access == platform::PortAccess::kDenied) {
    Append(&details, NoAccessNote());
  }
  return details.empty() ? port.name : port.name + "\t" + details;
}

std::string PortJson(const platform::PortDetails& port, platform::PortAccess access) {
  JsonFields fields;
  fields.TextOrNull("by_id", port.by_id)
      .TextOrNull("driver", port.driver)
      .TextOrNull("description", port.description)
      .TextOrNull("manufacturer", port.manufacturer)
      .TextOrNull("serial_number", port.serial_number)
      .TextOrNull("vendor_id", platform::UsbId(port.vendor_id))
      .TextOrNull("product_id", platform::UsbId(port.product_id))
      .Raw("latency_timer_ms",
           port.latency_timer_ms < 0 ? "null" : std::to_string(port.latency_timer_ms))
      .TextOrNull("latency_warning", LatencyWarning(port))
      .Text("access", AccessName(access));
  return "{\"port\":" + JsonQuoted(port.name) + fields.Take() + "}";
}

int RunListPorts(bool json) {
  for (const platform::PortDetails& port : platform::ListPortDetails()) {
    const platform::PortAccess access = platform::CheckPortAccess(port.name);
    platform::WriteText(stdout, (json ? PortJson(port, access) : PortLine(port, access)) + "\n");
  }
  return kExitSuccess;
}

}  // namespace velmar::cli
