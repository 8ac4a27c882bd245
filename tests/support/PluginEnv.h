#pragma once
// The plug-in as a test sets it up: a temporary agent home, one policy record
// where the plug-in reads it (the data center, the global state's copy, the
// agent online, the audit store opened in the home) and, when the setup
// names a host, the virtual host, its adapters' gateways and an in-memory ARP
// table. The home goes on destruction; the table and the plug-in's objects
// live on, as the guard's refresher may still read them.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/MemoryArpTable.h"
#include "tests/support/TestHome.h"

class HThreadTidewell;
class HTestThread;

namespace tidewell_test {

struct PolicySetup {
  std::string id = "p1";
  int32_t mode = 1;  // iAntiARPSpoofing
  int32_t dhcp = 1;  // iAntiDHCPSpoofing
  int32_t auto_bind = 0;
  std::string bind_list;
  // The virtual host and the gateway of each of its adapters (veth0, veth1,
  // ...); without a host address none is set.
  std::string host_ip;
  std::string host_mac;
  std::vector<std::string> gateways;
};

class PluginEnv {
 public:
  explicit PluginEnv(const PolicySetup& setup = PolicySetup());
  const std::string& home() const { return tmp_home.path(); }
  platform::MemoryArpTable& table() { return *p_table; }
  std::string general_log() const { return tidewell_test::general_log(); }
  std::string attack_log() const { return read_file(tmp_home.file("log/Attack.log")); }
  // Creates the guard (which reads the table) and an unstarted probe thread
  // asking from the virtual host, both stored in the global state.
  HThreadTidewell& make_guard();
  HTestThread& probe();

 private:
  PolicySetup policy;
  TestHome tmp_home{"plugin-test"};
  platform::MemoryArpTable* p_table = new platform::MemoryArpTable();
};

}  // namespace tidewell_test
