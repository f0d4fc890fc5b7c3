#include "platform/option_scanner.h"

#include <getopt.h>

#include <algorithm>

namespace velmar::platform {

namespace {

// "-": operands come back in place as 1, whatever POSIXLY_CORRECT says; ":": a missing value
// comes back as ':' rather than '?'.
constexpr char kInOrderSilent[] = "-:";
constexpr int kOperandResult = 1;
constexpr char kProgramName[] = "velmar";

std::string WithoutValue(const std::string& argument) {
  return argument.substr(0, argument.find('='));
}

}  // namespace

OptionScanner::OptionScanner(const std::vector<std::string>& arguments,
                             std::vector<OptionRule> rules)
    : m_rules(std::move(rules)), m_short(kInOrderSilent) {
  m_storage.reserve(arguments.size() + 1);
  m_storage.push_back(kProgramName);
  m_storage.insert(m_storage.end(), arguments.begin(), arguments.end());
  for (std::string& argument : m_storage) {
    m_argv.push_back(argument.data());
  }
  m_argv.push_back(nullptr);
  for (const OptionRule& rule : m_rules) {
    if (rule.short_name != 0) {
      m_short += rule.short_name;
      m_short += rule.has_value ? ":" : "";
    }
  }
  optind = 0;  // glibc and mingw-w64 both start afresh, forgetting a half-read "-abc"
  opterr = 0;
}

const OptionRule* OptionScanner::Find(int id) const {
  const auto found = std::find_if(m_rules.begin(), m_rules.end(),
                                  [id](const OptionRule& rule) { return rule.id == id; });
  return found == m_rules.end() ? nullptr : &*found;
}

const OptionRule* OptionScanner::FindLong(const std::string& spelling) const {
  const auto found = std::find_if(m_rules.begin(), m_rules.end(), [&](const OptionRule& rule) {
    return spelling == std::string("--") + rule.long_name;
  });
  return found == m_rules.end() ? nullptr : &*found;
}

OptionItem OptionScanner::Next() {
  const int argc = static_cast<int>(m_storage.size());
  if (m_next_operand > 0) {
    if (m_next_operand >= m_storage.size()) {
      return OptionItem::kEnd;
    }
    m_value = m_storage[m_next_operand++];
    return OptionItem::kOperand;
  }
  std::vector<option> longs;
  for (const OptionRule& rule : m_rules) {
    longs.push_back({rule.long_name,
                     rule.has_value        ? required_argument
                     : rule.optional_value ? optional_argument
                                           : no_argument,
                     nullptr, rule.id});
  }
  longs.push_back({nullptr, 0, nullptr, 0});
  // The item getopt is about to read; within "-abc" it stays on that argument to its end.
  const int index = std::max(optind, 1);
  const std::string current = index < argc ? m_storage[index] : std::string();
  const int result = getopt_long(argc, m_argv.data(), m_short.c_str(), longs.data(), nullptr);
  if (result == -1) {
    // "--" (or the end): the rest are operands even if they look like options.
    m_next_operand = static_cast<size_t>(std::max(optind, 1));
    return Next();
  }
  return Classify(result, current);
}

OptionItem OptionScanner::Classify(int result, const std::string& current) {
  const bool long_form = current.rfind("--", 0) == 0;
  m_spelling = long_form ? WithoutValue(current) : "-" + std::string(1, static_cast<char>(optopt));
  m_value = optarg != nullptr ? optarg : "";
  if (result == kOperandResult) {
    return OptionItem::kOperand;
  }
  if (result == ':' || result == '?') {
    // The runtimes differ here: glibc calls "--flag=VALUE" unknown, mingw-w64 a missing value.
    const OptionRule* named = long_form ? FindLong(m_spelling) : nullptr;
    if (long_form && named == nullptr) {
      return OptionItem::kUnknown;  // or an abbreviation
    }
    if (named != nullptr && !named->has_value) {
      return OptionItem::kUnexpectedValue;
    }
    m_id = named != nullptr ? named->id : optopt;
    return result == ':' ? OptionItem::kMissingValue : OptionItem::kUnknown;
  }
  m_id = result;
  const OptionRule* rule = Find(result);
  if (rule == nullptr) {
    return OptionItem::kUnknown;
  }
  if (!long_form) {
    m_spelling = "-" + std::string(1, rule->short_name);
  } else if (m_spelling != std::string("--") + rule->long_name) {
    return OptionItem::kUnknown;  // an abbreviation
  }
  return OptionItem::kOption;
}

}  // namespace velmar::platform
