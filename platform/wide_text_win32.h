#pragma once
// UTF-8, the encoding of every text and path in this program, to and from the UTF-16 of the
// Windows wide-character calls. Windows only: the callers are the Win32 files.
//
// Principles of operation: one conversion each way through the system's own converter, so that
// every Win32 caller agrees on what a byte sequence means. Malformed input becomes U+FFFD, as the
// system converts it; nothing is dropped silently and nothing throws.
//   Widen   UTF-8 to UTF-16.
//   Narrow  UTF-16 to UTF-8.

#include <string>
#include <string_view>

namespace velmar::platform {

std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

}  // namespace velmar::platform
