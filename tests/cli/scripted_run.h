#pragma once
// A run's events as the loader would publish them, at fixed times, and streams to catch what an
// output writes.

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/load_event.h"
#include "texts/string_table.h"

namespace velmar::cli {

// Two printers into one program file: the first loads in 320 ms; the second, behind a long
// port name, times out, is tried again, names a long model of its own and fails. The file's
// name holds characters JSON escapes; the model is in code page 1251 ("ВЕЛ-2000").
inline std::vector<LoadEvent> TwoPrinterRun() {
  const auto t0 = std::chrono::system_clock::time_point{} + std::chrono::seconds(1796724902);
  const std::string file_model = "\xc2\xc5\xcb-2000";
  std::vector<LoadEvent> events;
  events.reserve(32);  // the references below stay valid
  auto add = [&](EventKind kind, int ms, int printer) -> LoadEvent& {
    LoadEvent& e = events.emplace_back();
    e.kind = kind;
    e.time = t0 + std::chrono::milliseconds(ms);
    e.printer = printer;
    e.port = printer == 0   ? "/dev/ttyUSB0"
             : printer == 1 ? "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"
                            : "";
    return e;
  };
  LoadEvent& start = add(EventKind::kRunStart, 0, -1);
  start.file = "dir/\"odd\"\\name\t\x01.bin";
  start.model = file_model;
  start.size = 65536;
  start.sha256 = std::string(64, 'a');
  start.printers = 2;
  add(EventKind::kPrinterStart, 10, 0);
  add(EventKind::kPrinterStart, 10, 1);
  add(EventKind::kIdentified, 30, 0).model = file_model;
  add(EventKind::kProgress, 40, 1).bytes = 8192;
  for (int i = 1; i <= 16; ++i) {
    LoadEvent& p = add(EventKind::kProgress, 20 + 20 * i, 0);
    p.bytes = 4096 * i;
    p.line_bytes = 4400 * i;
  }
  for (LoadEvent& e : events) {
    e.total = e.kind == EventKind::kProgress ? 65536 : 0;
  }
  LoadEvent& loaded = add(EventKind::kPrinterEnd, 340, 0);
  loaded.loaded = true;
  loaded.key = "loaded";
  loaded.text = texts::LoadText(texts::IDS_PROGRAM_DONE);
  loaded.elapsed = 0.33;
  loaded.attempts = 1;
  LoadEvent& retry = add(EventKind::kRetry, 5000, 1);
  retry.attempt = 2;
  retry.reason = "timeout";
  const std::string long_model = "VELMAR-FP-2000-WITH-A-VERY-LONG-MODEL-NAME-INDEED";
  add(EventKind::kIdentified, 5100, 1).model = long_model;
  LoadEvent& failed = add(EventKind::kPrinterEnd, 5200, 1);
  failed.status = 12;
  failed.key = "model_mismatch";
  failed.text = texts::FormatText(texts::IDS_MODEL_MISMATCH, long_model);
  failed.elapsed = 5.19;
  failed.attempts = 2;
  LoadEvent& end = add(EventKind::kRunEnd, 5210, -1);
  end.printers = 2;
  end.loaded_count = 1;
  end.failed_count = 1;
  end.status = 6;
  end.elapsed = 5.21;
  return events;
}

// A temporary file standing for a stream, read back whole.
class CapturedStream {
 public:
  CapturedStream() : m_file(std::tmpfile()) {}
  ~CapturedStream() { std::fclose(m_file); }
  CapturedStream(const CapturedStream&) = delete;
  CapturedStream& operator=(const CapturedStream&) = delete;
  std::FILE* get() const { return m_file; }
  std::string Text() const {
    std::fflush(m_file);
    std::rewind(m_file);
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0;) {
      text.append(buffer, n);
    }
    return text;
  }

 private:
  std::FILE* m_file;
};

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0, next; at < text.size(); at = next + 1) {
    next = text.find('\n', at);
    if (next == std::string::npos) {
      next = text.size();
    }
    lines.push_back(text.substr(at, next - at));
  }
  return lines;
}

}  // namespace velmar::cli
