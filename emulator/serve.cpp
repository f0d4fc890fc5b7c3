#include "emulator/serve.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "emulator/boot_loader.h"
#include "emulator/paced_line.h"
#include "emulator/pty_link.h"
#include "emulator/signal_pipe.h"

namespace velmar::emulator {

namespace {

constexpr size_t kReadChunk = 4096;
constexpr int kWaitForever = -1;

class Session : public BootLoaderListener {
 public:
  Session(const Options& options, PtyLink& pty, std::FILE* out, std::FILE* err)
      : m_options(options),
        m_pty(pty),
        m_out(out),
        m_err(err),
        m_line(options.baud, options.drip),
        m_loader(options.loader, *this) {}

  int Run(SignalPipe& signals);

  void OnReply(std::span<const uint8_t> reply) override { m_line.Queue(reply, m_fed_at); }
  void OnLoadEnded(const LoadSummary& summary) override;
  void OnHangUp() override {
    m_pty.HangUp();
    m_hung_up = true;
  }

 private:
  bool Served() const {
    return m_options.loads > 0 && m_ended >= m_options.loads && m_line.Empty();
  }
  int PollTimeout(Clock::time_point now, bool due) const;
  bool Receive();
  bool Transmit();

  const Options& m_options;
  PtyLink& m_pty;
  std::FILE* m_out;
  std::FILE* m_err;
  PacedLine m_line;
  BootLoader m_loader;
  Clock::time_point m_fed_at;  // when the byte being fed arrived: its replies wait for it
  int32_t m_ended = 0;
  bool m_failed = false;
  bool m_hung_up = false;
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

int Session::PollTimeout(Clock::time_point now, bool due) const {
  const auto next = m_line.NextDue();
  if (due || !next) {
    return kWaitForever;  // POLLOUT or input wakes the loop
  }
  // Rounded up, so that the loop never wakes before the byte is due and spins.
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - now);
  return static_cast<int>(std::max<int64_t>(wait.count(), 0));
}

bool Session::Receive() {
  std::array<uint8_t, kReadChunk> buffer{};
  const ssize_t count = ::read(m_pty.MasterFd(), buffer.data(), buffer.size());
  if (count < 0) {
    if (errno == EAGAIN || errno == EINTR) {
      return true;
    }
    std::fprintf(m_err, "velmar-printer: reading the line: %s\n", std::strerror(errno));
    return false;
  }
  const Clock::time_point read_at = Clock::now();
  for (ssize_t i = 0; i < count && !m_hung_up; ++i) {
    m_fed_at = m_line.ArriveAt(read_at);
    m_loader.Feed(&buffer[static_cast<size_t>(i)], 1, m_fed_at);
  }
  return true;
}

bool Session::Transmit() {
  const Clock::time_point now = Clock::now();
  const size_t due = m_line.DueCount(now);
  if (due == 0) {
    return true;
  }
  const std::vector<uint8_t> bytes = m_line.Front(due);
  const ssize_t written = ::write(m_pty.MasterFd(), bytes.data(), bytes.size());
  if (written < 0) {
    if (errno == EAGAIN || errno == EINTR) {
      return true;  // the tool is not reading: POLLOUT tells when there is room
    }
    std::fprintf(m_err, "velmar-printer: writing the line: %s\n", std::strerror(errno));
    return false;
  }
  m_line.Sent(static_cast<size_t>(written), now);
  return true;
}

int Session::Run(SignalPipe& signals) {
  constexpr short kBroken = POLLERR | POLLHUP | POLLNVAL;
  bool stop = false;
  while (!stop && !m_hung_up && !Served()) {
    const Clock::time_point now = Clock::now();
    const bool due = m_line.DueCount(now) > 0;
    std::array<pollfd, 2> watched{
        {{signals.ReadFd(), POLLIN, 0},
         {m_pty.MasterFd(), static_cast<short>(POLLIN | (due ? POLLOUT : 0)), 0}}};
    if (::poll(watched.data(), watched.size(), PollTimeout(now, due)) < 0) {
      if (errno == EINTR) {
        continue;
      }
      std::fprintf(m_err, "velmar-printer: poll: %s\n", std::strerror(errno));
      m_failed = true;
      break;
    }
    if ((watched[0].revents & POLLIN) != 0 && signals.Caught()) {
      stop = true;
    }
    const short line = watched[1].revents;
    if ((line & POLLIN) != 0 && !Receive()) {
      m_failed = true;
      break;
    }
    if ((line & kBroken) != 0 && (line & POLLIN) == 0) {
      // Our own slave keeps the line up; anything else broken would only spin the loop.
      std::fprintf(m_err, "velmar-printer: the line broke\n");
      m_failed = true;
      break;
    }
    if (!m_hung_up && !Transmit()) {
      m_failed = true;
      break;
    }
  }
  m_loader.Finish();
  return m_failed ? 1 : 0;
}

}  // namespace

int Serve(const Options& options, const std::string& link_path, std::FILE* out, std::FILE* err) {
  PtyLink pty;
  if (pty.Open(link_path) != PtyLinkResult::kOk) {
    std::fprintf(err, "velmar-printer: %s: %s\n", link_path.c_str(), pty.Error().c_str());
    return 1;
  }
  SignalPipe signals;
  if (!signals.Install()) {
    std::fprintf(err, "velmar-printer: cannot catch signals: %s\n", std::strerror(errno));
    return 1;
  }
  std::fprintf(out, "%s\n", link_path.c_str());
  std::fflush(out);
  Session session(options, pty, out, err);
  return session.Run(signals);
}

}  // namespace velmar::emulator
