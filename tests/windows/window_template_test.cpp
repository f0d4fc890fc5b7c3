// The Win32 window's in-memory dialog templates and open-file filter, read back as the dialog
// manager and the common dialog read them.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/wide_text_win32.h"
#include "window_win32/in_memory_template.h"
#include "window_win32/open_file_dialog.h"

namespace velmar::app {
namespace {

// Reads a DLGTEMPLATEEX in the order the dialog manager reads it.
class Reader {
 public:
  explicit Reader(const std::vector<uint32_t>& words)
      : m_bytes(reinterpret_cast<const uint8_t*>(words.data())),
        m_size(words.size() * sizeof(uint32_t)) {}
  uint16_t Word() { return Take<uint16_t>(); }
  uint32_t DWord() { return Take<uint32_t>(); }
  uint8_t Byte() { return Take<uint8_t>(); }
  std::wstring Text() {
    std::wstring text;
    for (uint16_t c = Word(); c != 0; c = Word()) {
      text += static_cast<wchar_t>(c);
    }
    return text;
  }
  void Align() { m_at = (m_at + 3) & ~size_t{3}; }
  size_t At() const { return m_at; }
  size_t Size() const { return m_size; }

 private:
  template <typename T>
  T Take() {
    T value{};
    if (m_at + sizeof value <= m_size) {
      std::memcpy(&value, m_bytes + m_at, sizeof value);
    }
    m_at += sizeof value;
    return value;
  }
  const uint8_t* m_bytes;
  size_t m_size;
  size_t m_at = 0;
};

struct TemplateCase {
  const char* what;
  const DialogTemplate& (*get)();
  uint32_t font_flags;
  uint32_t ex_style;
};

class InMemoryTemplateTest : public ::testing::TestWithParam<TemplateCase> {};

TEST_P(InMemoryTemplateTest, ReadsBackAsTheTemplate) {
  const TemplateCase& c = GetParam();
  const DialogTemplate& source = c.get();
  const std::vector<uint32_t> words = BuildDialogTemplate(source);
  Reader in(words);
  EXPECT_EQ(in.Word(), 1);
  EXPECT_EQ(in.Word(), 0xFFFF);
  in.DWord();
  EXPECT_EQ(in.DWord(), c.ex_style);
  EXPECT_EQ(in.DWord() & DS_SHELLFONT, c.font_flags);
  ASSERT_EQ(in.Word(), source.controls.size());
  in.DWord();  // x, y
  EXPECT_EQ(in.Word(), source.width);
  EXPECT_EQ(in.Word(), source.height);
  EXPECT_EQ(in.Word(), 0);  // menu
  EXPECT_EQ(in.Word(), 0);  // class
  EXPECT_EQ(in.Text(), platform::Widen(source.caption));
  EXPECT_EQ(in.Word(), source.font_points);
  in.Word();
  in.Byte();
  in.Byte();
  EXPECT_EQ(in.Text(), platform::Widen(source.font_face));
  for (const TemplateControl& control : source.controls) {
    SCOPED_TRACE(control.id);
    in.Align();
    in.DWord();
    const Win32Style style = ControlStyle(control);
    EXPECT_EQ(in.DWord(), style.ex_style);
    EXPECT_EQ(in.DWord(), style.style);
    EXPECT_EQ(static_cast<int16_t>(in.Word()), control.rect.x);
    EXPECT_EQ(static_cast<int16_t>(in.Word()), control.rect.y);
    EXPECT_EQ(static_cast<int16_t>(in.Word()), control.rect.width);
    EXPECT_EQ(static_cast<int16_t>(in.Word()), control.rect.height);
    EXPECT_EQ(static_cast<int32_t>(in.DWord()), control.id);
    if (control.control_class == ControlClass::kProgress) {
      EXPECT_EQ(in.Text(), kProgressClassName);
    } else {
      EXPECT_EQ(in.Word(), 0xFFFF);
      EXPECT_GE(in.Word(), 0x0080);  // a predefined class's atom
    }
    if (control.control_class == ControlClass::kIcon) {
      EXPECT_EQ(in.Word(), 0xFFFF);
      EXPECT_EQ(in.Word(), kIconId);
    } else {
      EXPECT_EQ(in.Text(), platform::Widen(control.text));
    }
    EXPECT_EQ(in.Word(), 0);  // creation data
  }
  in.Align();
  EXPECT_EQ(in.At(), in.Size());
}

INSTANTIATE_TEST_SUITE_P(Templates, InMemoryTemplateTest,
                         ::testing::Values(TemplateCase{"main", MainTemplate, DS_SETFONT,
                                                        WS_EX_APPWINDOW},
                                           TemplateCase{"about", AboutTemplate, DS_SHELLFONT, 0}),
                         [](const auto& info) { return std::string(info.param.what); });

struct StyleCase {
  TemplateControl control;
  Win32Style expected;
};

TEST(ControlStyleTest, MapsClassesAndStyleBits) {
  const StyleCase cases[] = {
      {{1, ControlClass::kDefaultButton, "", {}, kVisible | kTabStop},
       {WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0}},
      {{2, ControlClass::kProgress, "", {}, kSmooth | kClientEdge},
       {WS_CHILD | PBS_SMOOTH, WS_EX_CLIENTEDGE}},
      {{3, ControlClass::kDropDownList, "", {}, kTabStop | kVScroll},
       {WS_CHILD | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0}},
      {{4, ControlClass::kStatic, "", {}, kNoPrefix | kAlignRight},
       {WS_CHILD | SS_NOPREFIX | SS_RIGHT, 0}},
  };
  for (const StyleCase& c : cases) {
    const Win32Style style = ControlStyle(c.control);
    EXPECT_EQ(style.style, c.expected.style) << c.control.id;
    EXPECT_EQ(style.ex_style, c.expected.ex_style) << c.control.id;
  }
}

TEST(FilterStringTest, PairsEndedByAnEmptyString) {
  using namespace std::string_literals;
  EXPECT_EQ(FilterString({}), L"\0"s);
  EXPECT_EQ(FilterString({{"Программы (*.bin)", "*.bin"}, {"Все (*.*)", "*.*"}}),
            L"Программы (*.bin)\0*.bin\0Все (*.*)\0*.*\0\0"s);
}

}  // namespace
}  // namespace velmar::app
