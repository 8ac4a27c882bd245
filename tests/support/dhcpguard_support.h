#pragma once
// Helpers for the DHCP guard tests: DHCP and ARP frames built field by
// field, the probe requests the guard must send, a fresh agent home with a
// DHCP policy, a recording wire and core, a settable tick counter, a
// private X server for the real windows, and window look-ups.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "host/ARPSpoofingReport_Local.h"
#include "host/HString.h"
#include "platform/WinTypes.h"
#include "platform/WinUser.h"

namespace dhcpguard_test {

typedef std::vector<unsigned char> Bytes;

extern const char kClientMac[];  // this host
extern const char kServerMac[];  // the DHCP server
extern const char kOfferedIp[];
extern const char kGatewayIp[];
extern const char kGateway2Ip[];

Bytes mac_bytes(const std::string& mac);
Bytes ip_bytes(const std::string& ip);
// As stored in a frame (network byte order).
uint32_t ip_value(const std::string& ip);
std::string hex(const Bytes& bytes);

// Options areas (behind the magic cookie).
Bytes options(uint8_t msg_type, const std::vector<std::string>& routers);
Bytes routers_option(const std::vector<std::string>& routers);

struct DhcpFields {
  std::string eth_dst = kClientMac;
  std::string eth_src = kServerMac;
  uint8_t op = 2;
  std::string ciaddr = "0.0.0.0";
  std::string yiaddr = kOfferedIp;
  Bytes options = dhcpguard_test::options(2, {kGatewayIp});
};
// Ethernet, IPv4, UDP 67 -> 68 and the DHCP message with its options.
Bytes dhcp_frame(const DhcpFields& fields);

// The broadcast request the gateway probe must send, written out field by
// field: zero padding for the first request, counting padding after.
Bytes probe_request(const std::string& client_mac, const std::string& client_ip, const std::string& gateway_ip,
                    bool counting_padding);
// An ARP frame from `sender_ip` (op 1 request, 2 reply), `length` bytes.
Bytes arp_frame(const std::string& sender_ip, const std::string& sender_mac, uint16_t op, size_t length = 60);

// A temporary agent home with one policy (DHCP protection on) and the
// audit store opened; removed on destruction.
class DhcpEnv {
 public:
  DhcpEnv();
  ~DhcpEnv();
  const std::string& home() const { return str_home; }
  std::string attack_log() const;
  std::string general_log() const;

 private:
  std::string str_home;
};

// Every frame the plug-in sends lands here instead of on the wire.
class SentFrames {
 public:
  SentFrames();
  ~SentFrames();
  std::vector<Bytes> frames();

 private:
  std::mutex mtx_frames;
  std::vector<Bytes> vt_frames;
};

// Stands in for the agent core: accepts and keeps every report.
class CoreRecorder {
 public:
  CoreRecorder();
  ~CoreRecorder();
  std::vector<ARPSpoofingReport_Local> reports();

 private:
  std::mutex mtx_reports;
  std::vector<ARPSpoofingReport_Local> vt_reports;
};

// GetTickCount answers what the test says.
class FakeTicks {
 public:
  explicit FakeTicks(DWORD start);
  ~FakeTicks();
  void set(DWORD now);
  void advance(DWORD ms);

 private:
  std::mutex mtx_now;
  DWORD dw_now;
};

// A private X server for this test process (Xvfb on a free display, gone
// when the process ends). False when Xvfb is missing or does not start.
bool start_private_display();

// Window look-ups, bounded in time.
HWND wait_for_window(const HString& title, int timeout_ms = 5000);
bool wait_window_gone(HWND window, int timeout_ms = 5000);
std::wstring window_text(HWND window);

std::string narrow(const HString& text);
std::string utf8(const std::wstring& text);
std::string read_file(const std::string& path);
size_t count_of(const std::string& haystack, const std::string& needle);
// Polls `done` every 10 ms for up to `timeout_ms`.
bool eventually(const std::function<bool()>& done, int timeout_ms = 5000);

}  // namespace dhcpguard_test
