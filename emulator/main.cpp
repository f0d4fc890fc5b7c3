// velmar-printer: a printer controller's boot loader on a pseudo-terminal or a TCP port.

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "emulator/options.h"
#include "emulator/serve.h"
#include "platform/command_line_text.h"
#include "platform/config_folder.h"

namespace {

constexpr int kUsageStatus = 2;
constexpr int kFailureStatus = 1;

}  // namespace

int main(int argc, char** argv) {
  using namespace velmar::emulator;
  const std::vector<std::string> args(argv + 1, argv + argc);
  Options options;
  std::string error;
  switch (ParseOptions(args, &options, &error)) {
    case ParseResult::kHelp:
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    case ParseResult::kVersion:
      std::fputs(velmar::platform::VersionText("velmar-printer").c_str(), stdout);
      return 0;
    case ParseResult::kUsageError:
      std::fputs(velmar::platform::UsageErrorText("velmar-printer", error).c_str(), stderr);
      return kUsageStatus;
    case ParseResult::kOk:
      break;
  }
  // A reader of our report that goes away must not kill a load in progress.
  std::signal(SIGPIPE, SIG_IGN);

  if (options.tcp) {
    return ServeTcp(options, stdout, stderr);
  }
  if (options.line_fd >= 0) {
    return ServeInherited(options, stdout, stderr);
  }
  std::string link = options.link;
  if (link.empty()) {
    const std::filesystem::path ports =
        std::filesystem::path(velmar::platform::ConfigFolder()) / "ports";
    std::error_code failure;
    std::filesystem::create_directories(ports, failure);
    if (failure) {
      std::fprintf(stderr, "velmar-printer: %s: %s\n", ports.c_str(), failure.message().c_str());
      return kFailureStatus;
    }
    link = (ports / options.com_port).string();
  }
  return Serve(options, link, stdout, stderr);
}
