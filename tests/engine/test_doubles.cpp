#include "tests/engine/test_doubles.h"

#include <algorithm>
#include <cstdio>

#include "engine/load_notification.h"
#include "platform/progress_messages.h"

namespace velmar::engine::testing {

std::string Hex(const Bytes& bytes) {
  std::string text;
  char digits[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
    if (i > 0) {
      text += ' ';
    }
    text += digits;
  }
  return text;
}

std::string Hex(const std::vector<Bytes>& frames) {
  std::string text;
  for (size_t i = 0; i < frames.size(); ++i) {
    if (i > 0) {
      text += " | ";
    }
    text += Hex(frames[i]);
  }
  return text;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

Bytes BytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

platform::LResult ProgressCounter::HandleMessage(platform::MessageId message, platform::WParam,
                                                 platform::LParam) {
  if (message == platform::PBM_STEPIT) {
    ++m_steps;
  } else {
    ++m_others;
  }
  return 1;
}

RecordingWindow::RecordingWindow(platform::MessageQueue& queue)
    : datafile::LoadWindow(queue), m_progress(queue) {}

platform::LResult RecordingWindow::HandleMessage(platform::MessageId message,
                                                 platform::WParam wparam, platform::LParam lparam) {
  std::lock_guard lock(m_mutex);
  m_notes.push_back({message, wparam, lparam, m_model_name});
  return 0;
}

std::vector<RecordingWindow::Note> RecordingWindow::Notes() const {
  std::lock_guard lock(m_mutex);
  return m_notes;
}

std::vector<platform::MessageId> RecordingWindow::Ids() const {
  std::lock_guard lock(m_mutex);
  std::vector<platform::MessageId> ids;
  for (const Note& note : m_notes) {
    ids.push_back(note.id);
  }
  return ids;
}

size_t RecordingWindow::Count() const {
  std::lock_guard lock(m_mutex);
  return m_notes.size();
}

size_t RecordingWindow::Count(platform::MessageId id) const {
  std::lock_guard lock(m_mutex);
  return static_cast<size_t>(
      std::count_if(m_notes.begin(), m_notes.end(), [id](const Note& n) { return n.id == id; }));
}

size_t RecordingWindow::Endings() const {
  std::lock_guard lock(m_mutex);
  return static_cast<size_t>(std::count_if(m_notes.begin(), m_notes.end(), [](const Note& n) {
    const NotificationInfo* info = FindNotification(n.id);
    return info != nullptr && EndsLoad(*info);
  }));
}

void RecordingWindow::LoadPayload(const std::string& model, const Bytes& payload) {
  m_model_name = model;
  m_data.RemoveAll();
  m_data.Append(payload.data(), static_cast<int32_t>(payload.size()));
}

platform::Window* RecordingWindow::ProgressWindow() {
  if (m_progress_hook) {
    m_progress_hook();
  }
  return &m_progress;
}

Downloader::TransportFactory ScriptedLine::Factory(const std::shared_ptr<ScriptedLine>& line) {
  return [line](transport::ReceiveSink* owner) {
    return std::make_unique<ScriptedTransport>(owner, line);
  };
}

void ScriptedLine::Violation(std::string what) {
  m_violations.push_back(std::move(what));
}

void ScriptedLine::Push(const Bytes& bytes) {
  std::lock_guard lock(m_mutex);
  m_incoming.insert(m_incoming.end(), bytes.begin(), bytes.end());
}

bool ScriptedLine::Deliver(const Bytes& bytes) {
  transport::ReceiveSink* owner;
  size_t before;
  {
    std::lock_guard lock(m_mutex);
    if (m_closing || m_owner == nullptr) {
      return false;
    }
    m_incoming.insert(m_incoming.end(), bytes.begin(), bytes.end());
    ++m_delivering;
    owner = m_owner;
    before = m_incoming.size();
  }
  for (;;) {
    owner->OnDataReceived();
    std::lock_guard lock(m_mutex);
    // An owner that stops taking bytes would keep a real line spinning; here it is a fault.
    if (m_incoming.size() >= before && !m_incoming.empty()) {
      Violation("OnDataReceived took none of the pending bytes");
    }
    if (m_incoming.empty() || m_closing || m_incoming.size() >= before) {
      break;
    }
    before = m_incoming.size();
  }
  {
    std::lock_guard lock(m_mutex);
    --m_delivering;
  }
  m_changed.notify_all();
  return true;
}

std::vector<Bytes> ScriptedLine::Writes() const {
  std::lock_guard lock(m_mutex);
  return m_writes;
}

size_t ScriptedLine::WriteCount() const {
  std::lock_guard lock(m_mutex);
  return m_writes.size();
}

bool ScriptedLine::WaitForWrites(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(m_mutex);
  m_changed.wait_for(lock, timeout, [&] { return m_writes.size() >= count || m_closing; });
  return m_writes.size() >= count;
}

size_t ScriptedLine::Pending() const {
  std::lock_guard lock(m_mutex);
  return m_incoming.size();
}

size_t ScriptedLine::LateWrites() const {
  std::lock_guard lock(m_mutex);
  return m_late_writes;
}

int ScriptedLine::OpenCalls() const {
  std::lock_guard lock(m_mutex);
  return m_open_calls;
}

int ScriptedLine::CloseCalls() const {
  std::lock_guard lock(m_mutex);
  return m_close_calls;
}

bool ScriptedLine::TransportDestroyed() const {
  std::lock_guard lock(m_mutex);
  return m_destroyed;
}

std::vector<std::string> ScriptedLine::Violations() const {
  std::lock_guard lock(m_mutex);
  return m_violations;
}

void ScriptedLine::Attach(transport::ReceiveSink* owner) {
  std::lock_guard lock(m_mutex);
  if (m_owner != nullptr || m_destroyed) {
    Violation("a second transport on one line");
  }
  m_owner = owner;
}

bool ScriptedLine::IsOpen() const {
  std::lock_guard lock(m_mutex);
  return m_open && !m_closing;
}

bool ScriptedLine::Open() {
  std::lock_guard lock(m_mutex);
  if (++m_open_calls > 1) {
    Violation("OpenConnection called again");
  }
  if (m_options.open_fails) {
    return false;
  }
  m_open = true;
  return true;
}

bool ScriptedLine::Close() {
  std::unique_lock lock(m_mutex);
  if (++m_close_calls > 1) {
    Violation("CloseConnection called again");
  }
  const bool was_open = m_open && !m_closing;
  m_closing = true;
  m_changed.notify_all();
  // Like a real transport: once this returns, no OnDataReceived runs or will run.
  m_changed.wait(lock, [this] { return m_delivering == 0; });
  return was_open;
}

bool ScriptedLine::Write(const uint8_t* data, int32_t length) {
  std::lock_guard lock(m_mutex);
  if (m_destroyed) {
    Violation("Write after the transport was destroyed");
    return false;
  }
  if (m_closing) {
    ++m_late_writes;  // the delivery thread finishing its batch while the line closes
    return false;
  }
  if (!m_open) {
    Violation("Write on a line that was never opened");
    return false;
  }
  if (length <= 0) {
    Violation("Write of " + std::to_string(length) + " bytes");
    return false;
  }
  m_writes.emplace_back(data, data + length);
  m_changed.notify_all();
  if (m_writes.size() == m_options.failing_write) {
    m_lost = m_options.failure_loses;
    return false;
  }
  return !m_lost;
}

bool ScriptedLine::AwaitSent() const {
  std::lock_guard lock(m_mutex);
  return !m_lost && !m_options.last_unsent;
}

bool ScriptedLine::Lost() const {
  std::lock_guard lock(m_mutex);
  return m_lost;
}

void ScriptedLine::Lose() {
  transport::ReceiveSink* owner;
  {
    std::lock_guard lock(m_mutex);
    m_lost = true;
    owner = m_closing ? nullptr : m_owner;
  }
  if (owner != nullptr) {
    owner->OnConnectionLost();
  }
}

int32_t ScriptedLine::Read(uint8_t* buffer, int32_t capacity) {
  std::lock_guard lock(m_mutex);
  if (m_destroyed) {
    Violation("Read after the transport was destroyed");
    return 0;
  }
  const size_t count = std::min(m_incoming.size(), static_cast<size_t>(std::max(capacity, 0)));
  std::copy_n(m_incoming.begin(), count, buffer);
  m_incoming.erase(m_incoming.begin(), m_incoming.begin() + static_cast<ptrdiff_t>(count));
  return static_cast<int32_t>(count);
}

void ScriptedLine::Detach() {
  std::lock_guard lock(m_mutex);
  if (m_open && m_close_calls == 0) {
    Violation("transport destroyed while open");
  }
  m_destroyed = true;
  m_closing = true;
  m_changed.notify_all();
}

ScriptedTransport::ScriptedTransport(transport::ReceiveSink* owner,
                                     std::shared_ptr<ScriptedLine> line)
    : m_line(std::move(line)) {
  m_line->Attach(owner);
}

ScriptedTransport::~ScriptedTransport() {
  m_line->Detach();
}

}  // namespace velmar::engine::testing
