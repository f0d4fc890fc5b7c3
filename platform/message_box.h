#pragma once
// The message box. A GUI host installs a handler that shows a modal box; without one the text
// goes to standard error, which is what a console host wants. Safe from any thread; the call
// returns once the user has dismissed the box (or the text has been written).

#include <functional>
#include <string>
#include <string_view>

namespace velmar::platform {

enum class BoxIcon { kError = 0x10, kWarning = 0x30, kInformation = 0x40 };

using MessageBoxHandler =
    std::function<void(std::string_view text, std::string_view caption, BoxIcon icon)>;

// Installs `handler` (an empty one restores standard error) and returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
void ShowMessageBox(std::string_view text, std::string_view caption, BoxIcon icon);

// The application's name, the executable's base name, as a box's default caption.
std::string ApplicationName();

}  // namespace velmar::platform
