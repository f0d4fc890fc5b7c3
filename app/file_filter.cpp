#include "app/file_filter.h"

namespace velmar::app {

std::vector<FileFilter> ParseFileFilter(std::string_view text) {
  std::vector<FileFilter> filters;
  for (;;) {
    const size_t label_end = text.find('|');
    if (label_end == std::string_view::npos || label_end == 0) {
      return filters;  // the list's end: an empty label
    }
    const size_t pattern_end = text.find('|', label_end + 1);
    if (pattern_end == std::string_view::npos) {
      return filters;
    }
    filters.push_back({std::string(text.substr(0, label_end)),
                       std::string(text.substr(label_end + 1, pattern_end - label_end - 1))});
    text.remove_prefix(pattern_end + 1);
  }
}

}  // namespace velmar::app
