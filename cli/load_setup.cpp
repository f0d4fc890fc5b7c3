#include "cli/load_setup.h"

#include <cstdio>

#include "platform/console_output.h"
#include "settings/baud_rate.h"
#include "settings/profile_store.h"

namespace velmar::cli {

PrinterSettings SettingsFor(const Options& options) {
  PrinterSettings settings;
  settings.retries = options.retries;
  settings.wait = options.wait;
  if (options.baud_rate) {
    settings.baud_rate = *options.baud_rate;
  } else {
    const settings::ProfileStore profile;
    settings.baud_rate = settings::BaudRateValue(profile.GetString(
        settings::kSettingsSection, settings::kBaudRateEntry, settings::kDefaultBaudRate));
  }
  return settings;
}

LoadEvent RunStartEvent(const Options& options, const FileToLoad& file, int printers) {
  LoadEvent event;
  event.kind = EventKind::kRunStart;
  event.file = options.file;
  event.font = file.members->IsFontLoad();
  event.model = file.members->m_model_name;  // a font's printer names its model later
  event.size = file.result.file_size;
  event.sha256 = file.result.sha256;
  event.printers = printers;
  return event;
}

bool OpenRecord(const Options& options, ProductionRecord* record) {
  if (options.record.empty()) {
    return true;
  }
  // Before any load: a station must not load printers it cannot account for.
  std::string why;
  if (record->Open(options.record, &why)) {
    return true;
  }
  platform::WriteText(
      stderr, "velmar-load: cannot write the record " + options.record + " (" + why + ")\n");
  return false;
}

}  // namespace velmar::cli
