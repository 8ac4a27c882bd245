#pragma once
// Helpers for the ARP watch tests: ARP frames to and from the virtual host,
// and a fresh agent home with a virtual host, policy and in-memory ARP
// table.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/CommonNames.h"
#include "tests/support/PluginEnv.h"

namespace arpwatch_test {

using namespace tidewell_test::common;
using tidewell_test::arp_frame;

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

// The watch's segment: the virtual host kHostIp with one adapter whose
// gateway is kGatewayIp, mode 1, both protections on.
struct PolicySetup : tidewell_test::PolicySetup {
  PolicySetup();
};
class WatchEnv : public tidewell_test::PluginEnv {
 public:
  explicit WatchEnv(const PolicySetup& policy = PolicySetup()) : PluginEnv(policy) {}
};

}  // namespace arpwatch_test
