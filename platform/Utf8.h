#pragma once
// Wide text (UTF-32 on Linux, UTF-16 on Windows) to and from UTF-8, independent of the
// process locale. Invalid code points and byte sequences become U+FFFD.
#include <string>

namespace platform {
std::string wide_to_utf8(const std::wstring& text);
std::wstring utf8_to_wide(const char* text);
}  // namespace platform
