#include "app/dialog_templates.h"

#include <array>

#include "app/main_view.h"
#include "texts/string_table.h"

namespace velmar::app {

namespace {

constexpr uint32_t kInput = kVisible | kTabStop;

constexpr std::array kMainControls = {
    TemplateControl{
        kPathEdit, ControlClass::kEdit, "", {6, 60, 225, 14}, kInput | kBorder | kAutoHScroll},
    TemplateControl{kBrowseButton, ControlClass::kButton, "...", {236, 60, 16, 14}, kInput},
    TemplateControl{
        kLoadButton, ControlClass::kDefaultButton, "Загрузить", {198, 78, 54, 20}, kInput},
    TemplateControl{
        kProgressBar, ControlClass::kProgress, "", {6, 78, 186, 14}, kSmooth | kClientEdge},
    TemplateControl{
        kPortCombo, ControlClass::kDropDownList, "", {6, 21, 42, 114}, kTabStop | kVScroll},
    TemplateControl{
        kBaudCombo, ControlClass::kDropDownList, "", {54, 21, 48, 138}, kTabStop | kVScroll},
    // The labels have their rows to themselves, so they leave room after their texts: in the
    // faces that stand in for Tahoma under Wine the first takes 124 to 140 of its 150 pixels at
    // 96 dpi, and a label a pixel too narrow wraps its last word out of sight.
    TemplateControl{kStaticId,
                    ControlClass::kStatic,
                    "Параметры интерфейса",
                    {6, 9, 100, 8},
                    kVisible | kGroup},
    TemplateControl{
        kStaticId, ControlClass::kStatic, "Файл с данными", {6, 48, 72, 8}, kVisible | kGroup},
};

constexpr uint32_t kLabel = kVisible | kNoPrefix;

constexpr std::array kAboutControls = {
    TemplateControl{kIconId, ControlClass::kIcon, "", {12, 12, 21, 20}, kVisible},
    TemplateControl{kStaticId, ControlClass::kStatic, texts::kCaption, {48, 4, 186, 8}, kLabel},
    TemplateControl{kStaticId, ControlClass::kStatic, "Версия 1.1", {48, 16, 186, 8}, kLabel},
    TemplateControl{kStaticId, ControlClass::kStatic, "19 мая 2007", {48, 28, 186, 8}, kLabel},
    TemplateControl{kStaticId, ControlClass::kEtchedLine, "", {0, 43, 241, 1}, kVisible},
    TemplateControl{kStaticId, ControlClass::kStatic, "Обратная связь:", {8, 50, 227, 8}, kLabel},
    TemplateControl{kStaticId,
                    ControlClass::kStatic,
                    "support@velmar.example\nservice@velmar.example",
                    {8, 62, 226, 21},
                    kLabel},
    TemplateControl{
        kStaticId, ControlClass::kStatic, "https://velmar.example", {8, 85, 126, 8}, kLabel},
    TemplateControl{kStaticId,
                    ControlClass::kStatic,
                    "НПФ \"ЛЕКСОРА\"",
                    {132, 85, 98, 8},
                    kLabel | kAlignRight},
};

}  // namespace

const DialogTemplate& MainTemplate() {
  static constexpr DialogTemplate kMain{
      kMainTemplateId, texts::kCaption, "Tahoma", 8, 258, 106, true, true, kMainControls};
  return kMain;
}

const DialogTemplate& AboutTemplate() {
  static constexpr DialogTemplate kAbout{
      kAboutTemplateId, "О программе", "MS Shell Dlg", 8, 236, 100, false, false, kAboutControls};
  return kAbout;
}

}  // namespace velmar::app
