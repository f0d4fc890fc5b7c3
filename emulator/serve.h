#pragma once
// One run of the emulated printer: the line, the boot loader and the pacing, in one poll loop.
//
// Serve makes the link, prints its path as the first line of `out`, then answers loads until
// --loads of them have ended and their replies have gone, SIGINT or SIGTERM arrives, or the
// hangup fault closes the line. Each load's report line goes to `out` as it ends; trouble with
// the line or the image goes to `err`. Returns the exit status: 0 when every load seen was well
// formed and complete, 1 otherwise or when the line could not be set up. With --tool-rate, what
// arrives while the tool's side of the pseudo-terminal is at another rate is dropped, each such
// rate told once on `err`, and the run counts as failed; with --marks, "block N of load L" goes
// to `out` as each block begins.

#include <cstdio>

#include "emulator/options.h"

namespace velmar::emulator {

int Serve(const Options& options, const std::string& link_path, std::FILE* out, std::FILE* err);
// The same on the inherited master --line-fd: the first line of `out` is its slave's name. The
// owner's copy keeps the line up after the run; replies still queued at a signal are dropped.
int ServeInherited(const Options& options, std::FILE* out, std::FILE* err);
// The same on a TCP port: the first line of `out` is the HOST:PORT listened on. Connections are
// served one at a time; one that closes ends the load in progress, and the next is awaited.
int ServeTcp(const Options& options, std::FILE* out, std::FILE* err);

}  // namespace velmar::emulator
