#pragma once
// What the emulated controller saw of one load, and the one report line made of it.
//
// A load runs from the wake-up to the final "w" (complete), to the first thing the tool did
// wrong (not well formed), or to whatever else ended it: a fault this emulator committed, a new
// wake-up, the end of the run. `reason` says which, empty for a complete load.

#include <chrono>
#include <cstdint>
#include <string>

namespace velmar::emulator {

enum class LoadKind { kUnknown, kProgram, kFont };  // unknown until the first "r"

struct LoadSummary {
  int32_t number = 0;  // 1 for the run's first load
  std::string model;
  LoadKind kind = LoadKind::kUnknown;
  int32_t blocks = 0;   // blocks whose data was accepted
  int64_t bytes = 0;    // data bytes in them
  uint32_t lowest = 0;  // address range of those bytes; meaningless without bytes
  uint32_t highest = 0;
  std::chrono::steady_clock::duration elapsed{};  // wake-up to the load's last byte
  int64_t line_bytes = 0;                         // every byte both ways
  bool well_formed = true;
  bool complete = false;
  std::string reason;

  bool Succeeded() const { return well_formed && complete; }
};

// How long a real line at `baud` takes for `bytes`, at 10 bits a byte.
std::chrono::duration<double> LineTime(int64_t bytes, int32_t baud);

// One line, without its newline. `baud` 0 means an unpaced run: no line time or ratio then.
std::string FormatSummary(const LoadSummary& summary, int32_t baud);

}  // namespace velmar::emulator
