#include "settings/profile_store.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/config_folder.h"
#include "platform/utf8_path.h"

namespace velmar::settings {

namespace {

std::string Trim(const std::string& text) {
  const auto begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) {
    return {};
  }
  const auto end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

bool IsSection(const std::string& line, std::string* name) {
  const std::string trimmed = Trim(line);
  if (trimmed.size() < 2 || trimmed.front() != '[' || trimmed.back() != ']') {
    return false;
  }
  *name = Trim(trimmed.substr(1, trimmed.size() - 2));
  return true;
}

bool IsEntry(const std::string& line, std::string* key, std::string* value) {
  const auto equals = line.find('=');
  if (equals == std::string::npos) {
    return false;
  }
  *key = Trim(line.substr(0, equals));
  *value = Trim(line.substr(equals + 1));
  return true;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(platform::Utf8Path(path));
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

ProfileStore::ProfileStore() : m_path(platform::ConfigFolder() + "/settings.ini") {}

std::string ProfileStore::GetString(const std::string& section, const std::string& entry,
                                    const std::string& fallback) const {
  std::string current, key, value;
  for (const std::string& line : ReadLines(m_path)) {
    if (IsSection(line, &key)) {
      current = key;
    } else if (current == section && IsEntry(line, &key, &value) && key == entry) {
      return value;
    }
  }
  return fallback;
}

bool ProfileStore::SetString(const std::string& section, const std::string& entry,
                             const std::string& value) {
  std::vector<std::string> lines = ReadLines(m_path);
  std::string current, key, old_value;
  bool written = false;
  size_t section_end = lines.size();
  bool section_found = false;
  for (size_t i = 0; i < lines.size() && !written; ++i) {
    if (IsSection(lines[i], &key)) {
      if (section_found) {
        section_end = i;
        break;
      }
      current = key;
      section_found = current == section;
    } else if (current == section && IsEntry(lines[i], &key, &old_value) && key == entry) {
      lines[i] = entry + "=" + value;
      written = true;
    }
  }
  if (!written) {
    if (!section_found) {
      lines.push_back("[" + section + "]");
      section_end = lines.size();
    }
    lines.insert(lines.begin() + static_cast<ptrdiff_t>(section_end), entry + "=" + value);
  }
  std::error_code error;
  std::filesystem::create_directories(platform::Utf8Path(m_path).parent_path(), error);
  // Write a sibling and rename it over, so that a crash never leaves half a file.
  const std::filesystem::path temporary = platform::Utf8Path(m_path + ".new");
  {
    std::ofstream out(temporary, std::ios::trunc);
    for (const std::string& line : lines) {
      out << line << '\n';
    }
    if (!out.flush()) {
      return false;
    }
  }
  std::filesystem::rename(temporary, platform::Utf8Path(m_path), error);
  return !error;
}

}  // namespace velmar::settings
