#pragma once
// Helpers for the ARP guard and watch tests: table rows and ARP frames from
// text, a fresh agent home with a policy, gateways, an in-memory ARP table,
// and recorders for what the guard produces (started processes, attack-log
// texts).
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "host/ARPSpoofingReport_Local.h"
#include "host/HArpNode.h"
#include "host/HString.h"
#include "platform/IpHelper.h"
#include "platform/WinProcess.h"
#include "tests/support/CommonNames.h"
#include "tests/support/PluginEnv.h"

class HTestThread;
class HThreadTidewell;

namespace arpguard_test {

using namespace tidewell_test::common;
using tidewell_test::arp_frame;
using tidewell_test::ArpFields;

inline constexpr char kHostIp[] = "10.77.1.10";
inline constexpr char kHostMac[] = "02:77:00:00:01:10";
inline constexpr char kGatewayIp[] = "10.77.1.1";   // gateway of the first adapter
inline constexpr char kGateway2Ip[] = "10.77.2.1";  // gateway of the second adapter
inline constexpr char kGatewayMac[] = "02:77:00:00:01:01";
inline constexpr char kGateway2Mac[] = "02:77:00:00:02:01";
inline constexpr char kSpooferMac[] = "02:77:00:00:0e:0e";
inline constexpr char kOtherIp[] = "10.77.1.20";  // on the segment, no gateway
inline constexpr char kOtherMac[] = "02:77:00:00:01:20";

MIB_IPNETROW row(const std::string& ip, const std::string& mac, DWORD type, DWORD index = 7);
// The n-th of many addresses: 10.<net>.<n / 250>.<n % 250 + 1>, and the MAC
// 02:<net>:00:00:<n / 250>:<n % 250 + 1> (hex); distinct below n = 62500.
std::string numbered_ip(int net, size_t n);
std::string numbered_mac(int net, size_t n);
// Rows of numbered_ip(78, n) at numbered_mac(0x78, n).
std::vector<MIB_IPNETROW> numbered_rows(size_t count, DWORD type);
std::string ip_of(const MIB_IPNETROW& row);
std::string mac_of(const MIB_IPNETROW& row);
// A reply to the host claiming that `ip` is at `mac`.
HArpNode claim(const std::string& ip, const std::string& mac);

// A 60-byte frame whose padding is the probe marker.
Bytes marked_frame(const ArpFields& fields);

// The guard's segment: the virtual host kHostIp with two adapters (gateways
// kGatewayIp and kGateway2Ip), by default mode 2 with automatic binding.
struct Policy : tidewell_test::PolicySetup {
  explicit Policy(int32_t protection_mode = 2);
};
class GuardEnv : public tidewell_test::PluginEnv {
 public:
  explicit GuardEnv(const Policy& policy = Policy()) : PluginEnv(policy) {}
};

// Command lines handed to CreateProcessW instead of starting processes. An
// "arp -s" lands in the in-memory ARP table, as the real command's would,
// unless the commands hang: then they run, doing nothing, until killed.
class ProcessRecorder {
 public:
  ProcessRecorder();
  ~ProcessRecorder();
  std::vector<platform::ProcessLaunch> launches();
  void hang(bool hang);

 private:
  std::mutex mtx_launches;
  std::vector<platform::ProcessLaunch> vt_launches;
};

// A guard and its probe thread over both gateways' dynamic rows, neither
// thread started, with every way out recorded: nothing reaches the wire, the
// core or a process.
class GuardRig {
 public:
  GuardRig(const Policy& policy, DWORD start_tick);
  // The MAC the guard learned for `ip`, or "<none>".
  std::string learned(const std::string& ip);

  tidewell_test::SentFrames sent;
  GuardEnv env;
  FakeTicks ticks;
  CoreRecorder core;
  ProcessRecorder processes;
  HThreadTidewell* guard = nullptr;
  HTestThread* probe = nullptr;
};

}  // namespace arpguard_test
