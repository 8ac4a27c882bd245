// UTF-8 and wide text: UTF-32 where wchar_t has four bytes, UTF-16 where it
// has two (Windows). There a surrogate pair is one code point; a lone
// surrogate, like any invalid sequence, becomes U+FFFD.
#include "platform/Utf8.h"

#include <cstdint>

namespace platform {

namespace {
constexpr uint32_t kReplacement = 0xFFFD;
constexpr bool kUtf16 = sizeof(wchar_t) == 2;

uint32_t unit(wchar_t c) { return static_cast<uint32_t>(c); }

bool is_high_surrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool valid_code_point(uint32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

// Length of the sequence that `lead` starts, 0 for a byte that cannot lead.
int sequence_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

void append_wide(std::wstring& out, uint32_t c) {
  if (!kUtf16 || c < 0x10000) {
    out += static_cast<wchar_t>(c);
    return;
  }
  c -= 0x10000;
  out += static_cast<wchar_t>(0xD800 | (c >> 10));
  out += static_cast<wchar_t>(0xDC00 | (c & 0x3FF));
}
}  // namespace

void append_utf8(std::string& out, uint32_t c) {
  if (!valid_code_point(c)) c = kReplacement;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string wide_to_utf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = unit(text[i]);
    if (kUtf16 && is_high_surrogate(c) && i + 1 < text.size() && is_low_surrogate(unit(text[i + 1]))) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(text[i + 1]) - 0xDC00);
      ++i;
    } else if (!valid_code_point(c)) {
      c = kReplacement;
    }
    append_utf8(out, c);
  }
  return out;
}

std::wstring utf8_to_wide(const char* text) {
  std::wstring out;
  if (!text) return out;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    int len = sequence_length(*p);
    uint32_t c = len == 1 ? *p : (len == 0 ? 0 : (*p & (0xFF >> (len + 1))));
    int used = len == 0 ? 1 : len;
    for (int i = 1; i < len; ++i) {
      if ((p[i] & 0xC0) != 0x80) {  // also stops at the terminating zero
        len = 0;
        used = i;
        break;
      }
      c = (c << 6) | (p[i] & 0x3F);
    }
    static const uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (len == 0 || c < kMinimum[len] || !valid_code_point(c)) c = kReplacement;
    append_wide(out, c);
    p += used;
  }
  return out;
}

}  // namespace platform
