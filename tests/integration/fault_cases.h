#pragma once
// The printer's faults as the emulator makes them, with the exit status and text the loader
// must end with, whichever line carries the load.

#include <ostream>
#include <string>
#include <vector>

namespace velmar::test {

inline constexpr const char* kTimeoutText = "Истекло время ожидания ответа от принтера.";
inline constexpr const char* kPortLostText = "Связь с принтером потеряна";

struct FaultCase {
  const char* name;
  std::vector<std::string> printer_options;
  int exit_status;
  const char* text;
};

// Failures name the case instead of dumping its bytes.
inline void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << c.name;
}

std::vector<FaultCase> PrinterFaults();

// One kind of fault as the emulator takes it (its --fault name), every reply it can go in (the
// --fault-reply names, the one it goes in by default first), and how the loader must end the
// load it spoils.
struct FaultKindCase {
  const char* kind;
  std::vector<std::string> replies;
  int exit_status;
  const char* text;
};

std::vector<FaultKindCase> FaultKinds();

}  // namespace velmar::test
