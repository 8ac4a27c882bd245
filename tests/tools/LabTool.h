#pragma once
// What the lab's frame tools share: command-line numbers and the AF_PACKET
// socket they send on.
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// A command-line number: decimal, whole, within [low, high].
inline bool parse_number(const char* text, long low, long high, long& out) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
  out = v;
  return true;
}

// A socket that only sends (protocol 0 receives nothing) on `iface`, and
// the address of its frames to `dst_mac`; -1, said on standard error, when
// there is no such interface or no CAP_NET_RAW.
inline int open_send_socket(const char* tool, const char* iface, const unsigned char* dst_mac, sockaddr_ll& addr) {
  unsigned int ifindex = if_nametoindex(iface);
  if (ifindex == 0) {
    std::fprintf(stderr, "%s: no interface %s: %s\n", tool, iface, std::strerror(errno));
    return -1;
  }
  int fd = socket(AF_PACKET, SOCK_RAW, 0);
  if (fd < 0) {
    std::fprintf(stderr, "%s: AF_PACKET socket: %s (needs CAP_NET_RAW)\n", tool, std::strerror(errno));
    return -1;
  }
  addr = sockaddr_ll{};
  addr.sll_family = AF_PACKET;
  addr.sll_ifindex = static_cast<int>(ifindex);
  addr.sll_halen = ETH_ALEN;
  std::memcpy(addr.sll_addr, dst_mac, ETH_ALEN);
  return fd;
}
