#include <cstdio>
#include <string>

#include "cli/load_command.h"
#include "cli/options.h"
#include "platform/console_output.h"
#include "platform/serial_line.h"
#include "texts/string_table.h"

namespace velmar::cli {

namespace {

// The mark after a port the user may not open: the port stays the line's first field (before a
// tab), so that scripts that take the names keep working.
std::string NoAccessMark() {
  std::string mark("\t(");
  mark.append(texts::LoadText(texts::IDS_PORT_NO_ACCESS)).append(".");
  const std::string group = platform::PortAccessGroup();
  if (!group.empty()) {
    mark.append(" ").append(texts::FormatText(texts::IDS_PORT_ACCESS_GROUP, group));
  }
  return mark.append(")");
}

}  // namespace

int RunListPorts() {
  for (const std::string& port : platform::ListPorts()) {
    const bool denied = platform::CheckPortAccess(port) == platform::PortAccess::kDenied;
    platform::WriteText(stdout, port + (denied ? NoAccessMark() : "") + "\n");
  }
  return kExitSuccess;
}

}  // namespace velmar::cli
