#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <iterator>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "platform/serial_latency_linux.h"
#include "platform/serial_line.h"

#include "platform/com_port_name.h"
#include "platform/config_folder.h"
#include "platform/port_listing.h"
#include "platform/serial_line_timing.h"
#include "platform/serial_rate_linux.h"
#include "platform/unique_fd.h"

namespace velmar::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollForever = -1;
constexpr short kPollFailed = POLLHUP | POLLERR | POLLNVAL;
// What a call on the line reports once the other end has hung up or the device has gone.
constexpr int kLostErrors[] = {EIO, ENODEV, ENXIO, EPIPE, EBADF, ESHUTDOWN};
constexpr const char* kDeviceFolder = "/dev";

struct StandardRate {
  int32_t baud_rate;
  speed_t code;
};

// The rates the classic termios table names; every other rate goes through termios2.
constexpr StandardRate kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// A pseudo-terminal or a USB gadget port has no modem-control lines.
bool Unsupported(int error) {
  return error == ENOTTY || error == EINVAL;
}

bool SetModemLines(int fd, unsigned long request, int lines) {
  return ::ioctl(fd, request, &lines) == 0 || Unsupported(errno);
}

const StandardRate* FindStandardRate(int32_t baud_rate) {
  const auto found =
      std::find_if(std::begin(kStandardRates), std::end(kStandardRates),
                   [&](const StandardRate& rate) { return rate.baud_rate == baud_rate; });
  return found != std::end(kStandardRates) ? found : nullptr;
}

bool ApplySettings(int fd, int32_t baud_rate) {
  if (baud_rate <= 0) {
    return false;
  }
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) {
    return false;
  }
  ::cfmakeraw(&settings);
  // A split input rate left by an earlier user would survive cfsetispeed, which only sets CBAUD:
  // an input rate field of zero means "as the output".
  settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | CIBAUD);
  settings.c_cflag |= CS8 | CREAD | CLOCAL;
  settings.c_iflag &= ~(IXON | IXOFF | IXANY);
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  const StandardRate* standard = FindStandardRate(baud_rate);
  if (standard != nullptr && (::cfsetispeed(&settings, standard->code) != 0 ||
                              ::cfsetospeed(&settings, standard->code) != 0)) {
    return false;
  }
  if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
    return false;
  }
  if (standard == nullptr && !SetArbitraryRate(fd, baud_rate)) {
    return false;
  }
  // tcsetattr succeeds when any part was taken, and drivers round rates: check what stuck.
  termios actual{};
  if (::tcgetattr(fd, &actual) != 0) {
    return false;
  }
  const tcflag_t framing = CSIZE | PARENB | CSTOPB | CRTSCTS | CREAD | CLOCAL;
  return (actual.c_cflag & framing) == (CS8 | CREAD | CLOCAL) &&
         (actual.c_iflag & (IXON | IXOFF | IXANY)) == 0 && ReadOutputRate(fd) == baud_rate &&
         ReadInputRate(fd) == baud_rate;
}

std::string ComLinkPath(const std::string& name) {
  return ConfigFolder() + "/ports/" + name;
}

// poll() to the nanosecond; without a span it waits for ever. A past span polls once.
int PollFor(pollfd* fds, nfds_t count, std::optional<std::chrono::nanoseconds> span) {
  if (!span) {
    return ::ppoll(fds, count, nullptr, nullptr);
  }
  const auto clamped = std::max(*span, std::chrono::nanoseconds::zero());
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(clamped);
  const timespec timeout{static_cast<time_t>(seconds.count()),
                         static_cast<long>((clamped - seconds).count())};
  return ::ppoll(fds, count, &timeout, nullptr);
}

bool IsLostError(int error) {
  return std::find(std::begin(kLostErrors), std::end(kLostErrors), error) != std::end(kLostErrors);
}

// A device node that answers EIO or ENXIO is a port with no device behind it; a socket, which
// also answers ENXIO, is no port at all.
bool IsDeviceNode(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

// The line's own operations for the shared waits; a loss they find is recorded in `lost`.
class PosixLine final : public LineOperations {
 public:
  PosixLine(int fd, std::atomic<bool>& lost) : m_fd(fd), m_lost(lost) {}

  void FlushInput() override { ::tcflush(m_fd, TCIFLUSH); }

  Arrival AwaitArrival(std::chrono::nanoseconds span) override {
    pollfd watched{m_fd, POLLIN, 0};
    const int ready = PollFor(&watched, 1, span);
    if (ready == 0 || (ready < 0 && errno == EINTR)) {
      return Arrival::kNone;
    }
    return ready > 0 && (watched.revents & kPollFailed) == 0 ? Arrival::kInput : Arrival::kFailed;
  }

  std::optional<int32_t> QueuedOutput() override {
    int queued = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &queued) == 0) {
      return std::max(queued, 0);
    }
    if (IsLostError(errno)) {
      m_lost.store(true);
      return std::nullopt;
    }
    return 0;  // a driver that cannot tell
  }

  bool Sleep(std::chrono::nanoseconds span) override {
    // No events asked for: only a hang-up or an error ends the wait early.
    pollfd watched{m_fd, 0, 0};
    if (PollFor(&watched, 1, span) > 0 && (watched.revents & kPollFailed) != 0) {
      m_lost.store(true);
      return false;
    }
    return true;
  }

 private:
  int m_fd;
  std::atomic<bool>& m_lost;
};

}  // namespace

struct SerialLine::Impl {
  PosixLine Operations() { return PosixLine(line.Get(), lost); }
  // Records the loss when a call failed with `error` because of one.
  void NoteError(int error) {
    if (IsLostError(error)) {
      lost.store(true);
    }
  }

  UniqueFd line;
  UniqueFd wake;  // an eventfd, readable while a wake is pending
  int open_error = 0;
  std::atomic<bool> lost{false};
  // Reception thread only: once set, waits watch the wake descriptor alone.
  bool hung_up = false;
  std::chrono::nanoseconds byte_time{};
  // When the last write will have left the line, were it sent at once, and whether the driver's
  // queue was seen empty since; what is still queued from before, Close asks the driver. Only
  // the writing thread and Close touch them, never at once.
  Clock::time_point line_free{};
  bool seen_empty = true;
  LatencySetting latency;
};

SerialLine::SerialLine() : m_impl(std::make_unique<Impl>()) {}

SerialLine::~SerialLine() {
  Close();
}

SerialOpenResult SerialLine::Open(const std::string& name, int32_t baud_rate) {
  Close();
  int& error = m_impl->open_error;
  const auto fail = [&error](SerialOpenResult result, int number) {
    error = number;
    return result;
  };
  error = 0;
  m_impl->lost.store(false);
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake.Valid()) {
    return fail(SerialOpenResult::kSystemFailure, errno);
  }
  const std::string path = ResolvePortName(name);
  // A ttyS node without a UART behind it answers EIO (at open or at its first request), one
  // beyond the driver's ports ENXIO.
  const auto absent = [&path](int number) {
    return (number == EIO || number == ENXIO) && IsDeviceNode(path);
  };
  UniqueFd line(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!line.Valid()) {
    // TIOCEXCL held by another opener shows as EBUSY.
    const int number = errno;
    return fail(number == EBUSY                       ? SerialOpenResult::kBusy
                : number == EACCES || number == EPERM ? SerialOpenResult::kAccessDenied
                : absent(number)                      ? SerialOpenResult::kNoHardware
                                                      : SerialOpenResult::kNoDevice,
                number);
  }
  if (::isatty(line.Get()) == 0) {
    // A ttyS without a UART may open, and then fail its first terminal request.
    const int number = errno;
    return fail(absent(number) ? SerialOpenResult::kNoHardware : SerialOpenResult::kNoDevice,
                number);
  }
  // TIOCEXCL keeps out other users but not root; the lock keeps out every other opener, in this
  // process too. Closing the descriptor releases the lock on every failure path below.
  if (::flock(line.Get(), LOCK_EX | LOCK_NB) != 0) {
    // The lock says "would block"; what the user needs to hear is that the port is busy.
    return fail(SerialOpenResult::kBusy, errno == EWOULDBLOCK ? EBUSY : errno);
  }
  if (::ioctl(line.Get(), TIOCEXCL) != 0 && !Unsupported(errno)) {
    return fail(SerialOpenResult::kBusy, errno);
  }
  errno = 0;
  if (!ApplySettings(line.Get(), baud_rate) ||
      !SetModemLines(line.Get(), TIOCMBIS, TIOCM_DTR | TIOCM_RTS)) {
    const int number = errno;
    // A pseudo-terminal keeps its exclusive mark while its other end is open.
    ::ioctl(line.Get(), TIOCNXCL);
    return fail(absent(number) ? SerialOpenResult::kNoHardware : SerialOpenResult::kSettingsRefused,
                number);
  }
  // Bytes that arrived before this open (the printer's answer to a tool killed mid-load, while
  // something else kept the line open), or that are still arriving, would be taken for the
  // answer to our wake-up.
  PosixLine operations(line.Get(), m_impl->lost);
  AwaitQuietLine(operations, baud_rate);
  m_impl->latency = LowerLatency(line.Get());
  m_impl->line = std::move(line);
  m_impl->wake = std::move(wake);
  m_impl->hung_up = false;
  m_impl->byte_time = ByteTimeAt(baud_rate);
  m_impl->line_free = Clock::now();
  m_impl->seen_empty = true;
  return SerialOpenResult::kOk;
}

int SerialLine::OpenError() const {
  return m_impl->open_error;
}

bool SerialLine::IsOpen() const {
  return m_impl->line.Valid();
}

void SerialLine::Close() {
  if (m_impl->line.Valid()) {
    const int fd = m_impl->line.Get();
    // Flushing at once could throw away the frame that ends a load; once the line is lost
    // there is nobody to wait for.
    if (!m_impl->lost.load()) {
      PosixLine operations = m_impl->Operations();
      Drain(operations, m_impl->byte_time, m_impl->line_free);
    }
    RestoreLatency(fd, m_impl->latency);
    m_impl->latency = {};
    // Failures are of no use here: a hung-up line refuses these, and closing still releases it.
    SetModemLines(fd, TIOCMBIC, TIOCM_DTR);
    ::tcflush(fd, TCIOFLUSH);
    ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    m_impl->line.Reset();
  }
  m_impl->wake.Reset();
  m_impl->hung_up = false;
}

int32_t SerialLine::QueuedInput() {
  int queued = 0;
  if (!m_impl->line.Valid()) {
    return 0;
  }
  if (::ioctl(m_impl->line.Get(), FIONREAD, &queued) != 0) {
    m_impl->NoteError(errno);
    return 0;
  }
  return std::max(queued, 0);
}

int32_t SerialLine::Read(uint8_t* buffer, int32_t capacity) {
  if (buffer == nullptr || capacity <= 0) {
    return 0;
  }
  const int32_t count = std::min(capacity, QueuedInput());
  if (count <= 0) {
    return 0;
  }
  ssize_t got = 0;
  do {
    got = ::read(m_impl->line.Get(), buffer, static_cast<size_t>(count));
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    m_impl->NoteError(errno);
  }
  return got > 0 ? static_cast<int32_t>(got) : 0;
}

int32_t SerialLine::Write(const uint8_t* data, int32_t length) {
  if (!m_impl->line.Valid() || data == nullptr || length <= 0) {
    return 0;
  }
  const int fd = m_impl->line.Get();
  int32_t done = 0;
  auto deadline = Clock::now() + kWriteRoomTimeout;
  m_impl->seen_empty = false;
  // Asked at once, before the other end can hang up: a pty, which holds nothing, shows empty.
  const auto finish = [this, &done] {
    const auto queued = m_impl->Operations().QueuedOutput();
    m_impl->seen_empty = queued == 0;
    return done;
  };
  while (done < length) {
    const ssize_t put = ::write(fd, data + done, static_cast<size_t>(length - done));
    if (put > 0) {
      done += static_cast<int32_t>(put);
      const auto now = Clock::now();
      // Not added up over the writes: a peer that answers faster than the line could carry the
      // frames (a pty) would push the sum ever further ahead of the line.
      m_impl->line_free = now + put * m_impl->byte_time;
      deadline = now + kWriteRoomTimeout;
      continue;
    }
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      m_impl->lost.store(true);  // whatever the error, the frame cannot go
      return done;
    }
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
      return finish();  // a stalled line, not a lost one
    }
    // A close under way wakes us: the frame is abandoned rather than waited for.
    std::array<pollfd, 2> watched = {{{fd, POLLOUT, 0}, {m_impl->wake.Get(), POLLIN, 0}}};
    const int ready = PollFor(watched.data(), watched.size(), left);
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready > 0 && (watched[0].revents & kPollFailed) != 0) {
      m_impl->lost.store(true);
      return done;
    }
    if (ready <= 0 || watched[1].revents != 0 || (watched[0].revents & POLLOUT) == 0) {
      return finish();
    }
  }
  return finish();
}

std::chrono::nanoseconds SerialLine::ByteTime() const {
  return m_impl->byte_time;
}

// A pause of the missing bytes' line time: Linux sleeps to the microsecond, so no wait for the
// bytes themselves is needed.
bool SerialLine::AwaitInput(int32_t count, std::chrono::nanoseconds limit) {
  const int32_t missing = count - QueuedInput();
  const auto span = std::min<std::chrono::nanoseconds>(std::max(missing, 0) * ByteTime(), limit);
  return span <= std::chrono::nanoseconds::zero() || Pause(span);
}

bool SerialLine::Pause(std::chrono::nanoseconds span) {
  if (!m_impl->wake.Valid()) {
    return false;
  }
  // The default timer slack (50 us) would be added to every pause, several times a block.
  thread_local const bool precise = ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
  static_cast<void>(precise);
  const auto until = Clock::now() + span;
  for (;;) {
    pollfd woken{m_impl->wake.Get(), POLLIN, 0};
    const int ready = PollFor(&woken, 1, until - Clock::now());
    if (ready > 0) {
      return false;
    }
    if (ready == 0 || errno != EINTR) {
      return true;
    }
  }
}

bool SerialLine::WriteByte(uint8_t byte) {
  return Write(&byte, 1) == 1;
}

SerialWait SerialLine::WaitForInput() {
  if (!m_impl->line.Valid()) {
    return SerialWait::kWoken;  // nothing to wait on
  }
  const auto hang_up = [this] {
    m_impl->hung_up = true;
    m_impl->lost.store(true);
    return SerialWait::kHungUp;
  };
  for (;;) {
    std::array<pollfd, 2> watched = {
        {{m_impl->wake.Get(), POLLIN, 0}, {m_impl->line.Get(), POLLIN, 0}}};
    // A hung-up line polls ready at once, for ever: watch only the wake from then on.
    const nfds_t count = m_impl->hung_up ? 1 : 2;
    if (::poll(watched.data(), count, kPollForever) < 0) {
      if (errno == EINTR) {
        continue;
      }
      return hang_up();
    }
    if (watched[0].revents != 0) {
      return SerialWait::kWoken;
    }
    if (count == 1 || watched[1].revents == 0) {
      continue;
    }
    // Bytes that came with the hang-up are delivered before it is reported.
    if (QueuedInput() > 0) {
      return SerialWait::kInput;
    }
    if ((watched[1].revents & kPollFailed) != 0) {
      return hang_up();
    }
    // Readable but emptied meanwhile: wait again.
  }
}

void SerialLine::Wake() {
  if (m_impl->wake.Valid()) {
    const uint64_t one = 1;
    // Fails only when the counter would overflow, and then a wake is pending anyway.
    [[maybe_unused]] const ssize_t put = ::write(m_impl->wake.Get(), &one, sizeof one);
  }
}

void SerialLine::ClearWake() {
  if (m_impl->wake.Valid()) {
    uint64_t pending = 0;
    // EAGAIN just means there was nothing to clear.
    [[maybe_unused]] const ssize_t got = ::read(m_impl->wake.Get(), &pending, sizeof pending);
  }
}

bool SerialLine::AwaitSent() {
  if (!m_impl->line.Valid()) {
    return false;
  }
  PosixLine operations = m_impl->Operations();
  m_impl->seen_empty = platform::AwaitSent(operations, m_impl->byte_time, m_impl->seen_empty);
  return m_impl->seen_empty;
}

bool SerialLine::Lost() const {
  return m_impl->lost.load();
}

std::string PortIdentity(const std::string& name) {
  const std::string path = ResolvePortName(name);
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return path;
  }
  // Every resolved path holds a '/', so these never equal one.
  const auto pair = [](auto first, auto second) {
    return std::to_string(first) + ":" + std::to_string(second);
  };
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
    return (S_ISCHR(info.st_mode) ? "char " : "block ") +
           pair(major(info.st_rdev), minor(info.st_rdev));
  }
  return "file " + pair(info.st_dev, info.st_ino);
}

std::string ResolvePortName(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) {
    return name;
  }
  const int number = ComNumber(name, ComLetters::kUpperCase);
  if (number <= 0) {
    return std::string(kDeviceFolder) + "/" + name;  // "ttyUSB0" as a user means it
  }
  const std::string link = ComLinkPath(name);
  std::error_code error;
  // A dangling link still names the user's choice; opening it then says kNoDevice.
  if (std::filesystem::is_symlink(link, error) || std::filesystem::exists(link, error)) {
    return link;
  }
  return "/dev/ttyS" + std::to_string(number - 1);
}

std::vector<std::string> ListPorts() {
  std::vector<std::string> ports;
  for (const PortDetails& port : ListPortDetails()) {
    ports.push_back(port.name);
    if (!port.by_id.empty()) {
      ports.push_back(port.by_id);
    }
  }
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(ConfigFolder() + "/ports", error)) {
    const std::string name = entry.path().filename().string();
    if (ComNumber(name, ComLetters::kUpperCase) > 0) {
      ports.push_back(name);
    }
  }
  std::sort(ports.begin(), ports.end(), NaturalLess);
  ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
  return ports;
}

PortAccess CheckPortAccess(const std::string& name) {
  // The effective ids decide whether an open would pass, as they do for the open itself.
  if (::faccessat(AT_FDCWD, ResolvePortName(name).c_str(), R_OK | W_OK, AT_EACCESS) == 0) {
    return PortAccess::kAllowed;
  }
  return errno == EACCES || errno == EPERM || errno == EROFS ? PortAccess::kDenied
                                                             : PortAccess::kUnknown;
}

const char* PortAccessGroup() {
  return "dialout";
}

const char* PortNameHint() {
  return "a device path, a name in /dev such as\n"
         "                   ttyUSB0, or COMn (the link ports/COMn in ~/.config/velmar,\n"
         "                   else /dev/ttyS<n-1>)";
}

}  // namespace velmar::platform
