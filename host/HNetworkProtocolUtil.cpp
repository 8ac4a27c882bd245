#include "host/HNetworkProtocolUtil.h"

#include <cstring>

namespace {
// Offsets inside the ARP body (RFC 826, IPv4 over Ethernet).
constexpr int ARP_OP_OFFSET = 6;
constexpr int ARP_SHA_OFFSET = 8;
constexpr int ARP_SPA_OFFSET = 14;
constexpr int ARP_THA_OFFSET = 18;
constexpr int ARP_TPA_OFFSET = 24;

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string ip_of_bytes(const unsigned char* b) {
  char buf[HNetworkProtocolUtil::IP_TEXT_MAX];
  return std::string(buf, HNetworkProtocolUtil::FormatIP(b, buf));
}

size_t put_decimal(unsigned value, char* out) {
  if (value >= 100) {
    out[0] = static_cast<char>('0' + value / 100);
    out[1] = static_cast<char>('0' + value / 10 % 10);
    out[2] = static_cast<char>('0' + value % 10);
    return 3;
  }
  if (value >= 10) {
    out[0] = static_cast<char>('0' + value / 10);
    out[1] = static_cast<char>('0' + value % 10);
    return 2;
  }
  out[0] = static_cast<char>('0' + value);
  return 1;
}
}  // namespace

size_t HNetworkProtocolUtil::FormatIP(const unsigned char* bytes, char* out) {
  size_t len = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) out[len++] = '.';
    len += put_decimal(bytes[i], out + len);
  }
  return len;
}

size_t HNetworkProtocolUtil::FormatMAC(const unsigned char* bytes, char* out) {
  static const char kHex[] = "0123456789abcdef";
  for (int i = 0; i < 6; ++i) {
    if (i > 0) out[3 * i - 1] = ':';
    out[3 * i] = kHex[bytes[i] >> 4];
    out[3 * i + 1] = kHex[bytes[i] & 0xf];
  }
  return MAC_TEXT_LEN;
}

std::string HNetworkProtocolUtil::GetIPString(unsigned long address, bool network_order) {
  uint32_t value = static_cast<uint32_t>(address);
  unsigned char b[4];
  if (network_order) {
    std::memcpy(b, &value, sizeof(b));
  } else {
    b[0] = static_cast<unsigned char>(value >> 24);
    b[1] = static_cast<unsigned char>(value >> 16);
    b[2] = static_cast<unsigned char>(value >> 8);
    b[3] = static_cast<unsigned char>(value);
  }
  return ip_of_bytes(b);
}

std::string HNetworkProtocolUtil::GetMACString(const unsigned char* bytes) {
  if (!bytes) return std::string();
  char buf[MAC_TEXT_LEN];
  return std::string(buf, FormatMAC(bytes, buf));
}

bool HNetworkProtocolUtil::MakeMACArrayFromString(const std::string& text, unsigned char* bytes) {
  if (!bytes || text.size() != 17) return false;
  const char sep = text[2];
  if (sep != ':' && sep != '-') return false;
  unsigned char out[6];
  for (int i = 0; i < 6; ++i) {
    size_t at = static_cast<size_t>(i) * 3;
    if (i > 0 && text[at - 1] != sep) return false;
    int hi = hex_value(text[at]);
    int lo = hex_value(text[at + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = static_cast<unsigned char>(hi * 16 + lo);
  }
  std::memcpy(bytes, out, sizeof(out));
  return true;
}

int HNetworkProtocolUtil::MakeArpNode(const unsigned char* body, HArpNode& node) {
  if (!body) return -1;
  // The operation is 16 bits on the wire; anything above 255 is no known one.
  node.op = body[ARP_OP_OFFSET] == 0 ? body[ARP_OP_OFFSET + 1] : 0;
  // Written into the node's own strings: a node reused for every claim
  // keeps their storage.
  char text[MAC_TEXT_LEN > IP_TEXT_MAX ? MAC_TEXT_LEN : IP_TEXT_MAX];
  node.sender_mac.assign(text, FormatMAC(body + ARP_SHA_OFFSET, text));
  node.sender_ip.assign(text, FormatIP(body + ARP_SPA_OFFSET, text));
  node.target_mac.assign(text, FormatMAC(body + ARP_THA_OFFSET, text));
  node.target_ip.assign(text, FormatIP(body + ARP_TPA_OFFSET, text));
  return 0;
}

bool HNetworkProtocolUtil::ParseIPString(const std::string& text, uint32_t& address) {
  unsigned char b[4];
  size_t pos = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.') return false;
      ++pos;
    }
    unsigned value = 0;
    size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
      value = value * 10 + static_cast<unsigned>(text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return false;
    b[part] = static_cast<unsigned char>(value);
  }
  if (pos != text.size()) return false;
  std::memcpy(&address, b, sizeof(b));
  return true;
}
