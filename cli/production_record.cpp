#include "cli/production_record.h"

#include <cstdio>

#include "cli/output_json.h"
#include "platform/console_output.h"

namespace velmar::cli {

std::string RecordLine(const RecordRun& run, const RecordedPrinter& printer, const LoadEvent& end) {
  const platform::PortDetails& adapter = printer.adapter;
  JsonFields fields;
  fields.Text("host", run.host)
      .Text("port", end.port)
      .TextOrNull("usb_vendor", platform::UsbId(adapter.vendor_id))
      .TextOrNull("usb_product", platform::UsbId(adapter.product_id))
      .TextOrNull("usb_serial", adapter.serial_number)
      .TextOrNull("model", printer.model)
      .Text("file", run.file)
      .Number("size", run.size)
      .Text("sha256", run.sha256)
      .Text("result", end.loaded ? "loaded" : "failed")
      .Text("key", end.key)
      .Number("status", end.status)
      .Text("text", end.text)
      .Seconds("elapsed", end.elapsed)
      .Number("attempts", end.attempts)
      .Text("version", VELMAR_VERSION);
  return "{\"ts\":" + JsonQuoted(UtcStamp(end.time)) + fields.Take() + "}";
}

bool ProductionRecord::Open(const std::string& path, std::string* why) {
  m_path = path;
  m_run.host = platform::HostName();
  return m_file.Open(path, why);
}

void ProductionRecord::Publish(const LoadEvent& event) {
  switch (event.kind) {
    case EventKind::kRunStart:
      m_run.file = event.file;
      m_run.size = event.size;
      m_run.sha256 = event.sha256;
      break;
    case EventKind::kPrinterStart: {
      if (!event.adapter.name.empty()) {
        m_printers[event.printer].adapter = event.adapter;  // the loader listed it already
        break;
      }
      // Listed once for all printers, and again only for a port plugged in since.
      const platform::PortDetails* adapter = platform::FindPort(m_ports, event.port);
      if (adapter == nullptr) {
        m_ports = platform::ListPortDetails();
        adapter = platform::FindPort(m_ports, event.port);
      }
      m_printers[event.printer].adapter = adapter != nullptr ? *adapter : platform::PortDetails{};
      break;
    }
    case EventKind::kIdentified:
      m_printers[event.printer].model = event.model;
      break;
    case EventKind::kPrinterEnd: {
      std::string why;
      if (!m_file.Append(RecordLine(m_run, m_printers[event.printer], event) + "\n", &why)) {
        platform::WriteText(stderr, "velmar-load: " + event.port + ": the record " + m_path +
                                        " was not written (" + why + ")\n");
      }
      m_printers.erase(event.printer);
      break;
    }
    case EventKind::kProgress:
    case EventKind::kRetry:
    case EventKind::kRunEnd:
    case EventKind::kPortAppeared:
    case EventKind::kPortGone:
    case EventKind::kRearmed:
      break;
  }
  m_output.Publish(event);
}

}  // namespace velmar::cli
