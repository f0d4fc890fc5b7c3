#pragma once
// A file that lines are only ever added to, each on disk before the caller goes on: for a
// record that a power cut or a killed process must never leave with a lost or half line.
//
// Principles of operation: the file is opened for appending (O_APPEND; FILE_APPEND_DATA on
// Windows), so that each write lands at the end as one piece even when several processes on
// the machine append to the same file. Append writes the whole line in one call and then
// waits for the data to reach the disk (fdatasync; FlushFileBuffers). A line that could not be
// written whole is reported, never retried: a retry could leave a part twice.
//   HostName   this machine's name, for the record; empty when the system has none.

#include <memory>
#include <string>

namespace velmar::platform {

class AppendFile {
 public:
  AppendFile();
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Creates the file when it does not exist; false with the system's words in *why otherwise.
  bool Open(const std::string& path, std::string* why);
  // `line` (its line break included) written and on disk; false with the system's words.
  bool Append(const std::string& line, std::string* why);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

std::string HostName();

}  // namespace velmar::platform
