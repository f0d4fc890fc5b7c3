#pragma once
// The kernel harness's station rows: one velmar-load --station in the guest a row, loading the
// printers that come and go on the adapters' lines as the row's steps say, its production
// record held against the row's lines once it has ended.
//
// Principles of operation: each step acts (the station started, a printer on a line, an
// adapter swapped for a new one, the operator's "next" on the station's standard input, an
// adapter pulled or the station killed at a printer's mark) and waits until the record has the
// step's lines. The station is then stopped with SIGTERM (unless killed), and
// every record line must be whole JSON with the row's port, USB serial number, FTDI's vendor
// id, the file's SHA-256 (computed here), key and exit status. A printer that served all its
// loads must have ended by itself without complaint, holding the file's image; the others are
// stopped. The adapters are plugged back as the boot had them whatever happened.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmar::test {

enum class StationAct {
  kStation,     // the station starts; printers started before are there when it wakes them
  kPrinter,     // a printer comes on the adapter's line
  kNewAdapter,  // the adapter goes, a printer comes on its line, a new adapter (`serial`) comes
  kNext,        // "next PORT": the adapter's printer has not been woken since its first load
  kUnplug,      // the adapter goes at its printer's mark of block `at_block`
  kKill,        // kill -9 of the station at the adapter's printer's mark of block `at_block`
};

struct StationStep {
  StationAct act;
  size_t adapter = 0;            // of kAdapters
  size_t record_lines = 0;       // the record has as many once the step is done; 0: no wait
  const char* model = "TEST";    // the printer's
  int32_t loads = 1;             // the printer's --loads
  const char* serial = nullptr;  // kNewAdapter's
  int32_t at_block = 0;          // kUnplug's and kKill's
};

struct RecordLine {
  size_t adapter;  // its node is the line's port
  const char* serial;
  const char* key;
  int status;
};

struct StationRow {
  const char* name;
  std::vector<std::string> patterns;  // the station's -p; none: every USB serial port
  int32_t baud;
  const char* file;  // under the samples folder
  std::vector<StationStep> steps;
  std::vector<RecordLine> record;
  int exit_status = 143;  // SIGTERM's, or 137 when a step killed it
};

const std::vector<StationRow>& StationRows();

class KernelGuest;
void RunStationRow(KernelGuest& guest, const StationRow& row);

}  // namespace velmar::test
