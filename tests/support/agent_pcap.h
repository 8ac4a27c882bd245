#pragma once
// Helpers of the agent's tests: capture files written and read with libpcap,
// frames built byte by byte, and scratch folders.
#include <cstdint>
#include <string>
#include <vector>

namespace agent_test {

using Frame = std::vector<unsigned char>;

struct TimedFrame {
  double ts = 0;  // seconds of the capture's clock
  Frame bytes;
  uint32_t wire_len = 0;  // length on the wire when more than was captured
};

// Writes an Ethernet capture file (link type `linktype`, default Ethernet).
void write_pcap(const std::string& path, const std::vector<TimedFrame>& frames, int linktype = 1);
// The frames of a capture file; empty when it cannot be read.
std::vector<TimedFrame> read_pcap(const std::string& path);

// An Ethernet frame of `length` bytes (at least 14): the addresses, the
// ethertype, then `fill` up to the length.
Frame ethernet_frame(const std::string& dst_mac, const std::string& src_mac, uint16_t ethertype, size_t length,
                     unsigned char fill = 0);
// A 60-byte ARP frame as a host on the wire sends it.
Frame arp_frame(uint16_t op, const std::string& sender_mac, const std::string& sender_ip,
                const std::string& target_mac, const std::string& target_ip, const std::string& eth_dst);
// A DHCP offer from `server_mac` to `client_mac` offering `yiaddr` ("0.0.0.0" for none).
Frame dhcp_offer(const std::string& server_mac, const std::string& client_mac, const std::string& yiaddr,
                 const std::string& router);

// A fresh folder under the system's temporary folder, removed by the
// destructor.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return str_path; }
  std::string file(const std::string& name) const { return str_path + "/" + name; }

 private:
  std::string str_path;
};

std::string read_text(const std::string& path);
void write_text(const std::string& path, const std::string& text);

}  // namespace agent_test
