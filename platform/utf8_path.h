#pragma once
// A file-system path from UTF-8 text, the encoding of every path in this program.
//
// Principles of operation: the text is handed to std::filesystem as char8_t, which it reads as
// UTF-8 on every system; a narrow std::string would be read in Windows' ANSI code page there,
// and a name outside it would name another file or none.

#include <filesystem>
#include <string_view>

namespace velmar::platform {

std::filesystem::path Utf8Path(std::string_view text);

}  // namespace velmar::platform
