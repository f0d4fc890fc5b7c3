#pragma once
// What a load of one file and a station share before their first printer: the settings every
// printer runs with, the run's first event, and the production record opened.
//   SettingsFor    the rate (given, else the window's saved one), retries and wait.
//   RunStartEvent  the run's kRunStart for the file read.
//   OpenRecord     opens --record's file when one is given; false, with the reason said on
//                  standard error, when it cannot be written: nothing may be loaded then.

#include "cli/load_event.h"
#include "cli/options.h"
#include "cli/printer_load.h"
#include "cli/production_record.h"

namespace velmar::cli {

PrinterSettings SettingsFor(const Options& options);
LoadEvent RunStartEvent(const Options& options, const FileToLoad& file, int printers);
bool OpenRecord(const Options& options, ProductionRecord* record);

}  // namespace velmar::cli
