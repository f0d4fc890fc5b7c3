#include "cli/printer_load.h"

#include <cmath>
#include <memory>

#include "cli/printer_window.h"
#include "cli/traced_transport.h"
#include "engine/downloader.h"
#include "engine/load_notification.h"
#include "texts/open_failure_text.h"
#include "texts/string_table.h"
#include "texts/text_encoding.h"
#include "transport/socket_transport.h"
#include "transport/transport_factory.h"

namespace velmar::cli {

namespace {

// Any connection type but the serial one selects the network transport.
constexpr const char* kTcpConnectionType = "TCP";
constexpr const char* kPortUnavailableKey = "port_unavailable";
constexpr const char* kInterruptedKey = "interrupted";

// Another attempt could end otherwise: the line or the printer may behave the next time.
bool IsRetryable(platform::MessageId outcome) {
  return outcome != engine::LN_MODEL_UNSUPPORTED && outcome != engine::LN_MODEL_MISMATCH &&
         outcome != engine::LN_NO_DATA;
}

}  // namespace

PrinterLoad::PrinterLoad(int index, Target target, const FileToLoad& file, PrinterSettings settings,
                         EventSink& events)
    : m_index(index),
      m_target(std::move(target)),
      m_file(file),
      m_settings(settings),
      m_events(events) {}

PrinterLoad::~PrinterLoad() {
  Stop(0);
  Join();
}

void PrinterLoad::Start() {
  m_start = std::chrono::steady_clock::now();
  m_thread = std::thread(&PrinterLoad::Run, this);
}

void PrinterLoad::Stop(int status) {
  std::lock_guard lock(m_stop_lock);
  if (m_stop_event.IsSet()) {
    return;
  }
  m_stop_status = status;
  m_stop_event.Set();
  if (m_queue != nullptr) {
    m_queue->Quit();
  }
}

void PrinterLoad::PortGone() {
  Stop(kExitPortLost);
}

void PrinterLoad::Join() {
  if (m_thread.joinable()) {
    m_thread.join();
  }
}

LoadEvent PrinterLoad::Event(EventKind kind) const {
  LoadEvent event;
  event.kind = kind;
  event.printer = m_index;
  event.port = m_target.Name();
  return event;
}

void PrinterLoad::Announce() {
  if (!m_announced) {
    m_announced = true;
    LoadEvent start = Event(EventKind::kPrinterStart);
    start.adapter = m_settings.adapter;
    m_events.Publish(start);
  }
}

void PrinterLoad::End(bool loaded, int status, const char* key, std::string text) {
  Announce();
  m_loaded = loaded;
  m_status = status;
  LoadEvent end = Event(EventKind::kPrinterEnd);
  end.loaded = loaded;
  end.status = status;
  end.key = key;
  end.text = std::move(text);
  end.elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
  end.attempts = m_attempts;
  m_events.Publish(end);
}

void PrinterLoad::Run() {
  platform::MessageQueue queue;
  {
    std::lock_guard lock(m_stop_lock);
    m_queue = &queue;
  }
  if (!Attempts(queue)) {
    int status = 0;
    {
      std::lock_guard lock(m_stop_lock);
      status = m_stop_status;
    }
    if (status == kExitPortLost) {
      const engine::NotificationInfo* lost = engine::FindNotification(engine::LN_PORT_LOST);
      End(false, status, lost->key,
          texts::FormatText(lost->text_id, texts::DisplayName(m_file.members->m_model_name)));
    } else {
      End(false, status, kInterruptedKey,
          "stopped by signal " + std::to_string(status - 128) + "; the port is closed");
    }
  }
  std::lock_guard lock(m_stop_lock);
  m_queue = nullptr;
}

std::unique_ptr<engine::Downloader> PrinterLoad::MakeRun(datafile::LoadWindow& window,
                                                         TracedTransport** traced) const {
  return std::make_unique<engine::Downloader>(&window, [&](transport::ReceiveSink* owner) {
    auto wrapped = std::make_unique<TracedTransport>(
        m_target.com_port ? std::make_unique<transport::SocketTransport>(
                                owner, m_target.host, m_target.tcp_port, m_settings.baud_rate)
        : m_target.IsTcp() ? transport::MakeTransport(owner, kTcpConnectionType, m_target.host,
                                                      m_target.tcp_port, "", 0)
                           : transport::MakeTransport(owner, transport::kSerialConnectionType, "",
                                                      0, m_target.port, m_settings.baud_rate),
        m_settings.trace);
    *traced = wrapped.get();
    return wrapped;
  });
}

bool PrinterLoad::Attempts(platform::MessageQueue& queue) {
  const auto deadline = m_start + m_settings.wait;
  const int64_t total = m_file.result.payload_length;
  TracedTransport* traced = nullptr;
  std::chrono::steady_clock::time_point last_progress;
  PrinterWindow* shown = nullptr;
  auto publish_progress = [&](int64_t bytes, int64_t line_bytes) {
    LoadEvent progress = Event(EventKind::kProgress);
    progress.bytes = bytes;
    progress.total = total;
    progress.line_bytes = line_bytes;
    m_events.Publish(progress);
  };
  PrinterWindow window(
      queue,
      {.on_step =
           [&] {
             const auto now = std::chrono::steady_clock::now();
             if (shown == nullptr || traced == nullptr || now - last_progress < kProgressInterval) {
               return;  // the block's sender waits for this: keep it short
             }
             last_progress = now;
             publish_progress(std::llround(shown->Fraction() * double(total)),
                              traced->BytesSent() + traced->BytesReceived());
           },
       .on_status =
           [&] {
             LoadEvent identified = Event(EventKind::kIdentified);
             identified.model = shown->m_model_name;
             m_events.Publish(identified);
           }});
  shown = &window;

  int32_t retries_left = m_settings.retries;
  // Waits for the next try of a port or printer not there yet; false once waiting is over.
  auto wait_again = [&] {
    return std::chrono::steady_clock::now() + m_settings.wait_poll < deadline &&
           !m_stop_event.WaitFor(m_settings.wait_poll);
  };
  for (;;) {
    if (Stopped()) {
      return false;
    }
    window.Prepare(*m_file.members, m_file.result);
    std::unique_ptr<engine::Downloader> run = MakeRun(window, &traced);
    if (!run->m_transport->IsOpen()) {
      std::string why = texts::OpenFailureText(run->m_transport->LastOpenFailure());
      traced = nullptr;
      run.reset();
      if (wait_again()) {
        continue;
      }
      if (Stopped()) {
        return false;
      }
      End(false, kExitPortUnavailable, kPortUnavailableKey, std::move(why));
      return true;
    }
    Announce();  // once a port has opened: one that never does shows only why
    ++m_attempts;
    last_progress = {};
    if (window.IsFontLoad()) {
      run->StartFontLoad();
    } else {
      run->StartProgramLoad();
    }
    queue.Run();  // until the notification that ends the attempt, or Stop
    const bool silent = traced->BytesReceived() == 0;
    const int64_t line_bytes = traced->BytesSent() + traced->BytesReceived();
    if (window.Outcome() == engine::LN_MODEL_MISMATCH) {
      // A printer of another model names its own, which the file's failure text does not.
      LoadEvent identified = Event(EventKind::kIdentified);
      identified.model = run->m_reported_model;
      m_events.Publish(identified);
    }
    traced = nullptr;
    run.reset();  // closes the port properly, also when Stop cut the attempt short
    const std::optional<platform::MessageId> outcome = window.Outcome();
    if (Stopped() || !outcome) {
      return false;
    }
    const engine::NotificationInfo* info = engine::FindNotification(*outcome);
    if (*outcome == engine::LN_DONE) {
      publish_progress(total, line_bytes);
      End(true, kExitSuccess, info->key,
          std::string(texts::LoadText(window.IsFontLoad() ? info->font_text_id : info->text_id)));
      return true;
    }
    const bool like_timeout = *outcome == engine::LN_TIMEOUT || *outcome == engine::LN_PORT_LOST;
    if (like_timeout && silent) {
      --m_attempts;  // a printer not there yet: waiting for it is no attempt
      if (wait_again()) {
        continue;
      }
      ++m_attempts;
    }
    if (Stopped()) {
      return false;  // stopped while waiting for a silent printer
    }
    if (IsRetryable(*outcome) && retries_left > 0) {
      --retries_left;
      LoadEvent retry = Event(EventKind::kRetry);
      retry.attempt = m_attempts + 1;
      retry.reason = info->key;
      m_events.Publish(retry);
      continue;
    }
    End(false, FailureStatus(*outcome), info->key,
        texts::FormatText(info->text_id, texts::DisplayName(window.m_model_name)));
    return true;
  }
  return false;
}

}  // namespace velmar::cli
