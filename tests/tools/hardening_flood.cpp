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
#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/tools/ParseNumber.h"

namespace {

constexpr size_t kBatch = 64;
constexpr size_t kFrameMax = 342;
constexpr long kMaxSeconds = 600;
constexpr long kMaxRate = 10000000;
using Clock = std::chrono::steady_clock;

enum class Kind { kArpClaims, kGatewayClaims, kDhcpOffers, kAddresslessOffers };

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

bool parse_mac(const char* text, uint8_t out[6]) {
  unsigned v[6];
  if (std::sscanf(text, "%2x:%2x:%2x:%2x:%2x:%2x", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 6) return false;
  if (std::strlen(text) != 17) return false;
  for (int i = 0; i < 6; ++i) out[i] = static_cast<uint8_t>(v[i]);
  return true;
}

void put16(uint8_t* at, uint16_t v) {
  at[0] = static_cast<uint8_t>(v >> 8);
  at[1] = static_cast<uint8_t>(v);
}

// The n-th address of 10.77.128.0/17, never .0 or .255 in its last byte.
void flood_ip(uint32_t n, uint8_t out[4]) {
  uint32_t host = n % (128u * 254u);
  out[0] = 10;
  out[1] = 77;
  out[2] = static_cast<uint8_t>(128 + host / 254);
  out[3] = static_cast<uint8_t>(1 + host % 254);
}

void flood_mac(uint8_t family, uint32_t n, uint8_t out[6]) {
  out[0] = 0x02;
  out[1] = 0x77;
  out[2] = family;
  out[3] = static_cast<uint8_t>(n >> 16);
  out[4] = static_cast<uint8_t>(n >> 8);
  out[5] = static_cast<uint8_t>(n);
}

size_t arp_claim(const Target& host, const uint8_t sender_ip[4], const uint8_t sender_mac[6], uint8_t* frame) {
  std::memset(frame, 0, 60);
  std::memcpy(frame, host.mac, 6);
  std::memcpy(frame + 6, sender_mac, 6);
  put16(frame + 12, 0x0806);
  static const uint8_t kArpReply[] = {0x00, 0x01, 0x08, 0x00, 6, 4, 0x00, 0x02};
  std::memcpy(frame + 14, kArpReply, sizeof(kArpReply));
  std::memcpy(frame + 22, sender_mac, 6);
  std::memcpy(frame + 28, sender_ip, 4);
  std::memcpy(frame + 32, host.mac, 6);
  std::memcpy(frame + 38, host.ip, 4);
  return 60;
}

uint16_t ip_checksum(const uint8_t* header, size_t length) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < length; i += 2) sum += static_cast<uint32_t>(header[i] << 8 | header[i + 1]);
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

// An offer of `host.ip` from server 02:77:X:00:00:02, or with `server_mac`
// one that assigns no address.
size_t dhcp_offer(const Target& host, const uint8_t router[4], uint32_t xid, const uint8_t* server_mac_or_null,
                  uint8_t* frame) {
  const uint8_t default_mac[6] = {0x02, 0x77, host.ip[2], 0x00, 0x00, 0x02};
  const uint8_t* server_mac = server_mac_or_null ? server_mac_or_null : default_mac;
  const uint8_t server_ip[4] = {10, 77, host.ip[2], 2};
  std::memset(frame, 0, kFrameMax);
  std::memcpy(frame, host.mac, 6);
  std::memcpy(frame + 6, server_mac, 6);
  put16(frame + 12, 0x0800);
  uint8_t* ip = frame + 14;
  uint8_t* udp = ip + 20;
  uint8_t* dhcp = udp + 8;
  uint8_t* opt = dhcp + 240;
  size_t o = 0;
  const uint8_t options[] = {53, 1, 2, 54, 4, server_ip[0], server_ip[1], server_ip[2], server_ip[3], 1, 4, 255,
                             255, 255, 0, 3, 4, router[0], router[1], router[2], router[3], 51, 4, 0, 0, 0x0e, 0x10,
                             255};
  std::memcpy(opt, options, sizeof(options));
  o = sizeof(options);
  size_t dhcp_len = 240 + o;
  if (dhcp_len < 300) dhcp_len = 300;  // BOOTP minimum
  size_t udp_len = 8 + dhcp_len;
  size_t ip_len = 20 + udp_len;
  ip[0] = 0x45;
  put16(ip + 2, static_cast<uint16_t>(ip_len));
  ip[8] = 64;
  ip[9] = 17;
  std::memcpy(ip + 12, server_ip, 4);
  std::memcpy(ip + 16, host.ip, 4);
  put16(ip + 10, ip_checksum(ip, 20));
  put16(udp, 67);
  put16(udp + 2, 68);
  put16(udp + 4, static_cast<uint16_t>(udp_len));
  dhcp[0] = 2;  // reply
  dhcp[1] = 1;
  dhcp[2] = 6;
  std::memcpy(dhcp + 4, &xid, 4);
  if (!server_mac_or_null) std::memcpy(dhcp + 16, host.ip, 4);  // yiaddr
  std::memcpy(dhcp + 20, server_ip, 4);
  std::memcpy(dhcp + 28, host.mac, 6);
  static const uint8_t kCookie[] = {99, 130, 83, 99};
  std::memcpy(dhcp + 236, kCookie, 4);
  return 14 + ip_len;
}

size_t make_frame(Kind kind, const Target& host, uint32_t n, uint8_t* frame) {
  uint8_t ip[4];
  uint8_t mac[6];
  switch (kind) {
    case Kind::kArpClaims:
      flood_ip(n, ip);
      flood_mac(0x80, n, mac);
      return arp_claim(host, ip, mac, frame);
    case Kind::kGatewayClaims: {
      const uint8_t gateway[4] = {10, 77, host.ip[2], 1};
      flood_mac(0x81, n, mac);
      return arp_claim(host, gateway, mac, frame);
    }
    case Kind::kDhcpOffers:
      flood_ip(n, ip);
      return dhcp_offer(host, ip, n, nullptr, frame);
    case Kind::kAddresslessOffers:
      flood_ip(n, ip);
      flood_mac(0x82, n, mac);
      return dhcp_offer(host, ip, n, mac, frame);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6 || argc > 7) return usage("wrong number of arguments");
  Kind kind;
  std::string kind_text = argv[2];
  if (kind_text == "arp-claims") {
    kind = Kind::kArpClaims;
  } else if (kind_text == "gateway-claims") {
    kind = Kind::kGatewayClaims;
  } else if (kind_text == "dhcp-offers") {
    kind = Kind::kDhcpOffers;
  } else if (kind_text == "addressless-offers") {
    kind = Kind::kAddresslessOffers;
  } else {
    return usage("unknown kind");
  }
  Target host{};
  in_addr address{};
  if (inet_pton(AF_INET, argv[3], &address) != 1) return usage("HOST_IP is not an IPv4 address");
  std::memcpy(host.ip, &address, 4);
  if (host.ip[0] != 10 || host.ip[1] != 77 || host.ip[2] >= 128) return usage("HOST_IP must be in 10.77.0.0/17");
  if (!parse_mac(argv[4], host.mac)) return usage("HOST_MAC is not aa:bb:cc:dd:ee:ff");
  long seconds = 0;
  long rate = 0;
  if (!parse_number(argv[5], 1, kMaxSeconds, seconds)) return usage("SECONDS must be 1..600");
  if (argc > 6 && !parse_number(argv[6], 1, kMaxRate, rate)) return usage("MAX_PER_SECOND must be 1..10000000");

  unsigned int ifindex = if_nametoindex(argv[1]);
  if (ifindex == 0) {
    std::fprintf(stderr, "hardening_flood: no interface %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  int fd = socket(AF_PACKET, SOCK_RAW, 0);  // protocol 0: send only
  if (fd < 0) {
    std::fprintf(stderr, "hardening_flood: AF_PACKET socket: %s (needs CAP_NET_RAW)\n", std::strerror(errno));
    return 1;
  }
  int bypass = 1;
  setsockopt(fd, SOL_PACKET, PACKET_QDISC_BYPASS, &bypass, sizeof(bypass));
  sockaddr_ll addr{};
  addr.sll_family = AF_PACKET;
  addr.sll_ifindex = static_cast<int>(ifindex);
  addr.sll_halen = ETH_ALEN;
  std::memcpy(addr.sll_addr, host.mac, ETH_ALEN);

  std::vector<uint8_t> frames(kBatch * kFrameMax);
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
      uint8_t* frame = frames.data() + i * kFrameMax;
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
