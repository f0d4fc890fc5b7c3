#pragma once
// Icon 132 for wx windows, decoded from the images compiled into the program.
//
// Principles of operation: the images are decoded on first use on the UI thread (wx's image
// handlers are not thread-safe), registering the PNG handler when nobody has yet. An image that
// does not decode is left out, so a damaged one costs an icon, never the window.
//   AppIcons       every size, for the title bar and the task bar.
//   AppIconBitmap  the image `size` pixels a side: the embedded one of that size, else the
//                  largest scaled to it; an invalid bitmap when none decodes.

#include <wx/bitmap.h>
#include <wx/iconbndl.h>

namespace velmar::app {

inline constexpr int kLargeIconSize = 32;

wxIconBundle AppIcons();
wxBitmap AppIconBitmap(int size);

}  // namespace velmar::app
