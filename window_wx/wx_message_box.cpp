#include "window_wx/wx_message_box.h"

#include <wx/msgdlg.h>
#include <wx/thread.h>

#include <array>
#include <cstdio>
#include <string>
#include <utility>

namespace velmar::app {

namespace {

constexpr std::array<std::pair<platform::BoxIcon, long>, 3> kIcons{{
    {platform::BoxIcon::kError, wxICON_ERROR},
    {platform::BoxIcon::kWarning, wxICON_WARNING},
    {platform::BoxIcon::kInformation, wxICON_INFORMATION},
}};

wxString FromUtf8(std::string_view text) {
  return wxString::FromUTF8(text.data(), text.size());
}

}  // namespace

long BoxStyle(platform::BoxIcon icon) {
  for (const auto& [box_icon, style] : kIcons) {
    if (box_icon == icon) {
      return wxOK | style;
    }
  }
  return wxOK;
}

void ShowWxMessageBox(std::string_view text, std::string_view caption, platform::BoxIcon icon) {
  if (!wxIsMainThread()) {
    const std::string line = std::string(caption) + ": " + std::string(text) + "\n";
    std::fputs(line.c_str(), stderr);
    return;
  }
  wxMessageDialog box(nullptr, FromUtf8(text), FromUtf8(caption), BoxStyle(icon));
  box.ShowModal();
}

}  // namespace velmar::app
