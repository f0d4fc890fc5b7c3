#pragma once
// What the emulator's line for a load says about its timing. The emulator counts every byte
// that crossed the line, both ways, and reports the time the line itself needed for them
// ("line 12.345 s at 115200 baud") and its own time of the load, from the wake-up to the last
// frame ("elapsed 2.345 s").

#include <cstdlib>
#include <string>

namespace velmar::bench {

inline double ReportedSeconds(const std::string& emulator_out, const std::string& mark) {
  const size_t at = emulator_out.find(mark);
  return at == std::string::npos ? 0.0 : std::atof(emulator_out.c_str() + at + mark.size());
}

inline double LineSeconds(const std::string& emulator_out) {
  return ReportedSeconds(emulator_out, ", line ");
}

inline double PrinterSeconds(const std::string& emulator_out) {
  return ReportedSeconds(emulator_out, ", elapsed ");
}

}  // namespace velmar::bench
