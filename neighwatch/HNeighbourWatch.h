#pragma once
// The kernel's neighbour table as a second source of claims. A frame that
// the capture never hands to the guard (a gratuitous ARP, a forged request
// for another host) can still change the host's cache; the kernel announces
// the change, and a gateway's entry that now holds a MAC other than the one
// the guard holds for it becomes a claim, as a reply to this host would be.
// The guard's own judgement then applies unchanged.
#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "frame/HDropCounter.h"
#include "host/HArpNode.h"
#include "host/HIEUtil.h"
#include "host/HString.h"
#include "platform/IpHelper.h"

class HThreadTidewell;

class HNeighbourWatch : public HIEUtil::Thread {
 public:
  // A wait for events ends at least this often, so that a stop is seen.
  static constexpr int kWaitMs = 200;

  // Starts the watch for the guard of the global state, when the guard
  // takes ARP claims and the capture is live: a replayed host's table is
  // not the kernel's.
  static void start_watch();

  HNeighbourWatch(HThreadTidewell& guard, const HString& main_ip, const HString& main_mac);
  void run() override;
  void stop() { b_stop = true; }

  // The claim that a changed entry stands for: a reply claiming the
  // entry's address and MAC, addressed to this host. False for an entry
  // that is no gateway's, holds no MAC (unresolved, deleted), is static
  // (the guard's own binding, or the user's), holds the MAC the last event
  // showed, or the MAC the guard holds for the address.
  bool claim_of(const MIB_IPNETROW& row, HArpNode& claim);
  // Hands the claims of the rows to the guard and wakes it.
  void take_rows(const std::vector<MIB_IPNETROW>& rows);

  uint64_t claims() const { return ull_claims.load(); }
  uint64_t lost() const { return lost_events.total(); }

 private:
  void note_lost();

  HThreadTidewell* p_guard;
  std::string str_main_ip;
  std::string str_main_mac;
  // The MAC that the last event showed for each gateway; the watch
  // thread's own.
  std::map<std::string, std::string> map_last_mac;
  std::atomic<bool> b_stop{false};
  std::atomic<uint64_t> ull_claims{0};
  // The watch thread's own.
  HDropCounter lost_events;
};
