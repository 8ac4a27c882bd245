#pragma once
// The probe thread: asks a gateway's old MAC whether it is still there.
#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <vector>

#include "arpguard/HMacChangeItem.h"
#include "frame/HDropCounter.h"
#include "frame/HPendingProbes.h"
#include "host/HArpNode.h"
#include "host/HIEUtil.h"
#include "host/HString.h"

struct HArpProbeItem : HMacChangeItem {
  explicit HArpProbeItem(const HMacChangeItem& item) : HMacChangeItem(item) {}
  DWORD send_tick = 0;
  DWORD retry_count = 0;
  bool b_sent = false;
};

// The key of a probe item's address text, for the pending mask.
struct HArpProbeAddress {
  uint32_t operator()(const HArpProbeItem& item) const;
};

class HTestThread : public HIEUtil::Thread {
 public:
  using ProbeList = HPendingProbes<std::list<HArpProbeItem>, HArpProbeAddress>;
  // Requests for one item go at least this far apart; after this many silent
  // periods the new MAC is accepted.
  static constexpr DWORD kRetryIntervalMs = ProbeList::kRetryIntervalMs;
  static constexpr DWORD kMaxRetries = ProbeList::kMaxRetries;
  static constexpr DWORD kPassIntervalMs = 200;
  // A flood of claims with ever new MACs for a gateway must not grow the list
  // (and the requests sent per pass) without limit: changes beyond this many
  // pending are dropped and counted. A dropped change comes back with the
  // next claim that repeats it, since the learned MAC stays the old one.
  static constexpr size_t kMaxPendingProbes = 1024;

  HTestThread(const HString& own_ip, const HString& own_mac);
  void run() override;
  // One pass of `run` (without its 200 ms sleep).
  void run_pass();

  void add_probe(const HMacChangeItem& item);
  bool check_answer(const HArpNode& node);

  size_t pending();
  // A copy of the changes waiting for the old MAC's answer.
  std::vector<HMacChangeItem> pending_items();
  uint64_t dropped();

  // Called on the guard thread after a confirmed spoof of `ip` has been
  // reported, with the MAC that answered (the genuine one). None by default.
  using SpoofObserver = std::function<void(const HString& ip, const HString& genuine_mac)>;
  void set_spoof_observer(SpoofObserver observer);

 private:
  void send_request(const HArpProbeItem& item);
  // False when the policy or the agent's state asks for no report.
  bool report_spoofers(const std::list<HString>& spoofer_macs);

  // Guarded by mtx_probe, but for the list's pending mask.
  ProbeList lst_probe{kMaxPendingProbes};
  HIEUtil::RecMutex mtx_probe;
  HString str_own_ip;
  HString str_own_mac;
  // Guarded by mtx_probe.
  SpoofObserver fn_spoof_observer;
  HDropCounter drops;
};
