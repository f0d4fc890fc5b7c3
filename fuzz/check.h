#pragma once
// What a fuzz target does when the code under test breaks a promise that no sanitizer sees: it
// says which, and aborts, so that libFuzzer keeps the input as a finding.

#include <cstdio>
#include <cstdlib>

namespace velmar::fuzz {

inline void Check(bool holds, const char* promise) {
  if (!holds) {
    std::fprintf(stderr, "broken promise: %s\n", promise);
    std::abort();
  }
}

}  // namespace velmar::fuzz
