#include "tests/ser2net/ser2net_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

extern char** environ;

namespace velmar::test {

namespace {

using namespace std::chrono_literals;
constexpr auto kPollEvery = 10ms;
constexpr const char* kListenState = "0A";  // TCP_LISTEN in /proc/net/tcp

// A port of the loopback held, without listening, until ser2net listens on it.
class Reservation {
 public:
  Reservation() {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_fd < 0 || ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    m_port = ntohs(address.sin_port);
  }
  ~Reservation() {
    if (m_fd >= 0) {
      ::close(m_fd);
    }
  }
  Reservation(const Reservation&) = delete;
  Reservation& operator=(const Reservation&) = delete;
  uint16_t Port() const { return m_port; }

 private:
  int m_fd = -1;
  uint16_t m_port = 0;
};

std::string AccepterSpec(const Ser2netConnection& c, uint16_t port) {
  const std::string tcp =
      std::string(c.nodelay ? "tcp(nodelay)" : "tcp") + ",127.0.0.1," + std::to_string(port);
  switch (c.accepter) {
    case Accepter::kRfc2217:
      return "telnet(rfc2217)," + tcp;
    case Accepter::kTelnet:
      return "telnet," + tcp;
    case Accepter::kRaw:
      break;
  }
  return tcp;
}

std::string Configuration(const std::vector<Ser2netConnection>& connections,
                          const std::vector<uint16_t>& ports) {
  std::ostringstream yaml;
  yaml << "%YAML 1.1\n---\n";
  for (size_t i = 0; i < connections.size(); ++i) {
    const Ser2netConnection& c = connections[i];
    yaml << "connection: &line" << i << "\n"
         << "  accepter: " << AccepterSpec(c, ports[i]) << "\n"
         << "  connector: serialdev(nouucplock)," << c.device << "," << c.rate << "n81,local\n";
    if (!c.options.empty()) {
      yaml << "  options:\n";
      for (const std::string& option : c.options) {
        yaml << "    " << option << "\n";
      }
    }
  }
  return yaml.str();
}

bool SetDeviceRate(const std::string& device, int32_t rate) {
  const std::pair<int32_t, speed_t> speeds[] = {
      {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
  speed_t speed = B0;
  for (const auto& [baud, constant] : speeds) {
    speed = baud == rate ? constant : speed;
  }
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios settings{};
  const bool set = fd >= 0 && speed != B0 && ::tcgetattr(fd, &settings) == 0 &&
                   ::cfsetspeed(&settings, speed) == 0 && ::tcsetattr(fd, TCSANOW, &settings) == 0;
  if (fd >= 0) {
    ::close(fd);
  }
  return set;
}

// The loopback ports in the listening state.
std::set<uint16_t> ListeningPorts() {
  std::set<uint16_t> ports;
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the heading
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    const size_t colon = local.find(':');
    if (state == kListenState && colon != std::string::npos) {
      ports.insert(static_cast<uint16_t>(std::strtoul(local.c_str() + colon + 1, nullptr, 16)));
    }
  }
  return ports;
}

}  // namespace

std::string Ser2netServer::Program() {
  std::string path = "/usr/sbin";
  if (const char* env = std::getenv("PATH")) {
    path = std::string(env) + ":" + path;
  }
  std::istringstream dirs(path);
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = dir + "/ser2net";
    if (!dir.empty() && ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return "";
}

Ser2netServer::~Ser2netServer() {
  Kill();
  Cleanup();
}

bool Ser2netServer::Start(const std::filesystem::path& dir,
                          const std::vector<Ser2netConnection>& connections,
                          std::chrono::milliseconds deadline) {
  const std::string program = Program();
  if (program.empty()) {
    m_error = "ser2net is not installed";
    return false;
  }
  std::vector<Reservation> reserved(connections.size());
  m_ports.clear();
  for (const Reservation& r : reserved) {
    if (r.Port() == 0) {
      m_error = "no free port on the loopback";
      return false;
    }
    m_ports.push_back(r.Port());
  }
  for (const Ser2netConnection& c : connections) {
    if (c.rate_before > 0 && !SetDeviceRate(c.device, c.rate_before)) {
      m_error = "cannot set " + c.device + " to " + std::to_string(c.rate_before) + " baud";
      return false;
    }
  }
  const std::string config = (dir / "ser2net.yaml").string();
  const std::string pid_file = (dir / "ser2net.pid").string();
  const std::string log = (dir / "ser2net.log").string();
  m_files = {config, pid_file, log};
  std::ofstream(config) << Configuration(connections, m_ports);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::vector<std::string> argv = {program, "-n", "-d", "-c", config, "-P", pid_file};
  std::vector<char*> args;
  for (std::string& arg : argv) {
    args.push_back(arg.data());
  }
  args.push_back(nullptr);
  const int spawned = ::posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    m_pid = -1;
    m_error = "cannot start " + program;
    return false;
  }

  const auto until = std::chrono::steady_clock::now() + deadline;
  while (true) {
    const std::set<uint16_t> listening = ListeningPorts();
    bool all = true;
    for (uint16_t port : m_ports) {
      all &= listening.count(port) > 0;
    }
    if (all) {
      return true;
    }
    if (!Running() || std::chrono::steady_clock::now() > until) {
      m_error = std::string(Running() ? "ser2net did not listen in time" : "ser2net ended") +
                "; its log:\n" + Log();
      Kill();
      return false;
    }
    std::this_thread::sleep_for(kPollEvery);
  }
}

std::string Ser2netServer::Log() const {
  if (m_files.empty()) {
    return "";
  }
  std::ifstream in(m_files.back());
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Ser2netServer::Running() {
  if (m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
    m_pid = -1;
  }
  return m_pid > 0;
}

void Ser2netServer::Kill() {
  if (m_pid > 0) {
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }
}

void Ser2netServer::Cleanup() {
  for (const auto& file : m_files) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
  }
  m_files.clear();
}

}  // namespace velmar::test
