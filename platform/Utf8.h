#pragma once
// Wide text (UTF-32 on Linux, UTF-16 on Windows) to and from UTF-8, independent of the
// process locale. Invalid code points and byte sequences become U+FFFD.
#include <cstdint>
#include <string>

namespace platform {
std::string wide_to_utf8(const std::wstring& text);
std::wstring utf8_to_wide(const char* text);
// The UTF-8 bytes of one code point (U+FFFD for a surrogate or past U+10FFFF).
void append_utf8(std::string& out, uint32_t code_point);
}  // namespace platform
