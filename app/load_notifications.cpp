// The run's notifications: boxes for the endings, the status text and the font's steps.

#include "app/main_dialog.h"
#include "platform/progress_messages.h"
#include "texts/string_table.h"
#include "texts/text_encoding.h"

namespace velmar::app {

namespace {

platform::BoxIcon IconOf(engine::NotificationKind kind) {
  return kind == engine::NotificationKind::kSuccess ? platform::BoxIcon::kInformation
                                                    : platform::BoxIcon::kError;
}

}  // namespace

platform::LResult MainDialog::HandleMessage(platform::MessageId message, platform::WParam,
                                            platform::LParam) {
  const engine::NotificationInfo* info = engine::FindNotification(message);
  if (info == nullptr) {
    return 0;
  }
  if (message == engine::LN_STEP) {
    platform::SendMessage(m_progress, platform::PBM_STEPIT);
  } else if (message == engine::LN_STATUS) {
    SetProgressText(texts::LoadingStatusText(IsFontLoad(), m_model_name));
  } else {
    ShowNotification(*info);
    EndLoad();
  }
  return 0;
}

void MainDialog::ShowNotification(const engine::NotificationInfo& info) {
  const int text_id = IsFontLoad() ? info.font_text_id : info.text_id;
  const std::string text = info.formats_model
                               ? texts::FormatText(text_id, texts::DisplayName(m_model_name))
                               : std::string(texts::LoadText(text_id));
  // Modal: the queue keeps being pumped meanwhile, so this may be re-entered.
  ShowBox(text, IconOf(info.kind));
}

void MainDialog::EndLoad() {
  // A handler that ran while this one's box was open may have deleted the run already.
  DeleteRun();
  ResetAfterLoad();
}

}  // namespace velmar::app
