// frame_inject [--vlan ID] IFACE HEXFRAME [count] [interval_ms]
//
// Sends one Ethernet frame, given as hex (separators ':', '-', ' ' and '.'
// allowed), `count` times on IFACE through an AF_PACKET socket, `interval_ms`
// apart. The frame goes out exactly as given: no padding, no checksum, so
// short or malformed frames can be sent on purpose. With --vlan an 802.1Q
// tag of VLAN ID (0..4095, priority 0) is put behind the MACs. Needs
// CAP_NET_RAW.
// Exit codes: 0 sent, 1 system error, 2 bad usage.
#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/tools/ParseNumber.h"

namespace {

constexpr size_t kMinFrame = 14;    // an Ethernet header
constexpr size_t kMaxFrame = 1514;  // Ethernet without FCS
constexpr long kMaxCount = 10000;
constexpr long kMaxIntervalMs = 60000;
constexpr long kMaxVlanId = 4095;
constexpr size_t kMacsLen = 12;

int usage(const char* why) {
  std::fprintf(stderr, "frame_inject: %s\nusage: frame_inject [--vlan ID] IFACE HEXFRAME [count] [interval_ms]\n",
               why);
  return 2;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool parse_hex(const std::string& text, std::vector<unsigned char>& out) {
  int high = -1;
  for (char c : text) {
    if (c == ':' || c == '-' || c == ' ' || c == '.') continue;
    int v = hex_value(c);
    if (v < 0) return false;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<unsigned char>(high * 16 + v));
      high = -1;
      if (out.size() > kMaxFrame) return false;
    }
  }
  return high < 0;
}

void add_vlan_tag(std::vector<unsigned char>& frame, long vlan_id) {
  const unsigned char tag[4] = {0x81, 0x00, static_cast<unsigned char>(vlan_id >> 8),
                                static_cast<unsigned char>(vlan_id & 0xff)};
  frame.insert(frame.begin() + kMacsLen, tag, tag + sizeof(tag));
}

}  // namespace

int main(int argc, char** argv) {
  long vlan_id = -1;
  if (argc > 2 && std::strcmp(argv[1], "--vlan") == 0) {
    if (!parse_number(argv[2], 0, kMaxVlanId, vlan_id)) return usage("--vlan ID must be 0..4095");
    argc -= 2;
    argv += 2;
  }
  if (argc < 3 || argc > 5) return usage("wrong number of arguments");
  std::vector<unsigned char> frame;
  if (!parse_hex(argv[2], frame)) return usage("HEXFRAME is not an even number of hex digits (at most 1514 bytes)");
  if (frame.size() < kMinFrame) return usage("HEXFRAME is shorter than an Ethernet header (14 bytes)");
  if (vlan_id >= 0) add_vlan_tag(frame, vlan_id);
  long count = 1;
  long interval_ms = 0;
  if (argc > 3 && !parse_number(argv[3], 1, kMaxCount, count)) return usage("count must be 1..10000");
  if (argc > 4 && !parse_number(argv[4], 0, kMaxIntervalMs, interval_ms)) return usage("interval_ms must be 0..60000");

  unsigned int ifindex = if_nametoindex(argv[1]);
  if (ifindex == 0) {
    std::fprintf(stderr, "frame_inject: no interface %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  int fd = socket(AF_PACKET, SOCK_RAW, 0);  // protocol 0: send only, receive nothing
  if (fd < 0) {
    std::fprintf(stderr, "frame_inject: AF_PACKET socket: %s (needs CAP_NET_RAW)\n", std::strerror(errno));
    return 1;
  }
  sockaddr_ll addr{};
  addr.sll_family = AF_PACKET;
  addr.sll_ifindex = static_cast<int>(ifindex);
  addr.sll_halen = ETH_ALEN;
  std::memcpy(addr.sll_addr, frame.data(), ETH_ALEN);

  int rc = 0;
  for (long i = 0; i < count; ++i) {
    if (i > 0 && interval_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(interval_ms));
    ssize_t sent = sendto(fd, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    if (sent != static_cast<ssize_t>(frame.size())) {
      std::fprintf(stderr, "frame_inject: send on %s: %s\n", argv[1], sent < 0 ? std::strerror(errno) : "short write");
      rc = 1;
      break;
    }
  }
  close(fd);
  return rc;
}
