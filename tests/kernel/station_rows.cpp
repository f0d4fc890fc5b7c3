#include "tests/kernel/station_row.h"

namespace velmar::test {

namespace {

using Act = StationAct;
constexpr int kKilled = 137;
constexpr int kPortLost = 21;
constexpr int kMismatch = 12;

}  // namespace

// name, station's patterns, rate, file, steps {act, adapter, record lines, model, loads, serial,
// block}, record lines {adapter, serial, key, status}, station's exit status
const std::vector<StationRow>& StationRows() {
  // clang-format off
  static const std::vector<StationRow> rows = {
      // The bench: each printer on a new adapter at the same node, one of another model.
      {"StationLoadsEachNewAdapter", {"/dev/ttyUSB0"}, 115200, "short/sample.bin",
       {{Act::kPrinter, 0}, {Act::kStation, 0, 1},
        {Act::kNewAdapter, 0, 2, "OTHER", 1, "SN2"},
        {Act::kNewAdapter, 0, 3, "TEST", 1, "SN3"}},
       {{0, "SN1", "loaded", 0}, {0, "SN2", "model_mismatch", kMismatch},
        {0, "SN3", "loaded", 0}}},
      // A printer left attached while the other slot loads one: woken again only by "next".
      {"StationWakesAStayingPrinterOnlyOnNext",
       {"/dev/ttyUSB0", "/dev/ttyUSB1"}, 115200, "short/sample.bin",
       {{Act::kPrinter, 0, 0, "TEST", 2}, {Act::kStation, 0, 1}, {Act::kPrinter, 1, 2},
        {Act::kNext, 0, 3}},
       {{0, "SN1", "loaded", 0}, {1, "SN7", "loaded", 0}, {0, "SN1", "loaded", 0}}},
      // Every USB serial port a slot; one pulled mid-load, the other's load goes on.
      {"StationSlotLostMidLoadLeavesTheOther", {}, 9600, "six/sample.bin",
       {{Act::kPrinter, 0}, {Act::kPrinter, 1}, {Act::kStation},
        {Act::kUnplug, 0, 2, "TEST", 1, nullptr, 2}},
       {{0, "SN1", "port_lost", kPortLost}, {1, "SN7", "loaded", 0}}},
      // Killed mid-load: the lines written before are whole.
      {"StationKilledMidLoadKeepsWholeLines",
       {"/dev/ttyUSB0", "/dev/ttyUSB1"}, 115200, "long/sample.bin",
       {{Act::kPrinter, 1}, {Act::kStation, 0, 1}, {Act::kPrinter, 0},
        {Act::kKill, 0, 0, "TEST", 1, nullptr, 8}},
       {{1, "SN7", "loaded", 0}}, kKilled},
  };
  // clang-format on
  return rows;
}

}  // namespace velmar::test
