#include "bench/BenchSegment.h"

#include <cstdio>
#include <cstring>

#include "wire/HIpv4Text.h"
#include "wire/HMacText.h"
#include "wire/HWireLayout.h"

namespace {

constexpr int kEthHeader = HWireLayout::kEthHeaderLen;
constexpr int kIpHeader = HWireLayout::kIpMinHeaderLen;
constexpr int kUdpHeader = HWireLayout::kUdpHeaderLen;
constexpr int kBootpFixed = HWireLayout::kDhcpFixedLen;
constexpr size_t kMinFrame = HWireLayout::kMinFrameLen;
constexpr size_t kMaxFrame = 1514;
constexpr uint16_t kEtherArp = HWireLayout::kEtherTypeArp;
constexpr uint16_t kEtherIpv4 = HWireLayout::kEtherTypeIpv4;
const unsigned char kBroadcastMac[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
const unsigned char kZeroMac[6] = {0, 0, 0, 0, 0, 0};

void put16(BenchSegment::Frame& f, size_t at, uint16_t v) {
  f[at] = static_cast<unsigned char>(v >> 8);
  f[at + 1] = static_cast<unsigned char>(v);
}

void put32(BenchSegment::Frame& f, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) f[at + static_cast<size_t>(i)] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

void put_mac(BenchSegment::Frame& f, size_t at, const unsigned char* mac) { std::memcpy(&f[at], mac, 6); }

BenchSegment::Station station(uint32_t ip, uint32_t mac_tail) {
  BenchSegment::Station s{ip, {0x02, 0x77, 0, 0, 0, 0}};
  for (int i = 0; i < 4; ++i) s.mac[2 + i] = static_cast<unsigned char>(mac_tail >> (24 - 8 * i));
  return s;
}

uint32_t ip_of(unsigned a, unsigned b, unsigned c, unsigned d) { return a << 24 | b << 16 | c << 8 | d; }

void ethernet(BenchSegment::Frame& f, const unsigned char* dst, const unsigned char* src, uint16_t type) {
  put_mac(f, 0, dst);
  put_mac(f, 6, src);
  put16(f, 12, type);
}

// The IPv4 header at offset 14, with its checksum.
void ipv4_header(BenchSegment::Frame& f, uint8_t protocol, uint32_t src, uint32_t dst) {
  const size_t at = kEthHeader;
  f[at] = 0x45;
  put16(f, at + 2, static_cast<uint16_t>(f.size() - kEthHeader));
  f[at + 8] = 64;
  f[at + 9] = protocol;
  put32(f, at + 12, src);
  put32(f, at + 16, dst);
  uint32_t sum = 0;
  for (size_t i = 0; i < kIpHeader; i += 2) sum += static_cast<uint32_t>(f[at + i] << 8 | f[at + i + 1]);
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  put16(f, at + 10, static_cast<uint16_t>(~sum));
}

}  // namespace

BenchSegment::BenchSegment(size_t hosts)
    : st_guarded(station(ip_of(10, 77, 0, 10), 0x0000000a)),
      st_gateway(station(ip_of(10, 77, 0, 1), 0x00000001)),
      st_server(station(ip_of(10, 77, 0, 2), 0xdd000002)),
      st_rogue(station(ip_of(10, 77, 0, 66), 0xdd000066)),
      ul_rogue_gateway(ip_of(10, 77, 0, 254)) {
  if (hosts < 1) hosts = 1;
  if (hosts > kMaxHosts) hosts = kMaxHosts;
  for (size_t i = 0; i < hosts; ++i) {
    uint32_t n = static_cast<uint32_t>(i);
    vt_hosts.push_back(station(ip_of(10, 77, 1 + n / 200, 10 + n % 200), 0x01000000 | n));
  }
  for (size_t i = 0; i < kSpoofers; ++i) vt_spoofers.push_back(station(0, 0x66000000 | static_cast<uint32_t>(i)));
}

BenchSegment::Frame BenchSegment::arp(uint16_t op, const Station& sender, const unsigned char* sender_mac,
                                      const unsigned char* eth_dst, const unsigned char* target_mac,
                                      uint32_t target_ip) {
  Frame f(kArpFrameLen, 0);
  bool broadcast = eth_dst == nullptr || std::memcmp(eth_dst, kZeroMac, 6) == 0;
  ethernet(f, broadcast ? kBroadcastMac : eth_dst, sender_mac, kEtherArp);
  put16(f, 14, 1);
  put16(f, 16, kEtherIpv4);
  f[18] = 6;
  f[19] = 4;
  put16(f, 20, op);
  put_mac(f, 22, sender_mac);
  put32(f, 28, sender.ip);
  put_mac(f, 32, target_mac ? target_mac : kZeroMac);
  put32(f, 38, target_ip);
  return f;
}

BenchSegment::Frame BenchSegment::dhcp_offer(const Station& server, const unsigned char* client_mac, uint32_t yiaddr,
                                             uint32_t router, bool broadcast) {
  static const unsigned char kCookie[4] = {99, 130, 83, 99};
  const size_t bootp = kEthHeader + kIpHeader + kUdpHeader;
  const size_t options = bootp + kBootpFixed + sizeof(kCookie);
  Frame f(options + 32, 0);
  ethernet(f, broadcast ? kBroadcastMac : client_mac, server.mac, kEtherIpv4);
  ipv4_header(f, 17, server.ip, broadcast ? 0xffffffffu : yiaddr);
  put16(f, kEthHeader + kIpHeader, 67);
  put16(f, kEthHeader + kIpHeader + 2, 68);
  put16(f, kEthHeader + kIpHeader + 4, static_cast<uint16_t>(f.size() - kEthHeader - kIpHeader));
  f[bootp] = 2;  // reply
  f[bootp + 1] = 1;
  f[bootp + 2] = 6;
  put32(f, bootp + 4, yiaddr ^ 0x5a5a5a5au);  // transaction id
  put32(f, bootp + 16, yiaddr);
  put32(f, bootp + 20, server.ip);
  put_mac(f, bootp + 28, client_mac);
  std::memcpy(&f[bootp + kBootpFixed], kCookie, sizeof(kCookie));
  size_t at = options;
  const unsigned char head[] = {53, 1, 2, 54, 4};
  std::memcpy(&f[at], head, sizeof(head));
  put32(f, at + 5, server.ip);
  at += 9;
  const unsigned char lease[] = {51, 4, 0, 0, 0x0e, 0x10, 1, 4, 255, 255, 0, 0, 3, 4};
  std::memcpy(&f[at], lease, sizeof(lease));
  at += sizeof(lease);
  put32(f, at, router);
  at += 4;
  f[at] = 255;
  return f;
}

BenchSegment::Frame BenchSegment::other_ipv4(const Station& from, const Station& to, bool tcp, size_t length,
                                             uint64_t fill) {
  if (length < kMinFrame) length = kMinFrame;
  if (length > kMaxFrame) length = kMaxFrame;
  Frame f(length, 0);
  ethernet(f, to.mac, from.mac, kEtherIpv4);
  for (size_t i = kEthHeader + kIpHeader; i < length; ++i) {
    fill = fill * 6364136223846793005ull + 1442695040888963407ull;
    f[i] = static_cast<unsigned char>(fill >> 56);
  }
  ipv4_header(f, tcp ? 6 : 17, from.ip, to.ip);
  const size_t l4 = kEthHeader + kIpHeader;
  put16(f, l4, tcp ? 443 : 40000);
  put16(f, l4 + 2, tcp ? 51000 : 9000);
  if (tcp) {
    f[l4 + 12] = 0x50;  // 20-byte header
    f[l4 + 13] = 0x18;  // ACK, PSH
  } else {
    put16(f, l4 + 4, static_cast<uint16_t>(length - l4));
    put16(f, l4 + 6, 0);
  }
  // Byte 42 is where a DHCP message would say "reply": never here.
  f[kEthHeader + kIpHeader + kUdpHeader] = 0x17;
  return f;
}

std::string BenchSegment::ip_text(uint32_t ip) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(ip >> 24), static_cast<unsigned char>(ip >> 16),
                                  static_cast<unsigned char>(ip >> 8), static_cast<unsigned char>(ip)};
  return HIpv4Text::text(bytes);
}

std::string BenchSegment::mac_text(const unsigned char* mac) { return HMacText::text(mac); }
