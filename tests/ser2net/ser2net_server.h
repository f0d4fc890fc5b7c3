#pragma once
// Debian's ser2net, run by a test or the bench: a small table of connections, each an accepter
// on a free port of the loopback with a serial device behind it.
//
// Principles of operation: Start reserves a free port for each connection (bound with
// SO_REUSEADDR and never listened on: ser2net, which binds reusing too, may take it, no other
// program can), writes the YAML configuration into the caller's folder, starts
// `ser2net -n -d -c FILE -P PIDFILE` with its log in a file there, and polls /proc/net/tcp
// until every port listens. It never connects to find out: a connection would open the device,
// and the printer behind it would see a tool come and go. The reservations go once ser2net
// listens, or when it did not in time (its log then says why, in Error()). UUCP locks stay off
// (serialdev's nouucplock), so nothing is written outside the folder.
// A device given a rate_before is set to it first. ser2net puts a device's old settings back as
// a connection closes, maybe before the printer has read the last frame off its pseudo-terminal,
// and the emulator checks the rate as it reads, where a real line had carried the bytes already;
// a device that was at the printer's own rate keeps that harmless.
// Kill is a device server that dies (SIGKILL); the destructor kills and reaps what still runs
// and removes the files it wrote.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velmar::test {

enum class Accepter {
  kRaw,      // tcp: the bytes as they are
  kRfc2217,  // telnet(rfc2217),tcp: telnet with the serial port's control
  kTelnet,   // telnet,tcp: telnet that refuses the serial port's control
};

struct Ser2netConnection {
  Accepter accepter = Accepter::kRaw;
  std::string device;                // the serial device, such as the emulator's link
  int32_t rate = 9600;               // set on the device when ser2net opens it, 8N1
  std::vector<std::string> options;  // the connection's options, such as "chardelay: false"
  bool nodelay = false;              // TCP_NODELAY on ser2net's side (off by default there)
  // The device's rate before ser2net opens it, which ser2net puts back as the connection
  // closes; 0 leaves the device as it is.
  int32_t rate_before = 0;
};

class Ser2netServer {
 public:
  // ser2net's path, found on PATH or in /usr/sbin; empty when it is not installed.
  static std::string Program();

  Ser2netServer() = default;
  ~Ser2netServer();
  Ser2netServer(const Ser2netServer&) = delete;
  Ser2netServer& operator=(const Ser2netServer&) = delete;

  // False when ser2net could not be started or did not listen on every port by the deadline.
  bool Start(const std::filesystem::path& dir, const std::vector<Ser2netConnection>& connections,
             std::chrono::milliseconds deadline);
  uint16_t Port(size_t connection) const { return m_ports.at(connection); }
  const std::string& Error() const { return m_error; }
  std::string Log() const;
  void Kill();

 private:
  bool Running();
  void Cleanup();

  pid_t m_pid = -1;
  std::vector<uint16_t> m_ports;
  std::vector<std::filesystem::path> m_files;  // the configuration, the pid file, the log
  std::string m_error;
};

}  // namespace velmar::test
