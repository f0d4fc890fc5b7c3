#pragma once
// A pseudo-terminal pair for tests: the code under test opens SlavePath() as its serial port,
// the test plays the device through the master.
//
// The master is raw in both directions and non-blocking. Its termios is the slave's: settings
// asked for through MasterFd() are those the code under test left on its port. Bytes the slave
// writes wait in the master until read; closing the master hangs the slave up, and the slave
// path disappears with it. A slave closed by everyone can be opened again while the master is
// open.
//
// Not thread-safe: one test thread plays the device.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmar::test {

class PtyPair {
 public:
  static constexpr std::chrono::milliseconds kWriteTimeout{10000};

  // Opens the master; IsOpen() is false when the system has no pseudo-terminals.
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool IsOpen() const { return m_master >= 0; }
  const std::string& SlavePath() const { return m_slave_path; }
  // -1 once closed.
  int MasterFd() const { return m_master; }

  // Sends every byte to the slave, waiting at most kWriteTimeout for room; false otherwise.
  bool WriteAll(const uint8_t* data, size_t length);
  bool WriteAll(const std::vector<uint8_t>& bytes);
  // Collects bytes the slave wrote until there are `count` or `deadline` has passed, and
  // returns what it got. Stops early when no slave is open and nothing is left to read.
  std::vector<uint8_t> ReadExactly(size_t count, std::chrono::milliseconds deadline);
  // Bytes the slave wrote that are waiting in the master.
  size_t QueuedAtMaster() const;

  // Hangs the slave up. Idempotent; the destructor does it.
  void CloseMaster();

 private:
  int m_master = -1;
  std::string m_slave_path;
};

}  // namespace velmar::test
