#pragma once
// Records the texts of the message boxes shown while it lives, from any thread, instead of
// showing them; the handler before it is put back afterwards.

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_box.h"

namespace velmar::test {

class BoxRecorder {
 public:
  BoxRecorder()
      : m_previous(platform::SetMessageBoxHandler(
            [this](std::string_view text, std::string_view, platform::BoxIcon) {
              std::lock_guard lock(m_mutex);
              m_texts.emplace_back(text);
            })) {}
  ~BoxRecorder() { platform::SetMessageBoxHandler(std::move(m_previous)); }
  BoxRecorder(const BoxRecorder&) = delete;
  BoxRecorder& operator=(const BoxRecorder&) = delete;

  std::vector<std::string> Texts() {
    std::lock_guard lock(m_mutex);
    return m_texts;
  }

 private:
  platform::MessageBoxHandler m_previous;
  std::mutex m_mutex;
  std::vector<std::string> m_texts;
};

}  // namespace velmar::test
