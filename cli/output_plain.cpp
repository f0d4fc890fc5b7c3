#include "cli/output_plain.h"

#include "cli/output_text.h"
#include "cli/port_lines.h"
#include "platform/console_output.h"
#include "texts/text_encoding.h"

namespace velmar::cli {

PlainOutput::PlainOutput(std::FILE* out, bool colour) : m_out(out), m_summary(colour) {}

void PlainOutput::Publish(const LoadEvent& event) {
  const PrinterState* printer = m_states.Apply(event);
  if (event.kind == EventKind::kRunEnd) {
    m_summary.Write(m_out, m_states, &event);
    return;
  }
  const std::string line = PlainLine(event, printer);
  if (!line.empty()) {
    platform::WriteText(m_out, line + "\n");
    std::fflush(m_out);
  }
}

void PlainOutput::Close() {
  m_summary.Write(m_out, m_states, nullptr);
}

std::string PlainOutput::PlainLine(const LoadEvent& event, const PrinterState* printer) {
  if (event.kind == EventKind::kRunStart) {
    return std::string(event.font ? words::kFont : words::kProgram) + " " +
           texts::DisplayName(event.file) + ", " + std::string(words::kModel) + " " +
           texts::DisplayName(event.model) + ", " + std::to_string(event.size) + " " +
           std::string(words::kBytes) + ", sha256 " + event.sha256 + ", " +
           std::to_string(event.printers) + " " + std::string(words::kPrinters);
  }
  if (printer == nullptr) {
    return {};
  }
  const auto index = static_cast<size_t>(event.printer);
  if (index >= m_tenths.size()) {
    m_tenths.resize(index + 1, 0);
  }
  std::string what;
  switch (event.kind) {
    case EventKind::kPrinterStart:
      m_tenths[index] = 0;
      // A station's slot starts once its printer has answered.
      what = event.adapter.name.empty() ? words::kWaiting : words::kLoading;
      break;
    case EventKind::kIdentified:
      what = std::string(words::kModel) + " " + printer->model;
      break;
    case EventKind::kProgress: {
      const int tenths = Percent(*printer) / 10;
      if (tenths <= m_tenths[index]) {
        return {};
      }
      m_tenths[index] = tenths;
      what = std::to_string(tenths * 10) + "%";
      break;
    }
    case EventKind::kRetry:
      m_tenths[index] = 0;
      what = StatusWord(*printer) + " (" + event.reason + ")";
      break;
    case EventKind::kPrinterEnd:
      what = StatusWord(*printer) + (printer->text.empty() ? "" : ": " + printer->text);
      break;
    case EventKind::kPortAppeared: {
      const std::string line = PortLine(event.adapter, platform::PortAccess::kAllowed);
      const size_t tab = line.find('\t');
      what = std::string(words::kAppeared) +
             (tab == std::string::npos ? "" : " (" + line.substr(tab + 1) + ")");
      break;
    }
    case EventKind::kPortGone:
      what = words::kGone;
      break;
    case EventKind::kRearmed:
      what = words::kRearmed;
      break;
    default:
      return {};
  }
  return printer->port + ": " + what;
}

}  // namespace velmar::cli
