#pragma once
// Helpers of the agent's tests: capture files written and read with libpcap,
// frames built byte by byte, and scratch folders.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/FrameBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHome.h"

namespace agent_test {

using Frame = tidewell_test::Bytes;
using ScratchDir = tidewell_test::TempDir;
using tidewell_test::count_of;
using tidewell_test::read_file;
using tidewell_test::write_file;

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

}  // namespace agent_test
