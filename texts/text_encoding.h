#pragma once
// Model and font names come from Windows tools as code page 1251. Names are compared as bytes;
// only their display is decoded.
//   IsValidUtf8   true for well-formed UTF-8 (no overlong forms, surrogates or values above
//                 U+10FFFF).
//   Cp1251ToUtf8  each byte as the code page 1251 character it stands for.
//   DisplayName   the name as it should be shown: unchanged when it is UTF-8, else decoded as
//                 code page 1251.

#include <string>
#include <string_view>

namespace velmar::texts {

bool IsValidUtf8(std::string_view text);
std::string Cp1251ToUtf8(std::string_view text);
std::string DisplayName(std::string_view name);

}  // namespace velmar::texts
