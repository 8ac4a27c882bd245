// File helpers that are the same on every system: UTF-8 and the wide text
// (UTF-16 where wchar_t has two bytes, so that a surrogate pair is one code
// point in UTF-8), and the normalised form of paths. What touches the file
// system is HFileSystem.cpp's.
#include "host/HFileUtil.h"

#include <cerrno>
#include <cstdint>

#include "host/HFileSystem.h"
#include "platform/Utf8.h"

namespace {

constexpr bool kUtf16 = sizeof(wchar_t) == 2;

uint32_t unit(wchar_t c) { return static_cast<uint32_t>(c); }
bool is_high_surrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The code point of the surrogate pair at `text`, or 0 when there is none.
uint32_t pair_at(const wchar_t* text, size_t count) {
  if (!kUtf16 || count < 2 || !is_high_surrogate(unit(text[0])) || !is_low_surrogate(unit(text[1]))) return 0;
  return 0x10000 + ((unit(text[0]) - 0xD800) << 10) + (unit(text[1]) - 0xDC00);
}

}  // namespace

// One character at a time, a lone half of a surrogate pair cannot be
// encoded: it becomes U+FFFD. utf8() below keeps pairs whole.
void HFileUtil::append_utf8(std::string& out, wchar_t c) { platform::append_utf8(out, unit(c)); }

size_t HFileUtil::append_utf8(std::string& out, const wchar_t* text, size_t count) {
  if (!text || count == 0) return 0;
  uint32_t pair = pair_at(text, count);
  if (pair != 0) {
    platform::append_utf8(out, pair);
    return 2;
  }
  platform::append_utf8(out, unit(text[0]));
  return 1;
}

std::string HFileUtil::utf8(const HString& text) { return platform::wide_to_utf8(text.wstr()); }

HString HFileUtil::from_utf8(const std::string& bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    uint32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + static_cast<size_t>(extra) < bytes.size();
    for (int k = 1; ok && k <= extra; ++k) {
      unsigned char c = static_cast<unsigned char>(bytes[i + static_cast<size_t>(k)]);
      if ((c & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (c & 0x3F);
    }
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out += static_cast<wchar_t>(0xFFFD);
      ++i;
      continue;
    }
    if (kUtf16 && cp >= 0x10000) {
      out += static_cast<wchar_t>(0xD800 | ((cp - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 | ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(cp);
    }
    i += static_cast<size_t>(extra) + 1;
  }
  return HString(out);
}

HString HFileUtil::normalize(const HString& path) {
  std::wstring out;
  out.reserve(path.wstr().size());
  for (wchar_t c : path.wstr()) {
    if (c == L'\\') c = L'/';
    if (c == L'/' && !out.empty() && out.back() == L'/') continue;
    out += c;
  }
  while (out.size() > 1 && out.back() == L'/') out.pop_back();
  return HString(out);
}

std::string HFileUtil::native_path(const HString& path) { return utf8(normalize(path)); }

int HFileUtil::write_all(int fd, const void* data, size_t length) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    long n = write_some(fd, p, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) return -1;
    p += n;
    length -= static_cast<size_t>(n);
  }
  return 0;
}
