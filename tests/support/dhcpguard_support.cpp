#include "tests/support/dhcpguard_support.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

// GTK, fontconfig and pango keep caches for the life of the process that
// the leak checker would otherwise report for the tests of real windows.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libgtk-3\nleak:libgdk-3\nleak:libglib-2.0\nleak:libgobject-2.0\n"
         "leak:libpango\nleak:libcairo\nleak:libharfbuzz\nleak:libX11\nleak:libgio-2.0\nleak:libatk\n";
}

namespace dhcpguard_test {

using tidewell_test::FrameBuilder;

namespace {
uint16_t ip_checksum(const Bytes& frame, size_t offset, size_t length) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < length; i += 2) sum += (frame[offset + i] << 8) | frame[offset + i + 1];
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}
}  // namespace

uint32_t ip_value(const std::string& ip) {
  uint32_t value = 0;
  std::memcpy(&value, ip_bytes(ip).data(), 4);
  return value;
}

Bytes routers_option(const std::vector<std::string>& routers) {
  FrameBuilder out;
  out.add8(3).add8(static_cast<uint8_t>(routers.size() * 4));
  for (const std::string& router : routers) out.add_ip(router);
  return out.bytes();
}

Bytes options(uint8_t msg_type, const std::vector<std::string>& routers) {
  FrameBuilder out;
  out.add({53, 1, msg_type});
  if (!routers.empty()) out.add(routers_option(routers));
  return out.add8(255).bytes();
}

size_t udp_len_at(const DhcpFields& f) { return 14 + 20 + f.ip_options.size() + 4; }
size_t dhcp_at(const DhcpFields& f) { return 14 + 20 + f.ip_options.size() + 8; }

Bytes dhcp_frame(const DhcpFields& f) {
  uint16_t udp_len = static_cast<uint16_t>(8 + 236 + 4 + f.options.size());
  uint8_t ip_header_len = static_cast<uint8_t>(20 + f.ip_options.size());
  FrameBuilder frame;
  frame.add_mac(f.eth_dst).add_mac(f.eth_src).add16(0x0800);
  // IPv4 header; the checksum is filled in once the header is complete.
  frame.add8(0x40 | ip_header_len / 4).add8(0).add16(static_cast<uint16_t>(ip_header_len + udp_len));
  frame.add16(0x1234).add16(0).add8(64).add8(f.protocol).add16(0);
  frame.add_ip(f.ip_src).add_ip(f.yiaddr != "0.0.0.0" ? f.yiaddr : f.ciaddr).add(f.ip_options);
  frame.set16(24, ip_checksum(frame.bytes(), 14, ip_header_len));
  // UDP header, no checksum.
  frame.add16(f.src_port).add16(f.dst_port).add16(udp_len).add16(0);
  // DHCP fixed part.
  frame.add8(f.op).add8(1).add8(6).add8(0);
  frame.add({0x5e, 0xed, 0x00, 0x01});  // xid
  frame.add_zero(4);                     // secs, flags (unicast)
  frame.add_ip(f.ciaddr).add_ip(f.yiaddr);
  frame.add_ip(kServerIp);  // siaddr
  frame.add_zero(4);        // giaddr
  frame.add_mac(f.eth_dst);
  frame.add_zero(10 + 64 + 128);  // chaddr padding, sname, file
  frame.add({99, 130, 83, 99});   // magic cookie
  return frame.add(f.options).bytes();
}

HDhcpGatewayItem gateway_item(const std::string& gateway_ip) {
  HDhcpGatewayItem item;
  item.gateway_ip = ip_value(gateway_ip);
  item.client_ip = ip_value(kOfferedIp);
  Bytes client = mac_bytes(kHostMac), server = mac_bytes(kServerMac);
  std::copy(client.begin(), client.end(), item.client_mac);
  std::copy(server.begin(), server.end(), item.server_mac);
  item.b_sent = true;
  item.retry_count = 2;
  item.send_tick = 77;
  return item;
}

namespace {
tidewell_test::PolicySetup dhcp_only() {
  tidewell_test::PolicySetup setup;
  setup.id = "p-dhcp";
  setup.mode = 0;
  return setup;
}
}  // namespace

DhcpEnv::DhcpEnv() : PluginEnv(dhcp_only()) {}

HWND wait_for_window(const HString& title, int timeout_ms) {
  HWND found = nullptr;
  eventually([&] { return (found = FindWindowW(nullptr, title.wc_str())) != nullptr && IsWindowVisible(found); },
             timeout_ms);
  return found && IsWindowVisible(found) ? found : nullptr;
}

bool wait_window_gone(HWND window, int timeout_ms) {
  return eventually([window] { return !IsWindow(window); }, timeout_ms);
}

std::wstring window_text(HWND window) {
  LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  LRESULT copied = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<size_t>(copied));
  return text;
}

}  // namespace dhcpguard_test
