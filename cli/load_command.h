#pragma once
// The loader's three jobs, each returning the process's exit status. RunLoad draws its progress
// bar only when `console` is true: standard output is a console that can redraw a line.

#include "cli/options.h"

namespace velmar::cli {

int RunLoad(const Options& options, bool console);
// Runs until a signal: loads every printer connected to the station's ports (see station.h).
int RunStation(const Options& options, bool console);
int RunInfo(const Options& options);
int RunListPorts(bool json);

}  // namespace velmar::cli
