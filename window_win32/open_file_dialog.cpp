#include "window_win32/open_file_dialog.h"

#include "platform/wide_text_win32.h"

namespace velmar::app {

namespace {

// Room for a long path in the device namespace, with its terminator.
constexpr size_t kPathCapacity = 32768;

}  // namespace

std::wstring FilterString(const std::vector<FileFilter>& filters) {
  std::wstring text;
  for (const FileFilter& filter : filters) {
    text += platform::Widen(filter.label);
    text += L'\0';
    text += platform::Widen(filter.pattern);
    text += L'\0';
  }
  text += L'\0';
  return text;
}

bool RunOpenFileDialog(HWND owner, const OpenFileRequest& request, std::string* path) {
  const std::wstring filter = FilterString(request.filters);
  const std::wstring extension = platform::Widen(request.default_extension);
  std::wstring file = platform::Widen(request.initial_name);
  file.resize(kPathCapacity, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  dialog.Flags = request.must_exist ? OFN_FILEMUSTEXIST : 0;
  if (::GetOpenFileNameW(&dialog) == FALSE) {
    return false;
  }
  *path = platform::Narrow(file.c_str());
  return true;
}

}  // namespace velmar::app
