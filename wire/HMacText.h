#pragma once
// MAC addresses as text: six two-digit hex groups. Written lower case joined
// by ":"; read in either case, joined by ":" or by "-" (as Windows' arp
// writes them).
#include <cstddef>
#include <cstring>
#include <string>

class HMacText {
 public:
  static constexpr size_t kLen = 17;

  // Narrow or wide text to six bytes; false, and nothing written, when the
  // text is no such address.
  template <typename Text>
  static bool parse(const Text& text, unsigned char* bytes) {
    if (!bytes || text.size() != kLen) return false;
    const auto separator = text[2];
    if (separator != ':' && separator != '-') return false;
    unsigned char out[6];
    for (size_t group = 0; group < 6; ++group) {
      size_t at = group * 3;
      if (group > 0 && text[at - 1] != separator) return false;
      int high = hex_value(text[at]);
      int low = hex_value(text[at + 1]);
      if (high < 0 || low < 0) return false;
      out[group] = static_cast<unsigned char>(high * 16 + low);
    }
    std::memcpy(bytes, out, sizeof(out));
    return true;
  }

  // Six bytes into at least kLen bytes; returns kLen, no terminating zero.
  static size_t format(const unsigned char* bytes, char* out) {
    static const char kHex[] = "0123456789abcdef";
    for (int i = 0; i < 6; ++i) {
      if (i > 0) out[3 * i - 1] = ':';
      out[3 * i] = kHex[bytes[i] >> 4];
      out[3 * i + 1] = kHex[bytes[i] & 0xf];
    }
    return kLen;
  }

  static std::string text(const unsigned char* bytes) {
    char buf[kLen];
    return std::string(buf, format(bytes, buf));
  }

 private:
  template <typename Char>
  static int hex_value(Char c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
  }
};
