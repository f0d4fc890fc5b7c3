#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <cstdlib>

#include "platform/config_folder.h"
#include "platform/wide_text_win32.h"

namespace velmar::platform {

namespace {

constexpr const char* kConfigFolderName = "\\velmar";

}  // namespace

std::string ConfigFolder() {
  // Through the wide calls: a user name outside the ANSI code page stays intact.
  wchar_t folder[MAX_PATH] = {};
  if (::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) == S_OK) {
    return Narrow(folder) + kConfigFolderName;
  }
  const wchar_t* appdata = ::_wgetenv(L"APPDATA");
  return (appdata != nullptr ? Narrow(appdata) : std::string(".")) + kConfigFolderName;
}

}  // namespace velmar::platform
