#pragma once
// The segment of the benchmark captures: the guarded host, its gateway, a
// few hundred other hosts, the spoofers that claim the gateway, a DHCP
// server and a rogue one. Addresses are 10.77.x.y and locally administered
// 02:77:... MACs, so nothing here can be mistaken for a real network. The
// frame builders write complete Ethernet frames as they appear on the wire.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class BenchSegment {
 public:
  typedef std::vector<unsigned char> Frame;
  struct Station {
    uint32_t ip;  // host byte order
    unsigned char mac[6];
  };

  static constexpr size_t kDefaultHosts = 300;
  static constexpr size_t kMaxHosts = 5000;
  static constexpr size_t kSpoofers = 4;
  static constexpr int kArpFrameLen = 60;

  // `hosts` is clamped to 1..kMaxHosts.
  explicit BenchSegment(size_t hosts = kDefaultHosts);

  const Station& guarded() const { return st_guarded; }
  const Station& gateway() const { return st_gateway; }
  const Station& dhcp_server() const { return st_server; }
  const Station& rogue_server() const { return st_rogue; }
  // The gateway that the rogue server names; nobody answers for it.
  uint32_t rogue_gateway() const { return ul_rogue_gateway; }
  const Station& host(size_t index) const { return vt_hosts[index % vt_hosts.size()]; }
  size_t host_count() const { return vt_hosts.size(); }
  const unsigned char* spoofer_mac(size_t index) const { return vt_spoofers[index % kSpoofers].mac; }

  // ARP over Ethernet, 60 bytes; a zero `eth_dst` means broadcast.
  static Frame arp(uint16_t op, const Station& sender, const unsigned char* sender_mac, const unsigned char* eth_dst,
                   const unsigned char* target_mac, uint32_t target_ip);
  // A DHCPOFFER of `server` to `client_mac` assigning `yiaddr` (0: none)
  // with `router` as option 3; to the broadcast address when `broadcast`.
  static Frame dhcp_offer(const Station& server, const unsigned char* client_mac, uint32_t yiaddr, uint32_t router,
                          bool broadcast);
  // An IPv4 frame of `length` bytes (60..1514) that is no DHCP message:
  // UDP to a port other than 67/68, or TCP; the payload comes from `fill`.
  static Frame other_ipv4(const Station& from, const Station& to, bool tcp, size_t length, uint64_t fill);

  static std::string ip_text(uint32_t ip);
  static std::string mac_text(const unsigned char* mac);

 private:
  Station st_guarded;
  Station st_gateway;
  Station st_server;
  Station st_rogue;
  uint32_t ul_rogue_gateway;
  std::vector<Station> vt_hosts;
  std::vector<Station> vt_spoofers;
};
