// The window's command line, read before any toolkit starts.

#include "app/window_command_line.h"

#include <gtest/gtest.h>

namespace velmar::app {
namespace {

TEST(WindowCommandLineTest, OpensAFileOrAnswersAtOnce) {
  const struct {
    std::vector<std::string> arguments;
    WindowCommand command;
    std::string file_or_error;
  } cases[] = {
      {{}, WindowCommand::kOpen, ""},
      {{"font.fnt"}, WindowCommand::kOpen, "font.fnt"},
      {{"--", "-odd.bin"}, WindowCommand::kOpen, "-odd.bin"},
      {{"f.bin", "--version"}, WindowCommand::kVersion, ""},
      {{"--verbose"}, WindowCommand::kUsageError, "unknown option: --verbose"},
      {{"a.bin", "b.bin"}, WindowCommand::kUsageError, "give one file"},
  };
  for (const auto& c : cases) {
    const WindowCommandLine line = ReadWindowCommandLine(c.arguments);
    EXPECT_EQ(line.command, c.command) << testing::PrintToString(c.arguments);
    EXPECT_EQ(c.command == WindowCommand::kUsageError ? line.error : line.file, c.file_or_error);
  }
  EXPECT_EQ(WindowUsageError("give one file"), "velmar: give one file\nTry 'velmar --help'.\n");
}

}  // namespace
}  // namespace velmar::app
