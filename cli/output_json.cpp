#include "cli/output_json.h"

#include "cli/port_lines.h"
#include "platform/console_output.h"
#include "texts/text_encoding.h"

namespace velmar::cli {

std::string JsonQuoted(std::string_view raw) {
  const std::string text = texts::DisplayName(raw);
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

JsonFields& JsonFields::Raw(const char* name, const std::string& value) {
  m_line += ",\"";
  m_line += name;
  m_line += "\":";
  m_line += value;
  return *this;
}

JsonFields& JsonFields::Seconds(const char* name, double value) {
  char figure[32];
  std::snprintf(figure, sizeof figure, "%.3f", value);
  return Raw(name, figure);
}

namespace {

const char* EventName(EventKind kind) {
  switch (kind) {
    case EventKind::kRunStart:
      return "run_start";
    case EventKind::kPrinterStart:
      return "printer_start";
    case EventKind::kIdentified:
      return "identified";
    case EventKind::kProgress:
      return "progress";
    case EventKind::kRetry:
      return "retry";
    case EventKind::kPrinterEnd:
      return "printer_end";
    case EventKind::kRunEnd:
      return "run_end";
    case EventKind::kPortAppeared:
      return "port_appeared";
    case EventKind::kPortGone:
      return "port_gone";
    case EventKind::kRearmed:
      return "rearmed";
  }
  return "unknown";
}

}  // namespace

std::string UtcStamp(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto millis = floor<milliseconds>(time);
  const auto day = floor<days>(millis);
  const year_month_day date{day};
  const hh_mm_ss clock{millis - day};
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int{date.year()},
                unsigned{date.month()}, unsigned{date.day()},
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()),
                static_cast<int>(clock.subseconds().count()));
  return stamp;
}

std::string JsonLine(const LoadEvent& e) {
  JsonFields fields;
  fields.Text("ts", UtcStamp(e.time)).Text("event", EventName(e.kind));
  switch (e.kind) {
    case EventKind::kRunStart:
      fields.Text("file", e.file)
          .Text("kind", e.font ? "font" : "program")
          .Text("model", e.model)
          .Number("size", e.size)
          .Text("sha256", e.sha256)
          .Number("printers", e.printers);
      break;
    case EventKind::kPrinterStart:
      fields.Text("port", e.port);
      if (const std::string warning = LatencyWarning(e.adapter); !warning.empty()) {
        fields.Text("latency_warning", warning);
      }
      break;
    case EventKind::kIdentified:
      fields.Text("port", e.port).Text("model", e.model);
      break;
    case EventKind::kProgress:
      fields.Text("port", e.port).Number("bytes", e.bytes).Number("total", e.total);
      break;
    case EventKind::kRetry:
      fields.Text("port", e.port).Number("attempt", e.attempt).Text("reason", e.reason);
      break;
    case EventKind::kPrinterEnd:
      fields.Text("port", e.port)
          .Text("result", e.loaded ? "loaded" : "failed")
          .Number("status", e.status)
          .Text("key", e.key)
          .Text("text", e.text)
          .Seconds("elapsed", e.elapsed)
          .Number("attempts", e.attempts);
      break;
    case EventKind::kRunEnd:
      fields.Number("printers", e.printers)
          .Number("loaded", e.loaded_count)
          .Number("failed", e.failed_count)
          .Number("status", e.status)
          .Seconds("elapsed", e.elapsed);
      break;
    case EventKind::kPortAppeared:
      fields.Text("port", e.port)
          .TextOrNull("by_id", e.adapter.by_id)
          .TextOrNull("description", e.adapter.description)
          .TextOrNull("vendor_id", platform::UsbId(e.adapter.vendor_id))
          .TextOrNull("product_id", platform::UsbId(e.adapter.product_id))
          .TextOrNull("serial_number", e.adapter.serial_number)
          .TextOrNull("latency_warning", LatencyWarning(e.adapter));
      break;
    case EventKind::kPortGone:
    case EventKind::kRearmed:
      fields.Text("port", e.port);
      break;
  }
  return "{\"v\":" + std::to_string(kJsonSchemaVersion) + fields.Take() + "}";
}

JsonOutput::JsonOutput(std::FILE* out, std::FILE* err, bool several, bool colour)
    : m_out(out), m_err(err), m_several(several), m_summary(colour) {}

void JsonOutput::Publish(const LoadEvent& event) {
  platform::WriteText(m_out, JsonLine(event) + "\n");
  std::fflush(m_out);
  m_states.Apply(event);
  if (!m_several && event.kind == EventKind::kPrinterEnd && !event.text.empty()) {
    platform::WriteText(m_err, event.text + "\n");
    std::fflush(m_err);
  } else if (m_several && event.kind == EventKind::kRunEnd) {
    m_summary.Write(m_err, m_states, &event);
  }
}

void JsonOutput::Close() {
  if (m_several) {
    m_summary.Write(m_err, m_states, nullptr);
  }
}

}  // namespace velmar::cli
