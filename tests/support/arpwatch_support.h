#pragma once
// Helpers for the ARP watch tests: ARP frames to and from the virtual host,
// and a fresh agent home with a virtual host, policy and in-memory ARP
// table.
#include <cstdint>
#include <string>
#include <vector>

#include "host/AntiARPSpoofing_Local.h"
#include "platform/MemoryArpTable.h"
#include "tests/support/CoreRecorder.h"
#include "tests/support/FakeTicks.h"
#include "tests/support/FrameBuilder.h"
#include "tests/support/SentFrames.h"
#include "tests/support/TestHome.h"

namespace arpwatch_test {

using tidewell_test::arp_frame;
using tidewell_test::Bytes;
using tidewell_test::CoreRecorder;
using tidewell_test::count_of;
using tidewell_test::FakeTicks;
using tidewell_test::hex;
using tidewell_test::ip_bytes;
using tidewell_test::mac_bytes;
using tidewell_test::narrow;
using tidewell_test::read_file;
using tidewell_test::SentFrames;

// The virtual host and its segment.
extern const char kHostIp[];
extern const char kHostMac[];
extern const char kGatewayIp[];
extern const char kGatewayMac[];
extern const char kSpooferMac[];

// A reply to the virtual host unless the test says otherwise.
struct ArpFields : tidewell_test::ArpFields {
  ArpFields();
};
// A 60-byte frame whose padding is the probe marker.
Bytes marked_frame(const ArpFields& fields);
// The request the probe thread must send to `old_mac` for `ip`.
Bytes expected_request(const std::string& ip, const std::string& old_mac);

struct PolicySetup {
  int32_t mode = 1;  // iAntiARPSpoofing
  int32_t state_mask = 1;
  uint32_t state_word = 1;
  int32_t auto_bind = 0;
  std::string bind_list;
};

// A temporary agent home with the virtual host (kHostIp/kHostMac), one
// adapter whose gateway is kGatewayIp, an in-memory ARP table, the policy,
// and the audit store opened. The home goes on destruction; the ARP table
// and the plug-in's long-lived objects stay until the process ends.
class WatchEnv {
 public:
  explicit WatchEnv(const PolicySetup& policy = PolicySetup());
  const std::string& home() const { return tmp_home.path(); }
  platform::MemoryArpTable& arp_table() { return *p_arp_table; }
  // The general log as written so far.
  std::string general_log() const { return tidewell_test::general_log(); }

 private:
  tidewell_test::TestHome tmp_home{"arpwatch-test"};
  // Outlives the test: the guard's refresher keeps reading it.
  platform::MemoryArpTable* p_arp_table = new platform::MemoryArpTable();
};

}  // namespace arpwatch_test
