#pragma once
// Stand-ins for the window and the printer line a run talks to.
//
// RecordingWindow is a LoadWindow that keeps every notification it handles and owns a progress
// window counting PBM_STEPIT. ScriptedLine is the test's end of the wire: it holds the bytes the
// printer "sends", records every frame the run writes, and outlives the ScriptedTransport that
// the run owns, so that a delivering thread can keep using it after the run is gone.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "datafile/load_window.h"
#include "engine/downloader.h"
#include "platform/window_message.h"
#include "transport/transport.h"

namespace velmar::engine::testing {

using Bytes = std::vector<uint8_t>;

// "1E 72 53 01 05"; frames joined with " | ".
std::string Hex(const Bytes& bytes);
std::string Hex(const std::vector<Bytes>& frames);
Bytes Concat(std::initializer_list<Bytes> parts);
Bytes BytesOf(const std::string& text);

class ProgressCounter : public platform::Window {
 public:
  explicit ProgressCounter(platform::MessageQueue& queue) : platform::Window(queue) {}
  platform::LResult HandleMessage(platform::MessageId message, platform::WParam,
                                  platform::LParam) override;
  int Steps() const { return m_steps.load(); }
  int Others() const { return m_others.load(); }

 private:
  std::atomic<int> m_steps{0};
  std::atomic<int> m_others{0};
};

class RecordingWindow : public datafile::LoadWindow {
 public:
  struct Note {
    platform::MessageId id;
    platform::WParam wparam;
    platform::LParam lparam;
    std::string model_name;  // m_model_name as the handler saw it
  };

  explicit RecordingWindow(platform::MessageQueue& queue);

  platform::LResult HandleMessage(platform::MessageId message, platform::WParam wparam,
                                  platform::LParam lparam) override;

  std::vector<Note> Notes() const;
  std::vector<platform::MessageId> Ids() const;
  size_t Count() const;
  size_t Count(platform::MessageId id) const;
  // Notifications that end a load.
  size_t Endings() const;
  int Steps() const { return m_progress.Steps(); }

  // Runs on whichever thread takes a block, just before it steps the progress window.
  void SetProgressHook(std::function<void()> hook) { m_progress_hook = std::move(hook); }

  void LoadPayload(const std::string& model, const Bytes& payload);

 protected:
  platform::Window* ProgressWindow() override;

 private:
  ProgressCounter m_progress;
  std::function<void()> m_progress_hook;
  mutable std::mutex m_mutex;
  std::vector<Note> m_notes;
};

class ScriptedLine {
 public:
  struct Options {
    bool open_fails = false;
    size_t failing_write = 0;    // the write (from 1) that fails; 0: none
    bool failure_loses = false;  // ... as a line that has gone, not one that took nothing
    bool last_unsent = false;    // AwaitSent: what was written did not leave
  };

  ScriptedLine() = default;
  explicit ScriptedLine(Options options) : m_options(options) {}

  // A factory for Downloader(window, factory): every run made with it talks over this line.
  static Downloader::TransportFactory Factory(const std::shared_ptr<ScriptedLine>& line);

  // Test side.
  void Push(const Bytes& bytes);
  // As a transport's delivery thread does: queues the bytes and calls the owner's
  // OnDataReceived until they are taken. False, doing nothing, once the line is closing.
  bool Deliver(const Bytes& bytes);
  std::vector<Bytes> Writes() const;
  size_t WriteCount() const;
  // Waits until `count` frames were written or the line closes; true when they were.
  bool WaitForWrites(size_t count, std::chrono::milliseconds timeout) const;
  size_t Pending() const;
  size_t LateWrites() const;
  // As a transport's delivery thread does when the line hangs up: the owner is told.
  void Lose();
  int OpenCalls() const;
  int CloseCalls() const;
  bool TransportDestroyed() const;
  // Breaches of the transport's calling order, in words.
  std::vector<std::string> Violations() const;

  // Transport side.
  void Attach(transport::ReceiveSink* owner);
  bool IsOpen() const;
  bool Open();
  bool Close();
  bool Write(const uint8_t* data, int32_t length);
  int32_t Read(uint8_t* buffer, int32_t capacity);
  bool AwaitSent() const;
  bool Lost() const;
  void Detach();

 private:
  void Violation(std::string what);  // m_mutex held

  const Options m_options{};
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  transport::ReceiveSink* m_owner = nullptr;
  std::deque<uint8_t> m_incoming;
  std::vector<Bytes> m_writes;
  std::vector<std::string> m_violations;
  size_t m_late_writes = 0;
  int m_open_calls = 0;
  int m_close_calls = 0;
  int m_delivering = 0;
  bool m_open = false;
  bool m_closing = false;
  bool m_destroyed = false;
  bool m_lost = false;
};

class ScriptedTransport : public transport::Transport {
 public:
  ScriptedTransport(transport::ReceiveSink* owner, std::shared_ptr<ScriptedLine> line);
  ~ScriptedTransport() override;

  bool IsOpen() const override { return m_line->IsOpen(); }
  bool OpenConnection() override { return m_line->Open(); }
  bool CloseConnection() override { return m_line->Close(); }
  bool Write(const uint8_t* data, int32_t length) override { return m_line->Write(data, length); }
  int32_t Read(uint8_t* buffer, int32_t capacity) override {
    return m_line->Read(buffer, capacity);
  }
  bool AwaitSent() override { return m_line->AwaitSent(); }
  bool ConnectionLost() const override { return m_line->Lost(); }

 private:
  std::shared_ptr<ScriptedLine> m_line;
};

}  // namespace velmar::engine::testing
