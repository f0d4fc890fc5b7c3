#include "emulator/serve.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <functional>

#include "emulator/boot_loader.h"
#include "emulator/format.h"
#include "emulator/noisy_line.h"
#include "emulator/paced_line.h"
#include "emulator/pty_link.h"
#include "emulator/signal_pipe.h"
#include "emulator/tcp_listener.h"
#include "platform/serial_rate_linux.h"

namespace velmar::emulator {

namespace {

constexpr size_t kReadChunk = 4096;
// How much later than its due time a reply byte may go, so that one write carries several.
constexpr std::chrono::milliseconds kWriteSlack{2};
// How long a served run's end waits for the tool to read its last replies.
constexpr std::chrono::seconds kReadByToolLimit{3};

// "N of M bytes received (F flipped, D dropped, U doubled)".
std::string NoiseCounts(const NoisyLine& line, const char* way) {
  const int64_t flipped = line.Hits(NoiseKind::kFlip);
  const int64_t dropped = line.Hits(NoiseKind::kDrop);
  const int64_t doubled = line.Hits(NoiseKind::kDouble);
  return Format("%lld of %lld bytes %s (%lld flipped, %lld dropped, %lld doubled)",
                static_cast<long long>(flipped + dropped + doubled),
                static_cast<long long>(line.Passed()), way, static_cast<long long>(flipped),
                static_cast<long long>(dropped), static_cast<long long>(doubled));
}

// How serving one connection of the line ended.
enum class LineEnd { kStopped, kServed, kHungUp, kClosed, kFailed };

// What the session talks over: the pseudo-terminal, or one TCP connection. A pseudo-terminal
// never closes under us (we hold its slave); a connection closes whenever the tool lets go.
struct LineFd {
  int fd = -1;
  bool peer_may_close = false;
  std::function<void()> hang_up;
};

class Session : public BootLoaderListener {
 public:
  Session(const Options& options, std::FILE* out, std::FILE* err)
      : m_options(options),
        m_out(out),
        m_err(err),
        m_line(options.baud, options.drip),
        m_received_noise(options.noise, options.noise_seed, NoiseDirection::kReceived),
        m_sent_noise(options.noise, options.noise_seed, NoiseDirection::kSent),
        m_loader(options.loader, *this) {}

  LineEnd Run(SignalPipe& signals, const LineFd& line);
  // Ends a load cut short by the line closing; the next connection starts afresh.
  void EndConnection();
  int Finish();
  bool Served() const { return m_options.loads > 0 && m_ended >= m_options.loads; }

  // The noise spoils a reply as it goes onto the line; the pacing then times what is left of it.
  void OnReply(std::span<const uint8_t> reply) override {
    m_spoilt.clear();
    m_sent_noise.Pass(reply, m_spoilt);
    m_line.Queue(m_spoilt, m_fed_at);
  }
  void OnLoadEnded(const LoadSummary& summary) override;
  void OnHangUp() override {
    m_fd.hang_up();
    m_hung_up = true;
  }
  void OnBlockStarted(int32_t load, int32_t block) override {
    if (m_options.marks) {
      std::fprintf(m_out, "block %d of load %d\n", block, load);
      std::fflush(m_out);
    }
  }

 private:
  enum class Io { kOk, kClosed, kFailed };

  // Null waits until input or room to write; otherwise until the next reply byte is due.
  const timespec* PollTimeout(Clock::time_point now, bool due, timespec& storage) const;
  Io Receive();
  Io Transmit();
  // A closed connection is the tool going away; on the pseudo-terminal it is a fault of ours.
  Io Trouble(const char* what);
  // False when the tool's side is not at --tool-rate: the bytes just read are then lost.
  bool AtToolRate();
  void ReportNoise() const;

  const Options& m_options;
  std::FILE* m_out;
  std::FILE* m_err;
  LineFd m_fd;
  PacedLine m_line;
  NoisyLine m_received_noise;
  NoisyLine m_sent_noise;
  std::vector<uint8_t> m_received;  // the bytes read, as the noise left them
  std::vector<uint8_t> m_spoilt;    // a reply, as the noise left it
  BootLoader m_loader;
  Clock::time_point m_fed_at;  // when the byte being fed arrived: its replies wait for it
  int32_t m_ended = 0;
  bool m_failed = false;
  bool m_hung_up = false;
  int32_t m_reported_rate = 0;  // the wrong rate last reported, so that each is told once
};

void Session::OnLoadEnded(const LoadSummary& summary) {
  ++m_ended;
  m_failed |= !summary.Succeeded();
  std::fprintf(m_out, "%s\n", FormatSummary(summary, m_options.baud).c_str());
  std::fflush(m_out);
  if (summary.complete && !m_options.image.empty() && !m_loader.WriteIntelHex(m_options.image)) {
    std::fprintf(m_err, "velmar-printer: cannot write %s\n", m_options.image.c_str());
    m_failed = true;
  }
}

void Session::EndConnection() {
  m_loader.Finish();
  m_line = PacedLine(m_options.baud, m_options.drip);
}

int Session::Finish() {
  m_loader.Finish();
  if (m_options.noise > 0) {
    ReportNoise();
  }
  return m_failed ? 1 : 0;
}

void Session::ReportNoise() const {
  std::fprintf(m_out, "noise %g, seed %u: %s, %s\n", m_options.noise,
               static_cast<unsigned>(m_options.noise_seed),
               NoiseCounts(m_received_noise, "received").c_str(),
               NoiseCounts(m_sent_noise, "sent").c_str());
  std::fflush(m_out);
}

const timespec* Session::PollTimeout(Clock::time_point now, bool due, timespec& storage) const {
  const auto next = m_line.WakeAt(kWriteSlack);
  if (due || !next) {
    return nullptr;  // POLLOUT or input wakes the loop
  }
  // To the nanosecond: a whole-millisecond wait would make every reply up to 1 ms late, which
  // is several per cent of a block's line time at 115200 baud. ppoll never returns early.
  const auto wait = std::max<Clock::duration>(*next - now, Clock::duration::zero());
  const auto seconds = std::chrono::floor<std::chrono::seconds>(wait);
  storage.tv_sec = static_cast<time_t>(seconds.count());
  storage.tv_nsec = static_cast<long>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(wait - seconds).count());
  return &storage;
}

Session::Io Session::Trouble(const char* what) {
  if (m_fd.peer_may_close && (errno == ECONNRESET || errno == EPIPE || errno == ETIMEDOUT)) {
    return Io::kClosed;
  }
  std::fprintf(m_err, "velmar-printer: %s the line: %s\n", what, std::strerror(errno));
  return Io::kFailed;
}

bool Session::AtToolRate() {
  if (m_options.tool_rate <= 0) {
    return true;
  }
  // On a master the termios requests report the slave's settings: the tool's side.
  const int32_t rate = platform::ReadOutputRate(m_fd.fd);
  if (rate == m_options.tool_rate) {
    return true;
  }
  m_failed = true;
  if (rate != m_reported_rate) {
    m_reported_rate = rate;
    std::fprintf(m_err,
                 "velmar-printer: the tool's side is at %d baud, not %d: what arrives so is "
                 "dropped\n",
                 rate, m_options.tool_rate);
    std::fflush(m_err);
  }
  return false;
}

Session::Io Session::Receive() {
  std::array<uint8_t, kReadChunk> buffer{};
  const ssize_t count = ::read(m_fd.fd, buffer.data(), buffer.size());
  if (count < 0) {
    if (errno == EAGAIN || errno == EINTR) {
      return Io::kOk;
    }
    return Trouble("reading");
  }
  if (count == 0 && m_fd.peer_may_close) {
    return Io::kClosed;
  }
  if (!AtToolRate()) {
    return Io::kOk;
  }
  const Clock::time_point read_at = Clock::now();
  // The boot loader sees the bytes as the noise left them.
  m_received.clear();
  m_received_noise.Pass(std::span(buffer.data(), static_cast<size_t>(count)), m_received);
  for (size_t i = 0; i < m_received.size() && !m_hung_up; ++i) {
    m_fed_at = m_line.ArriveAt(read_at);
    m_loader.Feed(&m_received[i], 1, m_fed_at);
  }
  return Io::kOk;
}

Session::Io Session::Transmit() {
  const Clock::time_point now = Clock::now();
  const size_t due = m_line.DueCount(now);
  if (due == 0) {
    return Io::kOk;
  }
  const std::vector<uint8_t> bytes = m_line.Front(due);
  // SIGPIPE is ignored: a tool gone from a connection shows as EPIPE here.
  const ssize_t written = ::write(m_fd.fd, bytes.data(), bytes.size());
  if (written < 0) {
    if (errno == EAGAIN || errno == EINTR) {
      return Io::kOk;  // the tool is not reading: POLLOUT tells when there is room
    }
    return Trouble("writing");
  }
  m_line.Sent(static_cast<size_t>(written), now);
  return Io::kOk;
}

LineEnd Session::Run(SignalPipe& signals, const LineFd& line) {
  constexpr short kBroken = POLLERR | POLLHUP | POLLNVAL;
  m_fd = line;
  const auto ended = [](Io io) { return io == Io::kClosed ? LineEnd::kClosed : LineEnd::kFailed; };
  while (true) {
    if (m_hung_up) {
      return LineEnd::kHungUp;
    }
    if (Served() && m_line.Empty()) {
      return LineEnd::kServed;
    }
    const Clock::time_point now = Clock::now();
    const bool due = m_line.DueCount(now) > 0;
    std::array<pollfd, 2> watched{{{signals.ReadFd(), POLLIN, 0},
                                   {m_fd.fd, static_cast<short>(POLLIN | (due ? POLLOUT : 0)), 0}}};
    timespec timeout{};
    if (::ppoll(watched.data(), watched.size(), PollTimeout(now, due, timeout), nullptr) < 0) {
      if (errno == EINTR) {
        continue;
      }
      std::fprintf(m_err, "velmar-printer: poll: %s\n", std::strerror(errno));
      m_failed = true;
      return LineEnd::kFailed;
    }
    if ((watched[0].revents & POLLIN) != 0 && signals.Caught()) {
      return LineEnd::kStopped;
    }
    const short revents = watched[1].revents;
    if ((revents & POLLIN) != 0) {
      if (const Io io = Receive(); io != Io::kOk) {
        m_failed |= io == Io::kFailed;
        return ended(io);
      }
    }
    if ((revents & kBroken) != 0 && (revents & POLLIN) == 0) {
      if (m_fd.peer_may_close) {
        return LineEnd::kClosed;
      }
      // Our own slave keeps the line up; anything else broken would only spin the loop.
      std::fprintf(m_err, "velmar-printer: the line broke\n");
      m_failed = true;
      return LineEnd::kFailed;
    }
    if (!m_hung_up) {
      if (const Io io = Transmit(); io != Io::kOk) {
        m_failed |= io == Io::kFailed;
        return ended(io);
      }
    }
  }
}

// Catches the signals, then prints where the tool finds us as the report's first line.
bool StartServing(SignalPipe& signals, const std::string& where, std::FILE* out, std::FILE* err) {
  if (!signals.Install()) {
    std::fprintf(err, "velmar-printer: cannot catch signals: %s\n", std::strerror(errno));
    return false;
  }
  std::fprintf(out, "%s\n", where.c_str());
  std::fflush(out);
  return true;
}

enum class Await { kConnection, kStopped, kFailed };

// Waits for the tool to connect, or for a signal.
Await AwaitConnection(SignalPipe& signals, const TcpListener& listener, std::FILE* err) {
  while (true) {
    std::array<pollfd, 2> watched{{{signals.ReadFd(), POLLIN, 0}, {listener.Fd(), POLLIN, 0}}};
    if (::poll(watched.data(), watched.size(), -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      std::fprintf(err, "velmar-printer: poll: %s\n", std::strerror(errno));
      return Await::kFailed;
    }
    if ((watched[0].revents & POLLIN) != 0 && signals.Caught()) {
      return Await::kStopped;
    }
    if ((watched[1].revents & POLLIN) != 0) {
      return Await::kConnection;
    }
  }
}

}  // namespace

int Serve(const Options& options, const std::string& link_path, std::FILE* out, std::FILE* err) {
  PtyLink pty;
  if (pty.Open(link_path) != PtyLinkResult::kOk) {
    std::fprintf(err, "velmar-printer: %s: %s\n", link_path.c_str(), pty.Error().c_str());
    return 1;
  }
  SignalPipe signals;
  if (!StartServing(signals, link_path, out, err)) {
    return 1;
  }
  Session session(options, out, err);
  if (session.Run(signals, {pty.MasterFd(), false, [&pty] { pty.HangUp(); }}) == LineEnd::kServed) {
    // Closing hangs the tool up and discards what it has not read: its last reply, often.
    pty.AwaitRead(kReadByToolLimit);
  }
  return session.Finish();
}

int ServeInherited(const Options& options, std::FILE* out, std::FILE* err) {
  UniqueFd slave;
  std::string slave_name;
  std::string error;
  if (!AdoptMaster(options.line_fd, &slave, &slave_name, &error)) {
    std::fprintf(err, "velmar-printer: descriptor %d: %s\n", options.line_fd, error.c_str());
    return 1;
  }
  SignalPipe signals;
  if (!StartServing(signals, slave_name, out, err)) {
    return 1;
  }
  Session session(options, out, err);
  // The owner keeps the line: a hang-up only lets go of our copies.
  UniqueFd line(options.line_fd);
  session.Run(signals, {line.Get(), false, [&line, &slave] {
                          line.Reset();
                          slave.Reset();
                        }});
  return session.Finish();
}

int ServeTcp(const Options& options, std::FILE* out, std::FILE* err) {
  TcpListener listener;
  if (!listener.Open(options.tcp->host, options.tcp->port)) {
    std::fprintf(err, "velmar-printer: %s:%u: %s\n", options.tcp->host.c_str(),
                 static_cast<unsigned>(options.tcp->port), listener.Error().c_str());
    return 1;
  }
  SignalPipe signals;
  if (!StartServing(signals, listener.Address(), out, err)) {
    return 1;
  }
  Session session(options, out, err);
  LineEnd end = LineEnd::kClosed;
  while (end == LineEnd::kClosed) {
    const Await awaited = AwaitConnection(signals, listener, err);
    if (awaited != Await::kConnection) {
      return awaited == Await::kFailed ? 1 : session.Finish();
    }
    UniqueFd connection = listener.Accept();
    if (!connection.Valid()) {
      continue;  // gone before we took it
    }
    end = session.Run(signals,
                      {connection.Get(), true, [&connection] { TcpListener::HangUp(connection); }});
    if (end == LineEnd::kClosed) {
      session.EndConnection();
      end = session.Served() ? LineEnd::kServed : LineEnd::kClosed;
    }
  }
  return session.Finish();
}

}  // namespace velmar::emulator
