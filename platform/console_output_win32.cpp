#include <windows.h>

#include <string>

#include "platform/console_output.h"
#include "platform/wide_text_win32.h"

namespace velmar::platform {

namespace {

// The console behind a standard stream, or null when the stream goes to a file or a pipe, or
// is no standard stream at all (a file the caller opened).
HANDLE ConsoleOf(std::FILE* stream) {
  if (stream != stdout && stream != stderr) {
    return nullptr;
  }
  const HANDLE handle = ::GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && ::GetConsoleMode(handle, &mode) != 0
             ? handle
             : nullptr;
}

}  // namespace

// The console's output mode before, put back when the program ends: the console outlives it.
struct ConsoleOutput::Saved {
  HANDLE output = nullptr;
  DWORD mode = 0;
  bool changed = false;
};

ConsoleOutput::ConsoleOutput() : m_saved(std::make_unique<Saved>()) {
  m_saved->output = ConsoleOf(stdout);
  if (m_saved->output == nullptr || ::GetConsoleMode(m_saved->output, &m_saved->mode) == 0) {
    return;  // a file or a pipe
  }
  // Consoles before Windows 10 do not know the sequences: no bar there rather than garbage.
  if ((m_saved->mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) {
    m_can_redraw = true;
  } else if (::SetConsoleMode(m_saved->output,
                              m_saved->mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) {
    m_saved->changed = true;
    m_can_redraw = true;
  }
}

ConsoleOutput::~ConsoleOutput() {
  if (m_saved->changed) {
    std::fflush(stdout);
    ::SetConsoleMode(m_saved->output, m_saved->mode);
  }
}

void WriteText(std::FILE* stream, std::string_view text) {
  const HANDLE console = ConsoleOf(stream);
  if (console == nullptr) {
    std::fwrite(text.data(), 1, text.size(), stream);
    return;
  }
  std::fflush(stream);  // what went before through the C runtime shows before this
  const std::wstring wide = Widen(text);
  DWORD written = 0;
  ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

int ConsoleColumns() {
  const HANDLE console = ConsoleOf(stdout);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  return console != nullptr && ::GetConsoleScreenBufferInfo(console, &info) != 0
             ? info.srWindow.Right - info.srWindow.Left + 1
             : 0;
}

int ConsoleRows() {
  const HANDLE console = ConsoleOf(stdout);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  return console != nullptr && ::GetConsoleScreenBufferInfo(console, &info) != 0
             ? info.srWindow.Bottom - info.srWindow.Top + 1
             : 0;
}

bool IsConsole(std::FILE* stream) {
  return ConsoleOf(stream) != nullptr;
}

bool AttachParentConsole() {
  const auto usable = [](DWORD which) {
    const HANDLE handle = ::GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  };
  if (usable(STD_OUTPUT_HANDLE) && usable(STD_ERROR_HANDLE)) {
    return true;  // redirected by whoever started the program
  }
  // Fails when there is no console to attach to: the handles below then stay empty. Attaching
  // leaves a GUI program's standard handles empty, and WriteText finds the console through them.
  ::AttachConsole(ATTACH_PARENT_PROCESS);
  for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    if (!usable(which)) {
      const HANDLE console =
          ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
      if (console != INVALID_HANDLE_VALUE) {
        ::SetStdHandle(which, console);
      }
    }
  }
  return usable(STD_OUTPUT_HANDLE) && usable(STD_ERROR_HANDLE);
}

}  // namespace velmar::platform
