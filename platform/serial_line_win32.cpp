#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "platform/serial_line.h"
#include "platform/serial_line_timing.h"
#include "platform/serial_settings_win32.h"
#include "platform/wide_text_win32.h"

namespace velmar::platform {

namespace {

using Clock = std::chrono::steady_clock;

// How long Read lets a read of bytes already queued take before giving up on it.
constexpr std::chrono::milliseconds kQueuedReadWait{1000};
// How long AwaitInput waits beyond the missing bytes' line time before it hands over what came:
// the other end's turnaround and the timer's millisecond.
constexpr std::chrono::milliseconds kReplySlack{5};
// How much earlier than a long reply's end AwaitInput's sleep ends: the timer's granularity and
// the sleep's overshoot under Wine.
constexpr std::chrono::milliseconds kNapLeeway{2};
// The finest sleep the system timer gives once asked for it.
constexpr std::chrono::milliseconds kTimerResolution{1};
// Line errors clear with ClearCommError; a read that fails this often in a row, or once with an
// error of a device that has gone (kLineErrors), means the device has gone (a USB adapter pulled,
// the far end of a pseudo-terminal under Wine closed).
constexpr int kFailedReadsForHangUp = 3;
// A read that ends empty long before its total time-out did not wait at all: it counts as
// failed, so that a device that has gone never turns the wait into a busy loop.
constexpr std::chrono::milliseconds kShortestEmptyRead{kLineTimeouts.ReadTotalTimeoutConstant / 2};
constexpr const char* kPortsKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Owns one handle; closes it when dropped. Both "no handle" values count as none.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : m_handle(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept
      : m_handle(std::exchange(other.m_handle, INVALID_HANDLE_VALUE)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      m_handle = std::exchange(other.m_handle, INVALID_HANDLE_VALUE);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE Get() const { return m_handle; }
  bool Valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
  void Reset() {
    if (Valid()) {
      ::CloseHandle(m_handle);
    }
    m_handle = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// One overlapped record with its own manual-reset event.
struct Overlapped {
  bool Create() {
    event = UniqueHandle(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    return event.Valid();
  }
  OVERLAPPED* Arm() {
    record = OVERLAPPED{};
    record.hEvent = event.Get();
    return &record;
  }
  OVERLAPPED record{};
  UniqueHandle event;
};

// Whole milliseconds for a wait, rounded up, so that a short span is never a busy poll.
DWORD WaitMilliseconds(std::chrono::nanoseconds span) {
  if (span <= std::chrono::nanoseconds::zero()) {
    return 0;
  }
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(span).count();
  return static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}

// Ends an operation that is still pending on `overlapped` and returns the bytes it moved
// anyway; the record and its buffer are free again afterwards.
DWORD Settle(HANDLE port, OVERLAPPED* overlapped) {
  ::CancelIoEx(port, overlapped);
  DWORD moved = 0;
  // A cancelled operation fails, yet still reports what it moved before it ended.
  ::GetOverlappedResult(port, overlapped, &moved, TRUE);
  return moved;
}

// Records the loss when a call failed with `error` because the device has gone.
void NoteError(DWORD error, std::atomic<bool>& lost) {
  if (ClassifyLineError(error) == LineError::kGone) {
    lost.store(true);
  }
}

// The driver's counts; clears a pending line error as a side effect.
std::optional<COMSTAT> LineStatus(HANDLE port, std::atomic<bool>& lost) {
  DWORD errors = 0;
  COMSTAT status{};
  if (::ClearCommError(port, &errors, &status) == 0) {
    NoteError(::GetLastError(), lost);
    return std::nullopt;
  }
  return status;
}

// The line's own operations for the shared waits; a loss they find is recorded in `lost`.
class WindowsLine final : public LineOperations {
 public:
  WindowsLine(HANDLE port, std::atomic<bool>& lost) : m_port(port), m_lost(lost) {}

  void FlushInput() override { ::PurgeComm(m_port, PURGE_RXCLEAR); }

  // Nothing signals a queue that stays empty, so it is looked at once the span has passed.
  Arrival AwaitArrival(std::chrono::nanoseconds span) override {
    ::Sleep(WaitMilliseconds(span));
    const auto status = LineStatus(m_port, m_lost);
    return !status ? Arrival::kFailed : status->cbInQue == 0 ? Arrival::kNone : Arrival::kInput;
  }

  std::optional<int32_t> QueuedOutput() override {
    const auto status = LineStatus(m_port, m_lost);
    if (!status) {
      return m_lost.load() ? std::nullopt : std::optional<int32_t>(0);
    }
    return static_cast<int32_t>(std::min<DWORD>(status->cbOutQue, INT32_MAX));
  }

  bool Sleep(std::chrono::nanoseconds span) override {
    ::Sleep(WaitMilliseconds(span));
    return !m_lost.load();
  }

 private:
  HANDLE m_port;
  std::atomic<bool>& m_lost;
};

}  // namespace

struct SerialLine::Impl {
  std::optional<COMSTAT> Status() { return LineStatus(port.Get(), lost); }
  WindowsLine Operations() { return WindowsLine(port.Get(), lost); }
  // One overlapped write; false when it failed, with the error in `error`. A time-out or a
  // wake is no failure. `put` holds the bytes that went.
  bool WriteOnce(const uint8_t* data, DWORD length, DWORD* put, DWORD* error);

  UniqueHandle port;
  UniqueHandle lock;  // a mutex named after the port, held while it is open
  UniqueHandle wake;  // manual reset: set while a wake is pending
  // Mirrors `wake`, so that the reception wait looks at it without a call into the system (a
  // round trip to the server under Wine, once per reply).
  std::atomic<bool> woken{false};
  Overlapped wait_read;
  Overlapped read;
  Overlapped write;
  // Bytes that the waits read (the one that ended WaitForInput, those of AwaitInput), not yet
  // handed out by Read. Reception thread only.
  std::array<uint8_t, kInputQueueSize> held{};
  int32_t held_count = 0;
  std::atomic<bool> lost{false};
  bool hung_up = false;  // reception thread only
  bool fine_timer = false;
  int open_error = 0;
  std::chrono::nanoseconds byte_time{};
  // When the last write will have left the line, were it sent at once, and whether the driver's
  // queue was seen empty since; what is still queued from before, Close asks the driver. The
  // writing thread and Close.
  Clock::time_point line_free{};
  bool seen_empty = true;
};

bool SerialLine::Impl::WriteOnce(const uint8_t* data, DWORD length, DWORD* put, DWORD* error) {
  *put = 0;
  OVERLAPPED* overlapped = write.Arm();
  if (::WriteFile(port.Get(), data, length, put, overlapped) != 0) {
    return true;
  }
  *error = ::GetLastError();
  if (*error != ERROR_IO_PENDING) {
    return false;
  }
  // The frame's own line time plus the time a stalled line is given. A close under way
  // wakes us: the frame is abandoned rather than waited for.
  const HANDLE events[] = {overlapped->hEvent, wake.Get()};
  const DWORD waited = ::WaitForMultipleObjects(
      2, events, FALSE, WaitMilliseconds(length * byte_time + kWriteRoomTimeout));
  if (waited != WAIT_OBJECT_0) {
    *put = Settle(port.Get(), overlapped);
    return true;
  }
  if (::GetOverlappedResult(port.Get(), overlapped, put, FALSE) != 0) {
    return true;
  }
  *error = ::GetLastError();
  return false;
}

SerialLine::SerialLine() : m_impl(std::make_unique<Impl>()) {}

SerialLine::~SerialLine() {
  Close();
}

SerialOpenResult SerialLine::Open(const std::string& name, int32_t baud_rate) {
  Close();
  Impl& impl = *m_impl;
  const auto fail = [&impl](SerialOpenResult result, DWORD error) {
    impl.open_error = static_cast<int>(error);
    return result;
  };
  impl.open_error = 0;
  impl.lost.store(false);
  UniqueHandle wake(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!wake.Valid() || !impl.wait_read.Create() || !impl.read.Create() || !impl.write.Create()) {
    return fail(SerialOpenResult::kSystemFailure, ::GetLastError());
  }
  // The driver keeps a port to one opener (share mode 0 below); the lock does the same where a
  // driver does not, as Wine's pseudo-terminal ports do not, for every opener that is velmar.
  const std::string device = ResolvePortName(name);
  ::SetLastError(ERROR_SUCCESS);
  UniqueHandle lock(::CreateMutexA(nullptr, FALSE, LockName(device).c_str()));
  if (!lock.Valid() || ::GetLastError() == ERROR_ALREADY_EXISTS) {
    return fail(SerialOpenResult::kBusy, lock.Valid() ? ERROR_ACCESS_DENIED : ::GetLastError());
  }
  UniqueHandle port(::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
  if (!port.Valid()) {
    const DWORD error = ::GetLastError();
    // A port held by another opener is denied; so is a folder, which is no port at all.
    const DWORD attributes = ::GetFileAttributesA(device.c_str());
    const bool folder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return fail((error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) && !folder
                    ? SerialOpenResult::kBusy
                    : SerialOpenResult::kNoDevice,
                error);
  }
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (::GetCommState(port.Get(), &dcb) == 0) {
    // a file or a device that is no serial port
    return fail(SerialOpenResult::kNoDevice, ::GetLastError());
  }
  if (baud_rate <= 0) {
    return fail(SerialOpenResult::kSettingsRefused, ERROR_SUCCESS);
  }
  // The queue sizes are a wish the driver may ignore. The read time-outs are not: the
  // reception wait relies on a read that waits for its first byte.
  ::SetupComm(port.Get(), kInputQueueSize, kOutputQueueSize);
  COMMTIMEOUTS timeouts = kLineTimeouts;
  ApplyLineSettings(&dcb, baud_rate);
  DCB actual{};
  actual.DCBlength = sizeof actual;
  ::SetLastError(ERROR_SUCCESS);
  if (::SetCommTimeouts(port.Get(), &timeouts) == 0 || ::SetCommState(port.Get(), &dcb) == 0 ||
      ::GetCommState(port.Get(), &actual) == 0 || !SameLineSettings(dcb, actual)) {
    return fail(SerialOpenResult::kSettingsRefused, ::GetLastError());
  }
  // Bytes that arrived before this open (the printer's answer to a tool killed mid-load), or
  // that are still arriving, would be taken for the answer to our wake-up.
  WindowsLine operations(port.Get(), impl.lost);
  AwaitQuietLine(operations, baud_rate);
  // Pauses are as short as a reply's line time; the default timer would stretch each to 16 ms.
  impl.fine_timer = ::timeBeginPeriod(kTimerResolution.count()) == TIMERR_NOERROR;
  impl.port = std::move(port);
  impl.lock = std::move(lock);
  impl.wake = std::move(wake);
  impl.woken.store(false);
  impl.held_count = 0;
  impl.hung_up = false;
  impl.byte_time = ByteTimeAt(baud_rate);
  impl.line_free = Clock::now();
  impl.seen_empty = true;
  return SerialOpenResult::kOk;
}

int SerialLine::OpenError() const {
  return m_impl->open_error;
}

bool SerialLine::IsOpen() const {
  return m_impl->port.Valid();
}

void SerialLine::Close() {
  Impl& impl = *m_impl;
  if (impl.port.Valid()) {
    // Flushing at once could throw away the frame that ends a load; once the device has gone
    // there is nobody to wait for.
    if (!impl.lost.load()) {
      WindowsLine operations = impl.Operations();
      Drain(operations, impl.byte_time, impl.line_free);
    }
    // Failures are of no use here: a device that has gone refuses these, and closing still
    // releases it.
    ::EscapeCommFunction(impl.port.Get(), CLRDTR);
    ::PurgeComm(impl.port.Get(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    impl.port.Reset();
    impl.lock.Reset();
    if (impl.fine_timer) {
      ::timeEndPeriod(kTimerResolution.count());
      impl.fine_timer = false;
    }
  }
  impl.wake.Reset();
  impl.held_count = 0;
  impl.hung_up = false;
}

int32_t SerialLine::QueuedInput() {
  if (!m_impl->port.Valid()) {
    return 0;
  }
  const auto status = m_impl->Status();
  return m_impl->held_count +
         (status ? static_cast<int32_t>(std::min<DWORD>(status->cbInQue, INT32_MAX - 1)) : 0);
}

int32_t SerialLine::Read(uint8_t* buffer, int32_t capacity) {
  Impl& impl = *m_impl;
  if (buffer == nullptr || capacity <= 0 || !impl.port.Valid()) {
    return 0;
  }
  // What the waits read comes first, in order.
  const int32_t done = std::min(capacity, impl.held_count);
  std::memcpy(buffer, impl.held.data(), static_cast<size_t>(done));
  impl.held_count -= done;
  std::memmove(impl.held.data(), impl.held.data() + done, static_cast<size_t>(impl.held_count));
  // ClearCommError first: after a line error the driver fails every read until it is cleared.
  const auto status = impl.Status();
  const int32_t count =
      std::min<int64_t>(capacity - done, status ? static_cast<int64_t>(status->cbInQue) : 0);
  if (count <= 0) {
    return done;
  }
  OVERLAPPED* overlapped = impl.read.Arm();
  DWORD got = 0;
  if (::ReadFile(impl.port.Get(), buffer + done, static_cast<DWORD>(count), &got, overlapped) !=
      0) {
    return done + static_cast<int32_t>(got);
  }
  if (const DWORD error = ::GetLastError(); error != ERROR_IO_PENDING) {
    NoteError(error, impl.lost);
    return done;
  }
  // The bytes are queued, so this ends at once; the bound is for a driver that misbehaves.
  if (::WaitForSingleObject(overlapped->hEvent, WaitMilliseconds(kQueuedReadWait)) !=
      WAIT_OBJECT_0) {
    return done + static_cast<int32_t>(Settle(impl.port.Get(), overlapped));
  }
  if (::GetOverlappedResult(impl.port.Get(), overlapped, &got, FALSE) == 0) {
    NoteError(::GetLastError(), impl.lost);
    return done;
  }
  return done + static_cast<int32_t>(got);
}

int32_t SerialLine::Write(const uint8_t* data, int32_t length) {
  Impl& impl = *m_impl;
  if (!impl.port.Valid() || data == nullptr || length <= 0) {
    return 0;
  }
  impl.seen_empty = false;
  DWORD put = 0;
  DWORD error = ERROR_SUCCESS;
  bool failed = !impl.WriteOnce(data, static_cast<DWORD>(length), &put, &error);
  // With fAbortOnError a line error (a framing error on reception, say) fails writes too until
  // ClearCommError: the frame is not at fault, so the error is cleared and the rest tried once
  // more. What fails again, or cannot be cleared, is a device that has gone.
  if (failed && ClassifyLineError(error) == LineError::kClearAndRetry && impl.Status()) {
    DWORD more = 0;
    failed = !impl.WriteOnce(data + put, static_cast<DWORD>(length) - put, &more, &error);
    put += more;
  }
  if (failed) {
    impl.lost.store(true);
  } else {
    // Asked at once, before the other end can hang up: a queue seen empty lost nothing.
    const auto status = impl.Status();
    impl.seen_empty = status && status->cbOutQue == 0;
  }
  // Not added up over the writes: a peer that answers faster than the line could carry the
  // frames would push the sum ever further ahead of the line.
  impl.line_free = Clock::now() + static_cast<int64_t>(put) * impl.byte_time;
  return static_cast<int32_t>(put);
}

bool SerialLine::WriteByte(uint8_t byte) {
  return Write(&byte, 1) == 1;
}

std::chrono::nanoseconds SerialLine::ByteTime() const {
  return m_impl->byte_time;
}

// One overlapped read of the missing bytes, which the driver ends when the last of them has
// arrived: a pause would end on the system timer's millisecond instead, a good part of a short
// reply's own line time at 115200. A reply that falls short of the count is handed over once
// its line time and kReplySlack have passed, as a pause would have.
bool SerialLine::AwaitInput(int32_t count, std::chrono::nanoseconds limit) {
  Impl& impl = *m_impl;
  if (!impl.port.Valid()) {
    return false;
  }
  const auto status = impl.Status();  // a read fails after a line error until this
  const int32_t queued =
      status ? static_cast<int32_t>(std::min<DWORD>(status->cbInQue, kInputQueueSize)) : 0;
  const int32_t missing = count - impl.held_count - queued;
  const int32_t room = static_cast<int32_t>(impl.held.size()) - impl.held_count;
  if (missing <= 0 || room <= 0) {
    return true;
  }
  // A read is woken for every few bytes that trickle in; through most of a long reply it
  // sleeps instead, ending well before the last byte whatever the timer's granularity.
  const auto line_time = std::min<std::chrono::nanoseconds>(missing * impl.byte_time, limit);
  const auto nap = std::chrono::floor<std::chrono::milliseconds>(line_time - kNapLeeway);
  if (nap > std::chrono::milliseconds::zero() && !Pause(nap)) {
    return false;
  }
  OVERLAPPED* overlapped = impl.read.Arm();
  const DWORD wanted = static_cast<DWORD>(std::min(count - impl.held_count, room));
  DWORD got = 0;
  bool woken = false;
  if (::ReadFile(impl.port.Get(), impl.held.data() + impl.held_count, wanted, &got, overlapped) ==
      0) {
    if (const DWORD error = ::GetLastError(); error != ERROR_IO_PENDING) {
      NoteError(error, impl.lost);
      return Pause(line_time - nap);
    }
    const HANDLE events[] = {overlapped->hEvent, impl.wake.Get()};
    const auto bound = std::min<std::chrono::nanoseconds>(line_time + kReplySlack, limit) - nap;
    const DWORD waited = ::WaitForMultipleObjects(2, events, FALSE, WaitMilliseconds(bound));
    if (waited == WAIT_OBJECT_0) {
      if (::GetOverlappedResult(impl.port.Get(), overlapped, &got, FALSE) == 0) {
        NoteError(::GetLastError(), impl.lost);
        got = 0;
      }
    } else {
      got = Settle(impl.port.Get(), overlapped);
      woken = waited == WAIT_OBJECT_0 + 1;
    }
  }
  impl.held_count += static_cast<int32_t>(std::min<DWORD>(got, wanted));
  return !woken;
}

bool SerialLine::Pause(std::chrono::nanoseconds span) {
  if (!m_impl->wake.Valid()) {
    return false;
  }
  return ::WaitForSingleObject(m_impl->wake.Get(), WaitMilliseconds(span)) != WAIT_OBJECT_0;
}

// Reception waits on an overlapped read of one byte, which ends when the first byte arrives
// (the read time-outs let it end empty after ReadTotalTimeoutConstant; it is then simply made
// again). That byte is held and handed out first by the next Read, and ClearCommError counts
// the rest. WaitCommEvent would serve on Windows, but under Wine on a pseudo-terminal it never
// reports received characters; the read works on both.
SerialWait SerialLine::WaitForInput() {
  Impl& impl = *m_impl;
  if (!impl.port.Valid()) {
    return SerialWait::kWoken;  // nothing to wait on
  }
  int failed_reads = 0;
  for (;;) {
    if (impl.hung_up) {
      ::WaitForSingleObject(impl.wake.Get(), INFINITE);
      return SerialWait::kWoken;
    }
    if (impl.woken.load()) {
      return SerialWait::kWoken;
    }
    if (QueuedInput() > 0) {
      return SerialWait::kInput;
    }
    const auto started = Clock::now();
    OVERLAPPED* overlapped = impl.wait_read.Arm();
    uint8_t byte = 0;
    DWORD got = 0;
    bool completed = ::ReadFile(impl.port.Get(), &byte, 1, &got, overlapped) != 0;
    DWORD error = completed ? ERROR_SUCCESS : ::GetLastError();
    if (!completed && error == ERROR_IO_PENDING) {
      const HANDLE events[] = {overlapped->hEvent, impl.wake.Get()};
      const DWORD waited = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
      if (waited == WAIT_OBJECT_0) {
        completed = ::GetOverlappedResult(impl.port.Get(), overlapped, &got, FALSE) != 0;
        error = completed ? ERROR_SUCCESS : ::GetLastError();
      } else {
        // Woken: a byte that arrived as the read was cancelled is kept, not lost.
        if (Settle(impl.port.Get(), overlapped) == 1) {
          impl.held[impl.held_count++] = byte;
        }
        return SerialWait::kWoken;
      }
    }
    if (completed && got == 1) {
      impl.held[impl.held_count++] = byte;
      return SerialWait::kInput;
    }
    if (completed && Clock::now() - started >= kShortestEmptyRead) {
      failed_reads = 0;
      continue;  // the read's total time-out passed without input
    }
    if (!completed) {
      NoteError(error, impl.lost);
    }
    impl.Status();  // clears a line error, after which the next read succeeds
    if (impl.lost.load() || ++failed_reads >= kFailedReadsForHangUp) {
      impl.hung_up = true;
      impl.lost.store(true);
      return SerialWait::kHungUp;
    }
  }
}

void SerialLine::Wake() {
  if (m_impl->wake.Valid()) {
    m_impl->woken.store(true);
    ::SetEvent(m_impl->wake.Get());
  }
}

void SerialLine::ClearWake() {
  if (m_impl->wake.Valid()) {
    ::ResetEvent(m_impl->wake.Get());
    m_impl->woken.store(false);
  }
}

bool SerialLine::AwaitSent() {
  Impl& impl = *m_impl;
  if (!impl.port.Valid()) {
    return false;
  }
  WindowsLine operations = impl.Operations();
  impl.seen_empty = platform::AwaitSent(operations, impl.byte_time, impl.seen_empty);
  return impl.seen_empty;
}

bool SerialLine::Lost() const {
  return m_impl->lost.load();
}

std::string PortIdentity(const std::string& name) {
  return PortKey(name);
}

std::string ResolvePortName(const std::string& name) {
  return DeviceName(name);
}

std::vector<std::string> ListPorts() {
  std::vector<std::string> ports;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPortsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return ports;
  }
  // Each value names one port: the value's name is the driver's, its data the port's name.
  for (DWORD index = 0;; ++index) {
    char value_name[256];
    DWORD name_length = sizeof value_name;
    char data[256];
    DWORD data_length = sizeof data - 1;
    DWORD type = 0;
    const LONG result = ::RegEnumValueA(key, index, value_name, &name_length, nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &data_length);
    if (result == ERROR_NO_MORE_ITEMS) {
      break;
    }
    if (result != ERROR_SUCCESS || type != REG_SZ) {
      continue;
    }
    data[data_length] = '\0';  // registry strings need not end in one
    if (data[0] != '\0') {
      ports.emplace_back(data);
    }
  }
  ::RegCloseKey(key);
  return SortedPorts(std::move(ports));
}

// Only opening a COM port tells whether it may be opened, and opening raises DTR.
PortAccess CheckPortAccess(const std::string&) {
  return PortAccess::kUnknown;
}

const char* PortAccessGroup() {
  return "";
}

const char* PortNameHint() {
  return "COMn, as Windows names its ports (--list-ports\n"
         "                   names those that exist)";
}

}  // namespace velmar::platform
