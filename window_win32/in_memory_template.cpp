#include "window_win32/in_memory_template.h"

#include "window_win32/win32.h"

#include <array>
#include <cstring>
#include <string_view>

#include "platform/wide_text_win32.h"

namespace velmar::app {

namespace {

// The classes that Win32 predefines, by the atoms a template names them with.
constexpr uint16_t kButtonAtom = 0x0080;
constexpr uint16_t kEditAtom = 0x0081;
constexpr uint16_t kStaticAtom = 0x0082;
constexpr uint16_t kComboBoxAtom = 0x0085;
constexpr uint16_t kNoAtom = 0;  // a class named by its string

constexpr uint16_t kOrdinalMark = 0xFFFF;
constexpr std::string_view kShellFont = "MS Shell Dlg";

struct ClassMapping {
  ControlClass control_class;
  uint16_t atom;
  uint32_t style;
};

constexpr std::array<ClassMapping, 8> kClasses{{
    {ControlClass::kEdit, kEditAtom, ES_LEFT},
    {ControlClass::kButton, kButtonAtom, BS_PUSHBUTTON},
    {ControlClass::kDefaultButton, kButtonAtom, BS_DEFPUSHBUTTON},
    {ControlClass::kProgress, kNoAtom, 0},
    {ControlClass::kDropDownList, kComboBoxAtom, CBS_DROPDOWNLIST},
    {ControlClass::kStatic, kStaticAtom, SS_LEFT},
    {ControlClass::kIcon, kStaticAtom, SS_ICON},
    {ControlClass::kEtchedLine, kStaticAtom, SS_ETCHEDHORZ},
}};

constexpr ClassMapping kPlainStatic{ControlClass::kStatic, kStaticAtom, SS_LEFT};

struct StyleMapping {
  uint32_t bit;
  Win32Style win32;
};

constexpr std::array<StyleMapping, 10> kStyles{{
    {kVisible, {WS_VISIBLE, 0}},
    {kTabStop, {WS_TABSTOP, 0}},
    {kBorder, {WS_BORDER, 0}},
    {kAutoHScroll, {ES_AUTOHSCROLL, 0}},
    {kGroup, {WS_GROUP, 0}},
    {kAlignRight, {SS_RIGHT, 0}},
    {kNoPrefix, {SS_NOPREFIX, 0}},
    {kVScroll, {WS_VSCROLL, 0}},
    {kSmooth, {PBS_SMOOTH, 0}},
    {kClientEdge, {0, WS_EX_CLIENTEDGE}},
}};

const ClassMapping& MappingOf(ControlClass control_class) {
  for (const ClassMapping& mapping : kClasses) {
    if (mapping.control_class == control_class) {
      return mapping;
    }
  }
  return kPlainStatic;  // every class is in the table; a new one shows as a plain label
}

class Writer {
 public:
  void Word(uint16_t value) { Raw(&value, sizeof value); }
  void DWord(uint32_t value) { Raw(&value, sizeof value); }
  void Short(int value) { Word(static_cast<uint16_t>(static_cast<int16_t>(value))); }
  void Byte(uint8_t value) { m_bytes.push_back(value); }
  void Text(std::wstring_view text) {
    for (wchar_t c : text) {
      Word(static_cast<uint16_t>(c));
    }
    Word(0);
  }
  void Ordinal(uint16_t value) {
    Word(kOrdinalMark);
    Word(value);
  }
  void Align() {
    while (m_bytes.size() % sizeof(uint32_t) != 0) {
      m_bytes.push_back(0);
    }
  }
  std::vector<uint32_t> Words() {
    Align();
    std::vector<uint32_t> words(m_bytes.size() / sizeof(uint32_t));
    std::memcpy(words.data(), m_bytes.data(), m_bytes.size());
    return words;
  }

 private:
  void Raw(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    m_bytes.insert(m_bytes.end(), bytes, bytes + size);
  }
  std::vector<uint8_t> m_bytes;
};

void WriteRect(Writer& out, int x, int y, int width, int height) {
  out.Short(x);
  out.Short(y);
  out.Short(width);
  out.Short(height);
}

void WriteControl(Writer& out, const TemplateControl& control) {
  out.Align();
  const Win32Style style = ControlStyle(control);
  out.DWord(0);  // help context
  out.DWord(style.ex_style);
  out.DWord(style.style);
  WriteRect(out, control.rect.x, control.rect.y, control.rect.width, control.rect.height);
  out.DWord(static_cast<uint32_t>(control.id));
  const ClassMapping& mapping = MappingOf(control.control_class);
  if (mapping.atom != kNoAtom) {
    out.Ordinal(mapping.atom);
  } else {
    out.Text(kProgressClassName);
  }
  if (control.control_class == ControlClass::kIcon) {
    out.Ordinal(static_cast<uint16_t>(control.id));
  } else {
    out.Text(platform::Widen(control.text));
  }
  out.Word(0);  // no creation data
}

}  // namespace

Win32Style ControlStyle(const TemplateControl& control) {
  Win32Style result{WS_CHILD | MappingOf(control.control_class).style, 0};
  for (const StyleMapping& mapping : kStyles) {
    if ((control.style & mapping.bit) != 0) {
      result.style |= mapping.win32.style;
      result.ex_style |= mapping.win32.ex_style;
    }
  }
  return result;
}

Win32Style DialogStyle(const DialogTemplate& dialog_template) {
  Win32Style result{WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER, 0};
  result.style |= dialog_template.font_face == kShellFont ? DS_SHELLFONT : DS_SETFONT;
  if (dialog_template.minimise_box) {
    result.style |= WS_MINIMIZEBOX;
  }
  if (dialog_template.app_window) {
    result.ex_style |= WS_EX_APPWINDOW;
  }
  return result;
}

std::vector<uint32_t> BuildDialogTemplate(const DialogTemplate& dialog_template) {
  Writer out;
  const Win32Style style = DialogStyle(dialog_template);
  out.Word(1);  // DLGTEMPLATEEX
  out.Word(0xFFFF);
  out.DWord(0);  // help context
  out.DWord(style.ex_style);
  out.DWord(style.style);
  out.Word(static_cast<uint16_t>(dialog_template.controls.size()));
  WriteRect(out, 0, 0, dialog_template.width, dialog_template.height);
  out.Word(0);  // no menu
  out.Word(0);  // the dialog class
  out.Text(platform::Widen(dialog_template.caption));
  out.Word(static_cast<uint16_t>(dialog_template.font_points));
  out.Word(FW_NORMAL);
  out.Byte(FALSE);  // italic
  out.Byte(DEFAULT_CHARSET);
  out.Text(platform::Widen(dialog_template.font_face));
  for (const TemplateControl& control : dialog_template.controls) {
    WriteControl(out, control);
  }
  return out.Words();
}

}  // namespace velmar::app
