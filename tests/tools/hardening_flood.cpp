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
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSegment.h"
#include "tests/tools/LabTool.h"
#include "wire/HIpv4Text.h"
#include "wire/HMacText.h"

namespace {

constexpr size_t kBatch = 64;
constexpr long kMaxSeconds = 600;
constexpr long kMaxRate = 10000000;
using Clock = std::chrono::steady_clock;
using Station = BenchSegment::Station;

// In the order of the usage line.
enum class Kind { kArpClaims, kGatewayClaims, kDhcpOffers, kAddresslessOffers };
const char* const kKindNames[] = {"arp-claims", "gateway-claims", "dhcp-offers", "addressless-offers"};

int usage(const char* why) {
  std::fprintf(stderr,
               "hardening_flood: %s\nusage: hardening_flood IFACE arp-claims|gateway-claims|dhcp-offers|addressless-offers HOST_IP "
               "HOST_MAC SECONDS [MAX_PER_SECOND]\n",
               why);
  return 2;
}

// The n-th address of 10.77.128.0/17, never .0 or .255 in its last byte.
uint32_t flood_ip(uint32_t n) {
  uint32_t host = n % (128u * 254u);
  return 0x0a4d8000u | (host / 254) << 8 | (1 + host % 254);
}

// The n-th station of a family: MAC 02:77:FAMILY:.., address `ip`.
Station flood_station(uint8_t family, uint32_t n, uint32_t ip) {
  return {ip, {0x02, 0x77, family, static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)}};
}

BenchSegment::Frame claim(const Station& host, const Station& sender) {
  return BenchSegment::arp(2, sender, sender.mac, host.mac, host.mac, host.ip);
}

// The host's own subnet 10.77.X.0/24 has the gateway at .1 and the server
// of the dhcp-offers at .2 (MAC 02:77:X:00:00:02).
BenchSegment::Frame make_frame(Kind kind, const Station& host, uint32_t n) {
  const uint32_t subnet = host.ip & 0xffffff00u;
  switch (kind) {
    case Kind::kArpClaims:
      return claim(host, flood_station(0x80, n, flood_ip(n)));
    case Kind::kGatewayClaims:
      return claim(host, flood_station(0x81, n, subnet | 1));
    case Kind::kDhcpOffers:
      return BenchSegment::dhcp_offer(flood_station(static_cast<uint8_t>(host.ip >> 8), 2, subnet | 2), host.mac, host.ip, flood_ip(n), false);
    case Kind::kAddresslessOffers:
      return BenchSegment::dhcp_offer(flood_station(0x82, n, subnet | 2), host.mac, 0, flood_ip(n), false);
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6 || argc > 7) return usage("wrong number of arguments");
  const std::string kind_text = argv[2];
  int kind_index = 0;
  while (kind_index < 4 && kind_text != kKindNames[kind_index]) ++kind_index;
  if (kind_index == 4) return usage("unknown kind");
  const Kind kind = static_cast<Kind>(kind_index);
  Station host{};
  if (!HIpv4Text::parse(std::string(argv[3]), host.ip)) return usage("HOST_IP is not an IPv4 address");
  host.ip = ntohl(host.ip);
  if (host.ip >> 15 != 0x0a4d0000u >> 15) return usage("HOST_IP must be in 10.77.0.0/17");
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

  std::vector<BenchSegment::Frame> frames(kBatch);
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
      frames[i] = make_frame(kind, host, n + static_cast<uint32_t>(i));
      iov[i].iov_base = frames[i].data();
      iov[i].iov_len = frames[i].size();
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
