#pragma once
// <windows.h> for the Win32 window. The toolkit-free headers name the commands, window messages,
// progress-bar messages and text flags as Win32 numbers them (IDOK, WM_SETTEXT, PBM_STEPIT,
// DT_CENTER, ...), which <windows.h> defines as macros of the same values: those headers have
// to come first. Below them the macros stand for the same numbers. The other system headers come
// last, as they need <windows.h> before them.

// clang-format off
#include "app/main_view.h"
#include "platform/progress_messages.h"
#include "ui/text_progress_model.h"
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
// clang-format on
