#include "tests/integration/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmar::test {

namespace {
void CloseFd(int* fd) {
  if (*fd >= 0) {
    ::close(*fd);
    *fd = -1;
  }
}

// A pseudo-terminal as a pipe would be: out[0] the master to read, out[1] the slave to write.
bool OpenTerminal(int out[2]) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) {
    return false;
  }
  const char* slave_path = nullptr;
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
      (slave_path = ::ptsname(master)) == nullptr) {
    ::close(master);
    return false;
  }
  const int slave = ::open(slave_path, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    ::close(master);
    return false;
  }
  out[0] = master;
  out[1] = slave;
  return true;
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (m_pid > 0) {
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
  }
  CloseFd(&m_out_fd);
  CloseFd(&m_err_fd);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, Stdout stdout_to) {
  int out[2], err[2];
  const bool have_out =
      stdout_to == Stdout::kTerminal ? OpenTerminal(out) : ::pipe2(out, O_CLOEXEC) == 0;
  if (!have_out) {
    return false;
  }
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args;
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);
  m_started = std::chrono::steady_clock::now();
  const int result = ::posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  m_out_fd = out[0];
  m_err_fd = err[0];
  if (result != 0) {
    m_pid = -1;
    return false;
  }
  return true;
}

bool ChildProcess::Pump(std::chrono::milliseconds timeout) {
  pollfd fds[2] = {{m_out_fd, POLLIN, 0}, {m_err_fd, POLLIN, 0}};
  if (m_out_fd < 0 && m_err_fd < 0) {
    return false;
  }
  if (::poll(fds, 2, static_cast<int>(timeout.count())) <= 0) {
    return true;
  }
  int* fd_of[2] = {&m_out_fd, &m_err_fd};
  std::string* text_of[2] = {&m_out, &m_err};
  for (int i = 0; i < 2; ++i) {
    if (fds[i].revents == 0 || *fd_of[i] < 0) {
      continue;
    }
    char buffer[4096];
    const ssize_t got = ::read(*fd_of[i], buffer, sizeof buffer);
    if (got > 0) {
      text_of[i]->append(buffer, static_cast<size_t>(got));
    } else {
      CloseFd(fd_of[i]);
    }
  }
  return m_out_fd >= 0 || m_err_fd >= 0;
}

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds deadline,
                                 bool from_stderr) {
  const std::string& stream = from_stderr ? m_err : m_out;
  return WaitUntil([&] { return stream.find(text) != std::string::npos; }, deadline);
}

bool ChildProcess::WaitUntil(const std::function<bool()>& done,
                             std::chrono::milliseconds deadline) {
  const auto until = std::chrono::steady_clock::now() + deadline;
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !Pump(left)) {
      return done();
    }
  }
  return true;
}

bool ChildProcess::Wait(std::chrono::milliseconds deadline) {
  const auto until = std::chrono::steady_clock::now() + deadline;
  bool in_time = true;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      in_time = false;
      ::kill(m_pid, SIGKILL);
      break;
    }
    if (!Pump(left)) {
      break;
    }
  }
  int status = 0;
  rusage usage{};
  ::wait4(m_pid, &status, 0, &usage);
  m_elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
  m_pid = -1;
  m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  m_cpu_seconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                  usage.ru_stime.tv_usec / 1e6;
  m_peak_kb = usage.ru_maxrss;
  return in_time;
}

void ChildProcess::Signal(int signal_number) {
  if (m_pid > 0) {
    ::kill(m_pid, signal_number);
  }
}

}  // namespace velmar::test
