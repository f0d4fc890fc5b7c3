#include "app/window_command_line.h"

#include "platform/command_line_text.h"
#include "platform/option_scanner.h"

namespace velmar::app {

namespace {

enum OptionId { kHelpId = 'h', kVersionId = 256 };

}  // namespace

WindowCommandLine ReadWindowCommandLine(const std::vector<std::string>& arguments) {
  WindowCommandLine line;
  std::vector<std::string> files;
  platform::OptionScanner scan(arguments,
                               {{kHelpId, "help", 'h', false}, {kVersionId, "version", 0, false}});
  for (platform::OptionItem item; (item = scan.Next()) != platform::OptionItem::kEnd;) {
    switch (item) {
      case platform::OptionItem::kOperand:
        files.push_back(scan.Value());
        continue;
      case platform::OptionItem::kOption:
        line.command = scan.Id() == kHelpId ? WindowCommand::kHelp : WindowCommand::kVersion;
        return line;
      case platform::OptionItem::kUnexpectedValue:
        return {WindowCommand::kUsageError, {}, scan.Spelling() + " takes no value"};
      default:
        return {WindowCommand::kUsageError, {}, "unknown option: " + scan.Spelling()};
    }
  }
  if (files.size() > 1) {
    return {WindowCommand::kUsageError, {}, "give one file"};
  }
  line.file = files.empty() ? std::string() : files.front();
  return line;
}

const char* WindowUsageText() {
  return "usage: velmar [--] [FILE]\n"
         "       velmar --help | --version\n"
         "\n"
         "Opens the window that loads a controller program (*.bin) or a font (*.fnt) into a\n"
         "printer over a serial port; FILE, when given, is put in the window's file field.\n"
         "\n"
         "  -h, --help       this text\n"
         "      --version    the program's name and version\n"
         "  --               ends the options, for a FILE that starts with '-'\n"
         "\n"
         "Exit status: 0; 2 usage.\n";
}

std::string WindowUsageError(const std::string& error) {
  return platform::UsageErrorText("velmar", error);
}

}  // namespace velmar::app
