#pragma once
// IPv4 addresses as dotted decimal text: four numbers from 0 to 255 without
// leading zeros (what inet_pton takes, and what every formatter here writes),
// so that one address has exactly one text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class HIpv4Text {
 public:
  static constexpr size_t kMaxLen = 15;

  // Narrow or wide text to the four bytes in network byte order; false, and
  // nothing written, when the text is no such address.
  template <typename Text>
  static bool parse(const Text& text, uint32_t& address) {
    unsigned char bytes[4];
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
      if (part > 0 && (at >= text.size() || text[at++] != '.')) return false;
      size_t first = at;
      unsigned value = 0;
      while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - first < 4) {
        value = value * 10 + static_cast<unsigned>(text[at++] - '0');
      }
      size_t digits = at - first;
      if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[first] == '0')) return false;
      bytes[part] = static_cast<unsigned char>(value);
    }
    if (at != text.size()) return false;
    std::memcpy(&address, bytes, sizeof(bytes));
    return true;
  }

  // The four bytes as stored (network byte order) into at least kMaxLen
  // bytes; returns the length written, no terminating zero.
  static size_t format(const unsigned char* bytes, char* out) {
    // One look-up a byte: every ARP frame's attack-log line has an address.
    // Three bytes are copied and the unused ones overwritten by what follows
    // (at most out[kMaxLen - 1] is reached).
    const Numbers& table = numbers();
    size_t len = 0;
    for (int i = 0; i < 4; ++i) {
      if (i > 0) out[len++] = '.';
      std::memcpy(out + len, table.digits[bytes[i]], 3);
      len += table.length[bytes[i]];
    }
    return len;
  }

  static std::string text(const unsigned char* bytes) {
    char buf[kMaxLen];
    return std::string(buf, format(bytes, buf));
  }

 private:
  // The numbers 0 to 255 as text.
  struct Numbers {
    char digits[256][3];
    unsigned char length[256];
    constexpr Numbers() : digits(), length() {
      for (unsigned value = 0; value < 256; ++value) {
        unsigned char n = 0;
        if (value >= 100) digits[value][n++] = static_cast<char>('0' + value / 100);
        if (value >= 10) digits[value][n++] = static_cast<char>('0' + value / 10 % 10);
        digits[value][n++] = static_cast<char>('0' + value % 10);
        length[value] = n;
      }
    }
  };
  static const Numbers& numbers() {
    static constexpr Numbers kNumbers{};
    return kNumbers;
  }
};
