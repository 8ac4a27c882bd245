#pragma once
// Helpers for the ARP guard tests: table rows from text, a fresh agent home
// with a policy, gateways, an in-memory ARP table, and recorders for what the
// guard produces (started processes, attack-log texts).
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "host/ARPSpoofingReport_Local.h"
#include "host/HArpNode.h"
#include "host/HString.h"
#include "platform/IpHelper.h"
#include "platform/MemoryArpTable.h"
#include "platform/WinProcess.h"
#include "tests/support/CoreRecorder.h"
#include "tests/support/FakeTicks.h"
#include "tests/support/TestHome.h"

class HThreadTidewell;
class HTestThread;

namespace arpguard_test {

extern const char kHostIp[];
extern const char kHostMac[];
extern const char kGatewayIp[];   // gateway of the first adapter
extern const char kGateway2Ip[];  // gateway of the second adapter
extern const char kGatewayMac[];
extern const char kGateway2Mac[];
extern const char kSpooferMac[];
extern const char kOtherIp[];  // on the segment, no gateway
extern const char kOtherMac[];

MIB_IPNETROW row(const std::string& ip, const std::string& mac, DWORD type, DWORD index = 7);
std::vector<MIB_IPNETROW> numbered_rows(size_t count, DWORD type);
std::string ip_of(const MIB_IPNETROW& row);
std::string mac_of(const MIB_IPNETROW& row);
// A reply to the host claiming that `ip` is at `mac`.
HArpNode claim(const std::string& ip, const std::string& mac);
using tidewell_test::CoreRecorder;
using tidewell_test::count_of;
using tidewell_test::FakeTicks;
using tidewell_test::narrow;
using tidewell_test::read_file;

struct Policy {
  int32_t mode = 2;  // iAntiARPSpoofing
  int32_t state_mask = 1;
  uint32_t state_word = 1;
  int32_t auto_bind = 1;
  std::string bind_list;
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

// Texts sent to the debugger output (the attack log sends each text there).
class DebugRecorder {
 public:
  DebugRecorder();
  ~DebugRecorder();
  std::vector<std::string> texts();
  size_t count_containing(const std::string& needle);

 private:
  std::mutex mtx_texts;
  std::vector<std::string> vt_texts;
};

// A temporary agent home with the virtual host, two adapters (gateways
// kGatewayIp and kGateway2Ip), the policy in the global state and the data
// center, the audit store opened and an in-memory ARP table. The home goes
// on destruction; the table and the plug-in objects live on, as the guard's
// refresher may still read them.
class GuardEnv {
 public:
  explicit GuardEnv(const Policy& policy = Policy());
  platform::MemoryArpTable& table() { return *p_table; }
  const std::string& home() const { return tmp_home.path(); }
  std::string general_log() const { return tidewell_test::general_log(); }
  // Creates the guard (which reads the table) and an unstarted probe thread,
  // both stored in the global state.
  HThreadTidewell& make_guard();
  HTestThread& probe();

 private:
  tidewell_test::TestHome tmp_home{"arpguard-test"};
  platform::MemoryArpTable* p_table = new platform::MemoryArpTable();
};

}  // namespace arpguard_test
