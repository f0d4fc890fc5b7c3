#pragma once
// The loader's three jobs, each returning the process's exit status.

#include "cli/options.h"

namespace velmar::cli {

int RunLoad(const Options& options);
int RunInfo(const Options& options);
int RunListPorts();

}  // namespace velmar::cli
