#pragma once
// The plug-in as start-up leaves it, for the frame targets: a virtual host
// (10.77.0.10, gateways 10.77.0.1 and 10.77.0.2), an in-memory ARP table,
// the policy, the audit store, the guard, the probe thread and both capture
// callbacks. No thread of the plug-in runs on its own but the table
// refresher (every 30 s): the target drives the guard, the probe thread and
// the DHCP gateway probe pass by pass on a tick counter of its own, so that
// an input always does the same.
#include <cstdint>
#include <string>

#include "host/HString.h"
#include "platform/WinTypes.h"

class HDhcpAttackCallback;
class HTWPkgCallback;
class HTestThread;
class HThreadTidewell;

namespace platform {
class MemoryArpTable;
}

class FuzzPlugin {
 public:
  static constexpr const char* kHostIp = "10.77.0.10";
  static constexpr const char* kHostMac = "02:77:00:00:00:0a";
  static constexpr const char* kGatewayIp = "10.77.0.1";
  static constexpr const char* kGatewayMac = "02:77:00:00:00:01";
  static constexpr const char* kGateway2Ip = "10.77.0.2";

  static FuzzPlugin& ins();

  // Sets the policy record for the next input (the guard reads it per claim)
  // and puts the ARP table back as it was at start-up.
  void begin_input(int32_t arp_mode, bool auto_bind, bool state_matches, const HString& bind_list);
  // Judges every queued claim, then lets time pass until every probe of the
  // ARP and the DHCP probe threads is settled. Aborts when one is left over:
  // a probe that never ends is a lock-up.
  void settle();
  // Lets `ms` pass in steps of one probe pass, running the passes.
  void advance(DWORD ms);

  HTWPkgCallback& arp() { return *p_arp; }
  HDhcpAttackCallback& dhcp() { return *p_dhcp; }
  HThreadTidewell& guard() { return *p_guard; }

 private:
  FuzzPlugin();
  void pass();

  platform::MemoryArpTable* p_table = nullptr;
  HThreadTidewell* p_guard = nullptr;
  HTestThread* p_probe = nullptr;
  HTWPkgCallback* p_arp = nullptr;
  HDhcpAttackCallback* p_dhcp = nullptr;
};
