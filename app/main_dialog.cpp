#include "app/main_dialog.h"

#include <algorithm>
#include <array>

#include "app/file_filter.h"
#include "platform/progress_messages.h"
#include "texts/string_table.h"
#include "transport/transport_factory.h"

namespace velmar::app {

namespace {

// The input controls, in the order in which they are enabled and disabled.
constexpr std::array<ControlId, 5> kInputControls = {kLoadButton, kBrowseButton, kPathEdit,
                                                     kBaudCombo, kPortCombo};

constexpr const char* kDefaultExtension = "bin";
constexpr const char* kInitialFileName = "*.bin";

// Marks an exchange for its duration, so that the change events it raises are ignored.
class ExchangeScope {
 public:
  explicit ExchangeScope(bool& flag) : m_flag(flag), m_was(flag) { m_flag = true; }
  ~ExchangeScope() { m_flag = m_was; }
  ExchangeScope(const ExchangeScope&) = delete;
  ExchangeScope& operator=(const ExchangeScope&) = delete;

 private:
  bool& m_flag;
  bool m_was;
};

}  // namespace

Point IconOrigin(Size client, Size icon) {
  return {(client.width - icon.width + 1) / 2, (client.height - icon.height + 1) / 2};
}

void ShowBox(const std::string& text, platform::BoxIcon icon) {
  platform::ShowMessageBox(text, texts::kCaption, icon);
}

MainDialog::MainDialog(platform::MessageQueue& queue, MainView& view,
                       settings::ProfileStore& profile,
                       std::optional<std::vector<std::string>> port_items)
    : LoadWindow(queue),
      m_view(view),
      m_profile(profile),
      m_baud_items(BaudRateItems()),
      m_port_items(port_items ? std::move(*port_items) : PortItems()),
      m_follow_ports(!port_items) {}

MainDialog::~MainDialog() {
  OnDestroy();
}

bool MainDialog::OnInitDialog(const std::string& initial_path) {
  m_view.SetComboItems(kPortCombo, m_port_items);
  m_view.SetComboItems(kBaudCombo, m_baud_items);
  m_progress = m_view.ProgressWindow();
  DoDataExchange(Exchange::kToControls);
  DeleteRun();

  const std::string about(texts::LoadText(texts::IDS_ABOUT));
  if (!about.empty()) {
    m_view.AppendSystemMenuItem(ABOUT_COMMAND, about);
  }
  // The hidden bar carries a blank text, never a percentage.
  platform::SendMessage(m_progress, platform::PBM_SETSHOWTEXT, 1);
  SetProgressText(kBlankProgressText);

  m_baud_rate = m_profile.GetString(settings::kSettingsSection, settings::kBaudRateEntry,
                                    settings::kDefaultBaudRate);
  m_port =
      m_profile.GetString(settings::kSettingsSection, settings::kPortEntry, settings::kDefaultPort);
  m_path = initial_path;
  DoDataExchange(Exchange::kToControls);

  m_connection_type = transport::kSerialConnectionType;
  const bool serial = m_connection_type == transport::kSerialConnectionType;
  m_view.ShowControl(kBaudCombo, serial);
  m_view.ShowControl(kPortCombo, serial);
  return true;
}

const std::vector<std::string>& MainDialog::ItemsOf(ControlId combo) const {
  return combo == kBaudCombo ? m_baud_items : m_port_items;
}

std::string MainDialog::ReadCombo(ControlId combo) {
  return ItemText(ItemsOf(combo), m_view.ComboSelection(combo));
}

void MainDialog::WriteCombo(ControlId combo, const std::string& text) {
  const int index = FindItemByPrefix(ItemsOf(combo), text);
  if (index != kNoSelection) {
    m_view.SelectComboItem(combo, index);
  }
}

void MainDialog::DoDataExchange(Exchange direction) {
  ExchangeScope scope(m_exchanging);
  if (direction == Exchange::kFromControls) {
    m_path = m_view.ControlText(kPathEdit);
    m_baud_rate = ReadCombo(kBaudCombo);
    m_port = ReadCombo(kPortCombo);
  } else {
    m_view.SetControlText(kPathEdit, m_path);
    WriteCombo(kBaudCombo, m_baud_rate);
    WriteCombo(kPortCombo, m_port);
  }
}

void MainDialog::RefreshPorts(std::vector<std::string> items) {
  if (items == m_port_items) {
    return;
  }
  ExchangeScope scope(m_exchanging);
  const std::string chosen = ReadCombo(kPortCombo);
  m_port_items = std::move(items);
  m_view.SetComboItems(kPortCombo, m_port_items);
  const auto kept = std::find(m_port_items.begin(), m_port_items.end(), chosen);
  if (!chosen.empty() && kept != m_port_items.end()) {
    m_view.SelectComboItem(kPortCombo, static_cast<int>(kept - m_port_items.begin()));
  }
}

void MainDialog::RefreshPorts() {
  if (m_follow_ports) {
    RefreshPorts(PortItems());
  }
}

bool MainDialog::OnSysCommand(uint32_t command) {
  if ((command & kSystemCommandMask) != ABOUT_COMMAND) {
    return false;
  }
  m_view.OpenAbout();
  return true;
}

bool MainDialog::OnPaint() {
  if (!m_view.IsMinimised()) {
    return false;
  }
  m_view.PaintIcon(IconOrigin(m_view.ClientSize(), m_view.IconSize()));
  return true;
}

void MainDialog::Browse() {
  DoDataExchange(Exchange::kFromControls);
  OpenFileRequest request;
  request.filters = ParseFileFilter(texts::LoadText(texts::IDS_FILE_FILTER));
  request.default_extension = kDefaultExtension;
  request.initial_name = kInitialFileName;
  std::string chosen;
  if (!m_view.ChooseOpenFile(request, &chosen)) {
    return;
  }
  m_path = chosen;
  DoDataExchange(Exchange::kToControls);
  DoDataExchange(Exchange::kFromControls);
}

void MainDialog::OnPathEditChange() {
  if (!m_exchanging) {
    DoDataExchange(Exchange::kFromControls);
  }
}

void MainDialog::OnOK() {
  // Ending the window would delete a run in the middle of writing the printer's memory, and
  // nobody would be told; Close refuses the same.
  if (IsBusy()) {
    return;
  }
  DoDataExchange(Exchange::kFromControls);
  m_view.EndDialog(IDOK);
}

void MainDialog::OnCancel() {
  if (IsBusy()) {
    return;
  }
  DoDataExchange(Exchange::kFromControls);
  m_profile.SetString(settings::kSettingsSection, settings::kBaudRateEntry, m_baud_rate);
  m_profile.SetString(settings::kSettingsSection, settings::kPortEntry, m_port);
  m_view.EndDialog(IDCANCEL);
}

void MainDialog::OnDestroy() {
  DeleteRun();
}

void MainDialog::Abandon() {
  DeleteRun();
}

void MainDialog::DeleteRun() {
  std::unique_ptr<engine::Downloader> run = std::move(m_downloader);
}

void MainDialog::EnableInputs(bool enable) {
  if (!enable) {
    m_focus_before_load = m_view.FocusedControl();
  }
  for (ControlId control : kInputControls) {
    m_view.EnableControl(control, enable);
  }
  if (enable) {
    const bool was_input = std::find(kInputControls.begin(), kInputControls.end(),
                                     m_focus_before_load) != kInputControls.end();
    m_view.FocusControl(was_input ? static_cast<ControlId>(m_focus_before_load) : kPathEdit);
  }
}

void MainDialog::SetProgressText(const std::string& text) {
  platform::SendMessage(m_progress, platform::WM_SETTEXT, 0,
                        reinterpret_cast<platform::LParam>(text.c_str()));
}

void MainDialog::ResetAfterLoad() {
  EnableInputs(true);
  SetProgressText(kBlankProgressText);
  platform::SendMessage(m_progress, platform::PBM_SETPOS, 0);
  m_view.ShowControl(kProgressBar, false);
}

}  // namespace velmar::app
