#include "cli/load_command.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "cli/console_window.h"
#include "cli/traced_transport.h"
#include "datafile/data_file.h"
#include "engine/downloader.h"
#include "engine/load_notification.h"
#include "platform/console_output.h"
#include "platform/serial_line.h"
#include "platform/termination_signal.h"
#include "settings/baud_rate.h"
#include "settings/profile_store.h"
#include "texts/open_failure_text.h"
#include "texts/string_table.h"
#include "texts/text_encoding.h"
#include "transport/transport_factory.h"

namespace velmar::cli {

namespace {

// Any connection type but the serial one selects the network transport.
constexpr const char* kTcpConnectionType = "TCP";

void PrintText(int text_id, const std::string& model = {}) {
  platform::WriteText(stderr, texts::FormatText(text_id, texts::DisplayName(model)) + "\n");
}

int ReportRefusedFile(const datafile::DataFileResult& file) {
  PrintText(file.text_id);
  return file.outcome == datafile::ReadOutcome::kCannotOpen ? kExitCannotOpenFile : kExitBadFile;
}

}  // namespace

int RunLoad(const Options& options, bool console) {
  platform::MessageQueue queue;
  ConsoleWindow window(queue, console);
  const datafile::DataFileResult file = datafile::ReadDataFile(options.file, window);
  if (file.outcome != datafile::ReadOutcome::kOk) {
    return ReportRefusedFile(file);
  }
  datafile::SetUpProgress(&window.Progress(), file);

  // A load over TCP leaves the serial settings alone; a serial load falls back on the window's.
  const Target target = options.targets.empty() ? Target{} : options.targets.front();
  const bool over_tcp = target.IsTcp();
  std::string port = target.port;
  int32_t baud = 0;
  if (!over_tcp) {
    const settings::ProfileStore profile;
    if (port.empty()) {
      port = profile.GetString(settings::kSettingsSection, settings::kPortEntry,
                               settings::kDefaultPort);
    }
    baud = options.baud_rate.value_or(settings::BaudRateValue(profile.GetString(
        settings::kSettingsSection, settings::kBaudRateEntry, settings::kDefaultBaudRate)));
  }

  // Before the run's threads, so that they leave the two signals to the watch.
  platform::TerminationWatch termination([&queue] { queue.Quit(); });
  TracedTransport* traced = nullptr;
  auto run = std::make_unique<engine::Downloader>(&window, [&](transport::ReceiveSink* owner) {
    auto wrapped = std::make_unique<TracedTransport>(
        transport::MakeTransport(owner,
                                 over_tcp ? kTcpConnectionType : transport::kSerialConnectionType,
                                 target.host, target.tcp_port, port, baud),
        options.trace);
    traced = wrapped.get();
    return wrapped;
  });
  if (!run->m_transport->IsOpen()) {
    const std::string why = texts::OpenFailureText(run->m_transport->LastOpenFailure());
    run.reset();
    platform::WriteText(stderr, why + "\n");
    return kExitPortUnavailable;
  }
  window.Progress().SetByteCounter(
      [traced] { return traced->BytesSent() + traced->BytesReceived(); });
  window.ShowStatus();
  if (window.IsFontLoad()) {
    run->StartFontLoad();
  } else {
    run->StartProgramLoad();
  }
  queue.Run();  // until the notification that ends the load, or a signal
  // The counter reads the run's transport, which goes with the run.
  window.Progress().KeepByteCount();
  traced = nullptr;
  run.reset();  // closes the port properly, also when a signal cut the load short

  if (const int signal_number = termination.Caught(); signal_number != 0) {
    window.Progress().Finish(false);
    std::fprintf(stderr, "velmar-load: stopped by signal %d; the port is closed\n", signal_number);
    return platform::TerminationWatch::ExitStatusFor(signal_number);
  }

  const platform::MessageId outcome = window.Outcome().value_or(engine::LN_TIMEOUT);
  window.Progress().Finish(outcome == engine::LN_DONE);
  const engine::NotificationInfo* info = engine::FindNotification(outcome);
  if (outcome == engine::LN_DONE) {
    platform::WriteText(stdout, std::string(texts::LoadText(window.IsFontLoad() ? info->font_text_id
                                                                                : info->text_id)) +
                                    "\n");
    return kExitSuccess;
  }
  PrintText(info->text_id, window.m_model_name);
  return static_cast<int>(outcome) - kNotificationExitBase;
}

}  // namespace velmar::cli
