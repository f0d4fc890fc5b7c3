#include "platform/message_box.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace velmar::platform {

namespace {
std::mutex g_handler_mutex;
MessageBoxHandler g_handler;
}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard lock(g_handler_mutex);
  std::swap(g_handler, handler);
  return handler;
}

void ShowMessageBox(std::string_view text, std::string_view caption, BoxIcon icon) {
  MessageBoxHandler handler;
  {
    std::lock_guard lock(g_handler_mutex);
    handler = g_handler;
  }
  if (handler) {
    handler(text, caption, icon);
    return;
  }
  const std::string line = caption.empty() ? std::string(text) + "\n"
                                           : std::string(caption) + ": " + std::string(text) + "\n";
  std::fputs(line.c_str(), stderr);
}

}  // namespace velmar::platform
