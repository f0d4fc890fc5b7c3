#pragma once
// Many printers at once: one velmar-load run into N emulated printers, each paced at the line
// rate on a pseudo-terminal of its own.
//
// Principles of operation: every printer's own load is timed by the loader (its printer_end
// event in the --json stream) and set against the time its line needed for every byte both ways
// (the emulator's report); the row shows the worst printer. The loader's CPU time and peak
// memory come from getrusage of the child over the whole run; a one-printer row of the same file
// is the base that the memory of many printers is measured against.

namespace velmar::bench {

// Prints the table of the multi-printer rows; false when a load failed or a printer did not
// start. `quick` runs one small row.
bool RunMultiPrinterRows(bool quick);

}  // namespace velmar::bench
