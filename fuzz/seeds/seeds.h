#pragma once
// The seed corpora of the fuzz targets, made from the test suite's cases: the data files of the
// reader's tests, the conversations of the protocol and emulator tests (the well-behaved printer
// and tool, whole, a byte at a time, and with each reply or command spoilt in turn), and the
// command lines of the option tests.
//
// Principles of operation: each Add function writes its target's seeds into `dir`/<target>/,
// named for the case, in the input format its target reads (fuzz_input.h and the target's
// opening comment). Returns false when a file cannot be written.

#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"

namespace velmar::fuzz::seeds {

class SeedWriter {
 public:
  SeedWriter(const std::string& dir, const std::string& target);
  void Add(const std::string& name, const Bytes& input);
  bool Ok() const { return m_ok; }
  int Count() const { return m_count; }

 private:
  std::string m_dir;
  bool m_ok = true;
  int m_count = 0;
};

bool AddDataFileSeeds(const std::string& dir);
bool AddProcessReplySeeds(const std::string& dir);
bool AddBootLoaderSeeds(const std::string& dir);
bool AddOptionsSeeds(const std::string& dir);

}  // namespace velmar::fuzz::seeds
