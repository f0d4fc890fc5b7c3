#pragma once
// One run of the emulated printer: the line, the boot loader and the pacing, in one poll loop.
//
// Serve makes the link, prints its path as the first line of `out`, then answers loads until
// --loads of them have ended and their replies have gone, SIGINT or SIGTERM arrives, or the
// hangup fault closes the line. Each load's report line goes to `out` as it ends; trouble with
// the line or the image goes to `err`. Returns the exit status: 0 when every load seen was well
// formed and complete, 1 otherwise or when the line could not be set up.

#include <cstdio>

#include "emulator/options.h"

namespace velmar::emulator {

int Serve(const Options& options, const std::string& link_path, std::FILE* out, std::FILE* err);
// The same on a TCP port: the first line of `out` is the HOST:PORT listened on. Connections are
// served one at a time; one that closes ends the load in progress, and the next is awaited.
int ServeTcp(const Options& options, std::FILE* out, std::FILE* err);

}  // namespace velmar::emulator
