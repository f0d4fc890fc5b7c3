#pragma once
// Model and font names come from Windows tools as code page 1251. Names are compared as bytes;
// only their display is decoded.

#include <string>
#include <string_view>

namespace velmar::cli {

bool IsValidUtf8(std::string_view text);
std::string Cp1251ToUtf8(std::string_view text);
// The name as it should be shown: unchanged when it is UTF-8, else decoded as code page 1251.
std::string DisplayName(std::string_view name);

}  // namespace velmar::cli
