#pragma once
// The production record (--record FILE): one JSON object a line for every finished load, for
// a station's books and for tracing a printer back to the load it got.
//
// Principles of operation: the record sits between the loader's serialised events and the
// output the user reads. It keeps what the run and each printer said before their end (the
// file, its size and SHA-256; the USB adapter behind the port, taken from the port listing when
// the printer starts, while it is surely attached; the model the printer named), and on a
// printer's end appends that printer's line, on disk, before passing the end on: a result the
// user has seen is always in the file, and a line in the file is always whole. A line that
// could not be written is said on standard error; the load's own result stands.
//   RecordLine  the line for one finished load, without its line break.

#include <map>
#include <string>
#include <vector>

#include "cli/load_event.h"
#include "platform/append_file.h"
#include "platform/port_listing.h"

namespace velmar::cli {

// What the record knows of one printer when its end comes.
struct RecordedPrinter {
  platform::PortDetails adapter;  // name empty: not known (TCP, or the port is not listed)
  std::string model;              // as the printer named it; empty: it named none
};

struct RecordRun {
  std::string host;
  std::string file;
  int64_t size = 0;
  std::string sha256;
};

std::string RecordLine(const RecordRun& run, const RecordedPrinter& printer, const LoadEvent& end);

class ProductionRecord final : public EventSink {
 public:
  explicit ProductionRecord(EventSink& output) : m_output(output) {}
  // False with the reason in *why when the file cannot be opened for appending.
  bool Open(const std::string& path, std::string* why);
  void Publish(const LoadEvent& event) override;
  void Close() override { m_output.Close(); }

 private:
  EventSink& m_output;
  std::string m_path;
  platform::AppendFile m_file;
  RecordRun m_run;
  std::map<int, RecordedPrinter> m_printers;
  std::vector<platform::PortDetails> m_ports;  // the last listing
};

}  // namespace velmar::cli
