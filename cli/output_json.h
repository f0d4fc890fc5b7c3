#pragma once
// The JSON stream: one object a line, for scripts (the schema is docs/json-events.md).
//
// Principles of operation: each event becomes one line, written and flushed at once, so that a
// script reading the pipe sees it live. Every object starts with "v" (the schema's version),
// "ts" (the event's time, UTC, milliseconds) and "event", then the event's own fields in a
// fixed order. Strings are shown as the human outputs show them (texts::DisplayName: a name in
// code page 1251 is decoded), so the stream is always UTF-8; quotes, backslashes and control
// characters are escaped. The human side goes to `err`: the summary of several printers, or one
// printer's end text.
//   JsonLine    the event's line, without its line break.
//   JsonQuoted  a JSON string as the stream writes one.
//   UtcStamp    2026-12-08T10:15:02.123Z

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/load_event.h"
#include "cli/output_summary.h"

namespace velmar::cli {

inline constexpr int kJsonSchemaVersion = 1;

std::string JsonLine(const LoadEvent& event);
// A JSON string of `raw` as the stream shows it, quotes included.
std::string JsonQuoted(std::string_view raw);
std::string UtcStamp(std::chrono::system_clock::time_point time);

// An object's fields after its first, each as ,"name":value; Text null for an empty one when
// asked so.
class JsonFields {
 public:
  JsonFields& Text(const char* name, std::string_view value) {
    return Raw(name, JsonQuoted(value));
  }
  JsonFields& TextOrNull(const char* name, std::string_view value) {
    return Raw(name, value.empty() ? "null" : JsonQuoted(value));
  }
  JsonFields& Number(const char* name, int64_t value) { return Raw(name, std::to_string(value)); }
  JsonFields& Seconds(const char* name, double value);
  JsonFields& Raw(const char* name, const std::string& value);
  std::string Take() { return std::move(m_line); }

 private:
  std::string m_line;
};

class JsonOutput : public EventSink {
 public:
  // `colour`: the human summary on `err` coloured; the JSON lines never are.
  JsonOutput(std::FILE* out, std::FILE* err, bool several, bool colour);
  void Publish(const LoadEvent& event) override;
  void Close() override;

 private:
  std::FILE* m_out;
  std::FILE* m_err;
  bool m_several;
  PrinterStates m_states;
  Summary m_summary;
};

}  // namespace velmar::cli
