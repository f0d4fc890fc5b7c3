#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/console_output.h"

namespace velmar::platform {

// A terminal takes UTF-8 and the control sequences as they are; nothing to change or restore.
struct ConsoleOutput::Saved {};

ConsoleOutput::ConsoleOutput() : m_can_redraw(::isatty(STDOUT_FILENO) == 1) {}

ConsoleOutput::~ConsoleOutput() = default;

void WriteText(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

int ConsoleColumns() {
  winsize size{};
  return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

int ConsoleRows() {
  winsize size{};
  return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_row : 0;
}

bool IsConsole(std::FILE* stream) {
  return ::isatty(::fileno(stream)) == 1;
}

bool AttachParentConsole() {
  return true;
}

}  // namespace velmar::platform
