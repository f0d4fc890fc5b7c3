#pragma once
// The user's configuration folder, where the settings and the COMn port links live.
//
// Principles of operation: asked afresh at every call, so that a test (or a user) that changes
// the environment is followed; the folder is named, not made. In UTF-8, as every path here.
// POSIX: $XDG_CONFIG_HOME/velmar, default ~/.config/velmar. Windows: velmar in the user's
// application-data folder (%APPDATA%). One file per system: config_folder_posix.cpp,
// config_folder_win32.cpp.

#include <string>

namespace velmar::platform {

std::string ConfigFolder();

}  // namespace velmar::platform
