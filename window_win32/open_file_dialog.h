#pragma once
// The open-file dialog on Win32 (GetOpenFileNameW), for MainView::ChooseOpenFile.
//
// Principles of operation: the request's filters become the dialog's filter string, its
// default extension and initial name are passed as they are, and a file that must exist is the
// only flag. The chosen path comes back in UTF-8.
//   FilterString       "label\0pattern\0" for each filter, ended by one more "\0".
//   RunOpenFileDialog  runs the dialog modally over `owner`; true with `path` set when the user
//                      confirmed, false (path untouched) when cancelled or refused.

#include "window_win32/win32.h"

#include <string>
#include <vector>

#include "app/main_view.h"

namespace velmar::app {

std::wstring FilterString(const std::vector<FileFilter>& filters);
bool RunOpenFileDialog(HWND owner, const OpenFileRequest& request, std::string* path);

}  // namespace velmar::app
