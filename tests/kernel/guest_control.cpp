#include "tests/kernel/guest_control.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace velmar::test {

namespace {

using Clock = std::chrono::steady_clock;

// "ok 5" gives "5"; a bare "ok" gives "".
std::string After(const std::string& line, const std::string& word) {
  return line.size() > word.size() ? line.substr(word.size() + 1) : std::string();
}

bool Is(const std::string& line, const std::string& word) {
  return line == word || line.starts_with(word + " ");
}

}  // namespace

bool GuestControl::ReadLine(std::string* line, Clock::time_point until) {
  for (;;) {
    const size_t end = m_pending.find('\n');
    if (end != std::string::npos) {
      *line = m_pending.substr(0, end);
      m_pending.erase(0, end + 1);
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    pollfd ready{m_line.MasterFd(), POLLIN, 0};
    if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
      return false;
    }
    char buffer[4096];
    const ssize_t got = ::read(m_line.MasterFd(), buffer, sizeof buffer);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
      continue;
    }
    if (got <= 0) {
      return false;  // QEMU is gone
    }
    m_pending.append(buffer, static_cast<size_t>(got));
  }
}

bool GuestControl::AwaitReady(std::chrono::milliseconds deadline, std::string* why) {
  const auto until = Clock::now() + deadline;
  for (std::string line; ReadLine(&line, until);) {
    if (line == "ready") {
      return true;
    }
    if (Is(line, "fail")) {
      *why = After(line, "fail");
      m_stuck = true;
      return false;
    }
  }
  *why = "no word from the guest's runner";
  m_stuck = true;
  return false;
}

GuestReply GuestControl::Ask(const std::string& command, std::chrono::milliseconds deadline) {
  GuestReply reply;
  const std::string line = command + "\n";
  if (m_stuck || !m_line.WriteAll(reinterpret_cast<const uint8_t*>(line.data()), line.size())) {
    m_stuck = true;
    return reply;
  }
  const auto until = Clock::now() + deadline;
  for (std::string got; ReadLine(&got, until);) {
    if (Is(got, "out") || Is(got, "err")) {
      const bool out = Is(got, "out");
      (out ? reply.out : reply.err).push_back(After(got, out ? "out" : "err"));
    } else if (Is(got, "ok") || Is(got, "fail")) {
      reply.answered = true;
      reply.ok = Is(got, "ok");
      reply.value = After(got, reply.ok ? "ok" : "fail");
      reply.at = Clock::now();
      return reply;
    }
  }
  m_stuck = true;
  return reply;
}

}  // namespace velmar::test
