#include <cerrno>
#include <string>

#include "platform/message_box.h"

namespace velmar::platform {

std::string ApplicationName() {
  return program_invocation_short_name;
}

}  // namespace velmar::platform
