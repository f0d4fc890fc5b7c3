#pragma once
// Command-line options read with the C runtime's getopt_long (glibc on Linux, the mingw-w64
// runtime on Windows), for parsers that must neither print nor exit and may run many times.
//
// Principles of operation: each scanner resets getopt (optind = 0 starts both runtimes afresh)
// and silences it (opterr = 0), then walks the arguments in the order given: options, their
// values (`--name VALUE`, `--name=VALUE`, `-xVALUE`, `-x VALUE`) and operands come back one at
// a time, and everything after "--" is an operand. A long option must be written out in full:
// an abbreviation that getopt would take is reported as unknown, so that a new option never
// changes what an old script meant. getopt keeps its state in globals: one scanner at a time.
//   Next  the next item's kind; Id() names the option (its OptionRule::id), Value() holds the
//         option's value or the operand, Spelling() the option as written ("-p", "--port").

#include <string>
#include <vector>

namespace velmar::platform {

struct OptionRule {
  int id;                 // returned by Id(); unique, positive
  const char* long_name;  // without "--"
  char short_name;        // 0: none
  bool has_value;
  bool optional_value = false;  // with has_value false: --name=VALUE only, bare --name leaves
                                // Value() empty (a following argument is an operand)
};

enum class OptionItem { kOption, kOperand, kMissingValue, kUnexpectedValue, kUnknown, kEnd };

class OptionScanner {
 public:
  OptionScanner(const std::vector<std::string>& arguments, std::vector<OptionRule> rules);

  OptionItem Next();
  int Id() const { return m_id; }
  const std::string& Value() const { return m_value; }
  const std::string& Spelling() const { return m_spelling; }

 private:
  const OptionRule* Find(int id) const;
  const OptionRule* FindLong(const std::string& spelling) const;  // "--name" written in full
  OptionItem Classify(int result, const std::string& current);

  std::vector<std::string> m_storage;  // getopt may reorder, so it gets copies
  std::vector<char*> m_argv;
  std::vector<OptionRule> m_rules;
  std::string m_short;
  size_t m_next_operand = 0;  // after "--": the next operand's index in m_argv
  int m_id = 0;
  std::string m_value;
  std::string m_spelling;
};

}  // namespace velmar::platform
