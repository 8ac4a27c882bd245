#pragma once
// Helpers for the DHCP guard tests: DHCP frames built field by field, the
// ARP probe requests the guard must send, a fresh agent home with a DHCP
// policy, a private X server for the real windows, and window look-ups.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dhcpguard/HTestDhcpGateway.h"
#include "host/HString.h"
#include "platform/WinTypes.h"
#include "platform/WinUser.h"
#include "tests/support/CommonNames.h"
#include "tests/support/PluginEnv.h"
#include "tests/support/PrivateDisplay.h"
#include "tests/support/WindowMode.h"
#include "tests/support/arpguard_support.h"

namespace dhcpguard_test {

using namespace tidewell_test::common;

// The guard's segment: this host (the DHCP client) and its gateways.
using arpguard_test::kGateway2Ip;
using arpguard_test::kGatewayIp;
using arpguard_test::kHostMac;
inline constexpr char kServerMac[] = "02:77:00:00:01:53";  // the DHCP server
inline constexpr char kServerIp[] = "10.77.1.53";
inline constexpr char kOfferedIp[] = "10.77.1.50";

// As stored in a frame (network byte order).
uint32_t ip_value(const std::string& ip);

// Options areas (behind the magic cookie).
Bytes options(uint8_t msg_type, const std::vector<std::string>& routers);
Bytes routers_option(const std::vector<std::string>& routers);

struct DhcpFields {
  std::string eth_dst = kHostMac;
  std::string eth_src = kServerMac;
  std::string ip_src = kServerIp;
  uint8_t op = 2;
  std::string ciaddr = "0.0.0.0";
  std::string yiaddr = kOfferedIp;
  Bytes options = dhcpguard_test::options(2, {kGatewayIp});
  // The IPv4 header's options (a multiple of 4 bytes) and what it carries.
  Bytes ip_options;
  uint8_t protocol = 17;
  uint16_t src_port = 67;
  uint16_t dst_port = 68;
};
// Ethernet, IPv4, UDP (by default from port 67 to port 68; the ports stand
// where a TCP header has them) and the DHCP message with its options.
Bytes dhcp_frame(const DhcpFields& fields);
// Where dhcp_frame puts the IPv4 total length, the UDP length and the DHCP
// message.
constexpr size_t kIpTotalLenAt = 16;
size_t udp_len_at(const DhcpFields& fields);
size_t dhcp_at(const DhcpFields& fields);

// A gateway named by an offer from kServerMac to kHostMac for kOfferedIp,
// with the values a caller might leave behind in the probe's own fields (the
// probe starts every item afresh).
HDhcpGatewayItem gateway_item(const std::string& gateway_ip);

// One policy with DHCP protection alone, no virtual host.
class DhcpEnv : public tidewell_test::PluginEnv {
 public:
  DhcpEnv();
};

// Window look-ups, bounded in time.
HWND wait_for_window(const HString& title, int timeout_ms = 5000);
bool wait_window_gone(HWND window, int timeout_ms = 5000);
std::wstring window_text(HWND window);

using tidewell_test::eventually;

}  // namespace dhcpguard_test
