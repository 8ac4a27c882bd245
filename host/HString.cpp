#include "host/HString.h"

#include <cstring>

#include "platform/WinDebug.h"

namespace {
// Bytes are taken as Latin-1. The wide text is made at its full length at
// once: growing it a character at a time cost several allocations for a MAC.
void widen_into(const char* text, std::wstring& out) {
  size_t length = text ? std::strlen(text) : 0;
  out.resize(length);
  for (size_t i = 0; i < length; ++i) out[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
}

std::wstring widen(const char* text) {
  std::wstring out;
  widen_into(text, out);
  return out;
}
}  // namespace

HString::HString(const wchar_t* text) : str_(text ? text : L"") {}
HString::HString(const char* text) : str_(widen(text)) {}
HString::HString(const std::string& text) : str_(widen(text.c_str())) {}

HString& HString::assign(const std::string& text) {
  widen_into(text.c_str(), str_);
  return *this;
}
HString::HString(unsigned long value) : str_(std::to_wstring(value)) {}
HString::HString(bool value) : str_(value ? L"true" : L"false") {}

HString::HString(int value, int radix) {
  if (radix < 2 || radix > 36) radix = 10;
  bool negative = value < 0;
  unsigned long magnitude = negative ? 0UL - static_cast<unsigned long>(static_cast<long>(value))
                                     : static_cast<unsigned long>(value);
  do {
    str_.insert(str_.begin(), L"0123456789abcdefghijklmnopqrstuvwxyz"[magnitude % radix]);
    magnitude /= radix;
  } while (magnitude);
  if (negative) str_.insert(str_.begin(), L'-');
}

HString& HString::operator<<(const wchar_t* text) { if (text) str_ += text; return *this; }
HString& HString::operator<<(const char* text) { str_ += widen(text); return *this; }
HString& HString::operator<<(unsigned long value) { str_ += std::to_wstring(value); return *this; }
HString& HString::operator<<(int value) { str_ += std::to_wstring(value); return *this; }

std::string HString::get_str_direct() const {
  std::string out;
  out.reserve(str_.size());
  for (wchar_t c : str_) out += (static_cast<uint32_t>(c) < 256) ? static_cast<char>(c) : '?';
  return out;
}

int HString::find(const HString& what, int start) const {
  if (start < 0 || static_cast<size_t>(start) > str_.size()) return -1;
  size_t pos = str_.find(what.str_, static_cast<size_t>(start));
  return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

HString HString::substr(int start, int count) const {
  if (start < 0 || count <= 0 || static_cast<size_t>(start) >= str_.size()) return HString();
  return HString(str_.substr(static_cast<size_t>(start), static_cast<size_t>(count)));
}

HString& HString::replace_ex(const HString& from, const HString& to, bool all) {
  if (from.str_.empty()) return *this;
  size_t pos = 0;
  while ((pos = str_.find(from.str_, pos)) != std::wstring::npos) {
    str_.replace(pos, from.str_.size(), to.str_);
    pos += to.str_.size();
    if (!all) break;
  }
  return *this;
}

HString& HString::make_by_bin_multi(const unsigned char* bytes, int length) {
  std::string ascii;
  append_bin_multi(ascii, bytes, length);
  str_.assign(ascii.begin(), ascii.end());
  return *this;
}

void HString::append_bin_multi(std::string& out, const unsigned char* bytes, int length) {
  static const char kHex[] = "0123456789abcdef";
  if (!bytes || length <= 0) return;
  size_t at = out.size();
  out.resize(at + static_cast<size_t>(length) * 4);  // every byte at most "\xNN"
  char* p = &out[at];
  for (int i = 0; i < length; ++i) {
    unsigned char b = bytes[i];
    if (b >= 0x20 && b < 0x7f && b != '\\') {
      *p++ = static_cast<char>(b);
    } else {
      p[0] = '\\';
      p[1] = 'x';
      p[2] = kHex[b >> 4];
      p[3] = kHex[b & 0xf];
      p += 4;
    }
  }
  out.resize(static_cast<size_t>(p - out.data()));
}

void HString::debugview() const { OutputDebugStringW(str_.c_str()); }
