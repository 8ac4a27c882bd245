// hardening_flood IFACE KIND HOST_IP HOST_MAC SECONDS [MAX_PER_SECOND]
//
// Floods the host HOST_IP/HOST_MAC on IFACE for SECONDS (1..600) with
// frames that never repeat an address pair, as fast as the socket takes
// them or at most MAX_PER_SECOND:
//   arp-claims      ARP replies to the host from ever new senders
//                   (10.77.128.0/17, MACs 02:77:80:..)
//   gateway-claims  ARP replies to the host claiming 10.77.X.1 (X from
//                   HOST_IP) for ever new MACs 02:77:81:..
//   dhcp-offers     unicast DHCP offers to the host, each naming a new
//                   gateway in 10.77.128.0/17 (server 10.77.X.2, 02:77:X:00:00:02)
//   addressless-offers  unicast DHCP offers to the host that assign no
//                   address, each from a new server MAC 02:77:82:..
// Only addresses of the lab's own range are used: HOST_IP must be in
// 10.77.0.0/16. Prints "sent N frames in S s (R per second)". Needs
// CAP_NET_RAW. Exit codes: 0 sent, 1 system error, 2 bad usage.
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "tests/tools/LabTool.h"
#include "wire/HArpFrame.h"
#include "wire/HIpv4Text.h"
#include "wire/HMacText.h"
#include "wire/HWireLayout.h"

namespace {

using L = HWireLayout;
constexpr size_t kBatch = 64;
constexpr size_t kOfferLen = L::kEthHeaderLen + L::kIpMinHeaderLen + L::kUdpHeaderLen + 300;
constexpr long kMaxSeconds = 600;
constexpr long kMaxRate = 10000000;
using Clock = std::chrono::steady_clock;

// In the order of the usage line.
enum class Kind { kArpClaims, kGatewayClaims, kDhcpOffers, kAddresslessOffers };
const char* const kKindNames[] = {"arp-claims", "gateway-claims", "dhcp-offers", "addressless-offers"};

struct Target {
  uint8_t mac[6];
  uint8_t ip[4];
};

int usage(const char* why) {
  std::fprintf(stderr,
               "hardening_flood: %s\nusage: hardening_flood IFACE arp-claims|gateway-claims|dhcp-offers|addressless-offers HOST_IP "
               "HOST_MAC SECONDS [MAX_PER_SECOND]\n",
               why);
  return 2;
}

void put16(uint8_t* at, uint16_t v) {
  at[0] = static_cast<uint8_t>(v >> 8);
  at[1] = static_cast<uint8_t>(v);
}

uint32_t address(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  const uint8_t bytes[4] = {a, b, c, d};
  uint32_t out;
  std::memcpy(&out, bytes, sizeof(out));
  return out;
}

// The n-th address of 10.77.128.0/17, never .0 or .255 in its last byte.
uint32_t flood_ip(uint32_t n) {
  uint32_t host = n % (128u * 254u);
  return address(10, 77, static_cast<uint8_t>(128 + host / 254), static_cast<uint8_t>(1 + host % 254));
}

void flood_mac(uint8_t family, uint32_t n, uint8_t out[6]) {
  const uint8_t mac[6] = {0x02, 0x77, family, static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
                          static_cast<uint8_t>(n)};
  std::memcpy(out, mac, sizeof(mac));
}

size_t arp_claim(const Target& host, uint32_t sender_ip, const uint8_t sender_mac[6], uint8_t* frame) {
  uint32_t host_ip;
  std::memcpy(&host_ip, host.ip, sizeof(host_ip));
  HArpFrame::build(*reinterpret_cast<HArpFrame::Bytes*>(frame), L::kArpReply, host.mac, sender_mac, sender_ip,
                   host.mac, host_ip);
  return L::kMinFrameLen;
}

uint16_t ip_checksum(const uint8_t* header) {
  uint32_t sum = 0;
  for (int i = 0; i < L::kIpMinHeaderLen; i += 2) sum += static_cast<uint32_t>(header[i] << 8 | header[i + 1]);
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

// An offer from `server_mac` (10.77.X.2) to the host of `yiaddr` (0: no
// address), naming `router` as the gateway, in a 300-byte DHCP message.
size_t dhcp_offer(const Target& host, const uint8_t server_mac[6], uint32_t yiaddr, uint32_t router, uint32_t xid,
                  uint8_t* frame) {
  const uint8_t server_ip[4] = {10, 77, host.ip[2], 2};
  std::memset(frame, 0, kOfferLen);
  std::memcpy(frame + L::kEthDst, host.mac, L::kMacLen);
  std::memcpy(frame + L::kEthSrc, server_mac, L::kMacLen);
  put16(frame + L::kEthType, L::kEtherTypeIpv4);
  uint8_t* ip = frame + L::kEthHeaderLen;
  uint8_t* udp = ip + L::kIpMinHeaderLen;
  uint8_t* dhcp = udp + L::kUdpHeaderLen;
  ip[0] = 0x45;
  put16(ip + L::kIpTotalLen, static_cast<uint16_t>(kOfferLen - L::kEthHeaderLen));
  ip[8] = 64;  // time to live
  ip[L::kIpProtocol] = L::kIpProtocolUdp;
  std::memcpy(ip + L::kIpSource, server_ip, L::kIpv4Len);
  std::memcpy(ip + L::kIpDestination, host.ip, L::kIpv4Len);
  put16(ip + 10, ip_checksum(ip));
  put16(udp + L::kUdpSourcePort, 67);
  put16(udp + L::kUdpDestinationPort, 68);
  put16(udp + L::kUdpLen, static_cast<uint16_t>(kOfferLen - L::kEthHeaderLen - L::kIpMinHeaderLen));
  const uint8_t header[4] = {2, 1, 6, 0};  // a reply, Ethernet addresses
  std::memcpy(dhcp + L::kDhcpOp, header, sizeof(header));
  std::memcpy(dhcp + 4, &xid, sizeof(xid));
  std::memcpy(dhcp + L::kDhcpYiaddr, &yiaddr, L::kIpv4Len);
  std::memcpy(dhcp + L::kDhcpYiaddr + 4, server_ip, L::kIpv4Len);  // siaddr
  std::memcpy(dhcp + L::kDhcpChaddr, host.mac, L::kMacLen);
  uint8_t r[4];
  std::memcpy(r, &router, sizeof(r));
  // The magic cookie; offer, server, mask, router, lease time, end.
  const uint8_t options[] = {99, 130, 83, 99, 53, 1, 2, 54, 4, server_ip[0], server_ip[1], server_ip[2], server_ip[3],
                             1, 4, 255, 255, 255, 0, 3, 4, r[0], r[1], r[2], r[3], 51, 4, 0, 0, 0x0e, 0x10, 255};
  std::memcpy(dhcp + L::kDhcpFixedLen, options, sizeof(options));
  return kOfferLen;
}

size_t make_frame(Kind kind, const Target& host, uint32_t n, uint8_t* frame) {
  uint8_t mac[6];
  uint32_t host_ip;
  std::memcpy(&host_ip, host.ip, sizeof(host_ip));
  switch (kind) {
    case Kind::kArpClaims:
      flood_mac(0x80, n, mac);
      return arp_claim(host, flood_ip(n), mac, frame);
    case Kind::kGatewayClaims:
      flood_mac(0x81, n, mac);
      return arp_claim(host, address(10, 77, host.ip[2], 1), mac, frame);
    case Kind::kDhcpOffers: {
      const uint8_t server_mac[6] = {0x02, 0x77, host.ip[2], 0x00, 0x00, 0x02};
      return dhcp_offer(host, server_mac, host_ip, flood_ip(n), n, frame);
    }
    case Kind::kAddresslessOffers:
      flood_mac(0x82, n, mac);
      return dhcp_offer(host, mac, 0, flood_ip(n), n, frame);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6 || argc > 7) return usage("wrong number of arguments");
  const std::string kind_text = argv[2];
  int kind_index = 0;
  while (kind_index < 4 && kind_text != kKindNames[kind_index]) ++kind_index;
  if (kind_index == 4) return usage("unknown kind");
  const Kind kind = static_cast<Kind>(kind_index);
  Target host{};
  uint32_t host_ip = 0;
  if (!HIpv4Text::parse(std::string(argv[3]), host_ip)) return usage("HOST_IP is not an IPv4 address");
  std::memcpy(host.ip, &host_ip, sizeof(host.ip));
  if (host.ip[0] != 10 || host.ip[1] != 77 || host.ip[2] >= 128) return usage("HOST_IP must be in 10.77.0.0/17");
  if (!HMacText::parse(std::string(argv[4]), host.mac)) return usage("HOST_MAC is not aa:bb:cc:dd:ee:ff");
  long seconds = 0;
  long rate = 0;
  if (!parse_number(argv[5], 1, kMaxSeconds, seconds)) return usage("SECONDS must be 1..600");
  if (argc > 6 && !parse_number(argv[6], 1, kMaxRate, rate)) return usage("MAX_PER_SECOND must be 1..10000000");

  sockaddr_ll addr;
  int fd = open_send_socket("hardening_flood", argv[1], host.mac, addr);
  if (fd < 0) return 1;
  int bypass = 1;
  setsockopt(fd, SOL_PACKET, PACKET_QDISC_BYPASS, &bypass, sizeof(bypass));

  std::vector<uint8_t> frames(kBatch * kOfferLen);
  std::vector<iovec> iov(kBatch);
  std::vector<mmsghdr> messages(kBatch);
  const Clock::time_point start = Clock::now();
  const Clock::time_point end = start + std::chrono::seconds(seconds);
  uint64_t sent = 0;
  uint64_t refused = 0;
  uint32_t n = 0;
  while (Clock::now() < end) {
    if (rate > 0) {
      auto due = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                             static_cast<double>(sent) / static_cast<double>(rate)));
      if (due > Clock::now()) std::this_thread::sleep_until(std::min(due, end));
      if (Clock::now() >= end) break;
    }
    for (size_t i = 0; i < kBatch; ++i) {
      uint8_t* frame = frames.data() + i * kOfferLen;
      iov[i].iov_base = frame;
      iov[i].iov_len = make_frame(kind, host, n + static_cast<uint32_t>(i), frame);
      std::memset(&messages[i], 0, sizeof(messages[i]));
      messages[i].msg_hdr.msg_name = &addr;
      messages[i].msg_hdr.msg_namelen = sizeof(addr);
      messages[i].msg_hdr.msg_iov = &iov[i];
      messages[i].msg_hdr.msg_iovlen = 1;
    }
    int done = sendmmsg(fd, messages.data(), kBatch, 0);
    if (done < 0) {
      if (errno == ENOBUFS || errno == EAGAIN || errno == EINTR) {
        ++refused;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        continue;
      }
      std::fprintf(stderr, "hardening_flood: send on %s: %s\n", argv[1], std::strerror(errno));
      close(fd);
      return 1;
    }
    sent += static_cast<uint64_t>(done);
    n += static_cast<uint32_t>(done);
  }
  double took = std::chrono::duration<double>(Clock::now() - start).count();
  close(fd);
  std::printf("sent %llu frames in %.1f s (%.0f per second)\n", static_cast<unsigned long long>(sent), took,
              took > 0 ? static_cast<double>(sent) / took : 0.0);
  if (refused > 0) std::printf("socket busy %llu times\n", static_cast<unsigned long long>(refused));
  return 0;
}
