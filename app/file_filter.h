#pragma once
// The open-file dialog's filter as the string table holds it: label and pattern pairs separated
// by "|", the list ended by "||" ("Programs (*.bin)|*.bin|All files (*.*)|*.*||").
//   ParseFileFilter  the pairs in order; a label without its pattern at the end is dropped,
//                    and so is everything after the "||" that ends the list.

#include <string_view>
#include <vector>

#include "app/main_view.h"

namespace velmar::app {

std::vector<FileFilter> ParseFileFilter(std::string_view text);

}  // namespace velmar::app
