#pragma once
// Interim: plain lines until the real outputs land.
#include <cstdio>
#include <memory>

#include "cli/load_event.h"

namespace velmar::cli {
struct OutputChoice {
  bool json = false;
  bool several = false;
  bool terminal = false;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
};
std::unique_ptr<EventSink> MakeOutput(const OutputChoice& choice);
}  // namespace velmar::cli
