#pragma once
// A file opened for reading only when its path names a regular file.
//
// Principles of operation: the path is looked at before it is opened, so a directory, FIFO,
// socket or device is refused without being opened at all (opening a device can act on it, and
// opening a FIFO that has no writer would wait for one). A path that passes is opened without
// blocking and looked at again through the open descriptor, so a path swapped for something
// else in between is refused the same way. Errors are values; nothing here throws.
//   Open   kRegularFile: open, Size() is its size then; kNotAFile: it exists but is not a
//          regular file; kCannotOpen: missing, no permission, or any other failure. Opening
//          again first closes the file held.
//   Read   up to `count` bytes from the current position: the count read, 0 at the end of the
//          file, -1 on an error or when nothing is open. An interrupted read is retried.
//   Fault, Error  why the last Open or Read failed, for telling the user: the kind, and the
//          system's error number (errno, GetLastError; 0 when the system reported none, as for
//          a FIFO or a device refused by a look at the path). kNone after a success.
// The file may grow or shrink after Open; a reader that must bound what it takes counts the
// bytes it reads rather than trusting Size().

#include <cstdint>
#include <string>

namespace velmar::platform {

enum class ProbeResult { kRegularFile, kNotAFile, kCannotOpen };

enum class ProbeFault {
  kNone,
  kMissing,       // nothing by that name
  kAccessDenied,  // the user may not read it
  kFolder,        // a directory
  kNotAFile,      // a FIFO, socket or device
  kOther,         // any other failure, read errors included
};

class ProbedFile {
 public:
  ProbedFile() = default;
  ~ProbedFile();
  ProbedFile(const ProbedFile&) = delete;
  ProbedFile& operator=(const ProbedFile&) = delete;

  ProbeResult Open(const std::string& path);
  int64_t Size() const { return m_size; }
  int64_t Read(uint8_t* buffer, int64_t count);
  void Close();
  ProbeFault Fault() const { return m_fault; }
  int Error() const { return m_error; }

 private:
  // Records why and returns `result`, for the failure paths of Open.
  ProbeResult Fail(ProbeResult result, ProbeFault fault, int error);

  int m_fd = -1;
  int64_t m_size = 0;
  ProbeFault m_fault = ProbeFault::kNone;
  int m_error = 0;
};

}  // namespace velmar::platform
