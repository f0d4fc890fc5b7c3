#pragma once
// The console a command-line program writes to.
//
// Principles of operation: the program's texts are UTF-8. WriteText puts one on standard output
// or standard error so that it shows as such: on a Windows console as wide characters, which
// every console shows whatever its code page (its own C runtime would pass the bytes through
// the code page); anywhere else, a terminal, a file or a pipe, as the bytes themselves. A
// ConsoleOutput, made at the start of main and kept to its end, tells whether standard output
// is a console on which a progress bar can be redrawn in place with "\r" and the erase-line
// sequence "\033[K" (on Windows it asks the console to take such sequences, and puts the
// console's mode back when it goes). Output to a file or a pipe is never a console.
//   CanRedrawLine  true only for a console that takes those sequences.
//   WriteText      `stream` is stdout or stderr, or any other stream (a file: its bytes as
//                  they are); what the stream holds is written first.
//   ConsoleColumns the width of standard output's console in columns; 0 when it is no console.
//   ConsoleRows    its height in lines, the same way.
//   IsConsole      whether `stream` (stdout or stderr) is a terminal or console; a file the
//                  caller opened never is.
//   AttachParentConsole  for a GUI program (Windows' GUI subsystem, which starts without a
//                  console): makes standard output and error reach the console of the program
//                  that started it where they do not already go to a file or a pipe; false
//                  when either still goes nowhere. Elsewhere the streams are always there.

#include <cstdio>
#include <memory>
#include <string_view>

namespace velmar::platform {

class ConsoleOutput {
 public:
  ConsoleOutput();
  ~ConsoleOutput();
  ConsoleOutput(const ConsoleOutput&) = delete;
  ConsoleOutput& operator=(const ConsoleOutput&) = delete;

  bool CanRedrawLine() const { return m_can_redraw; }

 private:
  struct Saved;
  std::unique_ptr<Saved> m_saved;
  bool m_can_redraw = false;
};

void WriteText(std::FILE* stream, std::string_view text);
int ConsoleColumns();
int ConsoleRows();
bool IsConsole(std::FILE* stream);
bool AttachParentConsole();

}  // namespace velmar::platform
