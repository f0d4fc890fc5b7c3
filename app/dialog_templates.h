#pragma once
// The two dialog templates, as data: the main window (102) and the About box (100). Every
// control's identifier, class, text, rectangle in dialog units, style and tab order (the order
// of the table) is here and nowhere else; a front end converts dialog units with the template
// font's units and builds its own controls from the table.
//
// Dialog units: x and width in quarters of the font's average character width, y and height
// in eighths of its height. A combo box's height includes its dropped-down list. The About
// box's contact lines are this project's placeholders, not real addresses.

#include <cstdint>
#include <span>
#include <string_view>

namespace velmar::app {

inline constexpr int kMainTemplateId = 102;
inline constexpr int kAboutTemplateId = 100;
inline constexpr int kIconId = 132;
inline constexpr int kStaticId = -1;

enum class ControlClass {
  kEdit,
  kButton,
  kDefaultButton,
  kProgress,
  kDropDownList,
  kStatic,
  kIcon,
  kEtchedLine
};

// Style bits that a front end maps onto its own; the values are ours.
enum ControlStyle : uint32_t {
  kVisible = 1u << 0,
  kTabStop = 1u << 1,
  kBorder = 1u << 2,
  kAutoHScroll = 1u << 3,
  kGroup = 1u << 4,
  kAlignRight = 1u << 5,
  kNoPrefix = 1u << 6,
  kVScroll = 1u << 7,
  kSmooth = 1u << 8,
  kClientEdge = 1u << 9,
};

struct DialogRect {
  int x;
  int y;
  int width;
  int height;
};

struct TemplateControl {
  int id;
  ControlClass control_class;
  std::string_view text;
  DialogRect rect;
  uint32_t style;
};

struct DialogTemplate {
  int id;
  std::string_view caption;
  std::string_view font_face;
  int font_points;
  int width;
  int height;
  bool minimise_box;
  bool app_window;  // shown on the taskbar
  std::span<const TemplateControl> controls;
};

const DialogTemplate& MainTemplate();
const DialogTemplate& AboutTemplate();

}  // namespace velmar::app
