#pragma once
// Watches the suspected MAC changes for one sender MAC that claims several
// addresses within one second, writes such a MAC once to the attack log and
// then ignores it for the life of the process.
#include <list>
#include <vector>

#include "arpguard/HMacChangeItem.h"
#include "host/HIEUtil.h"
#include "host/HString.h"
#include "platform/WinTypes.h"

class HArpAttackFilter {
 public:
  // Items older than this, against the newest, leave the window.
  static constexpr DWORD kWindowMs = 1000;
  // A flood of ever new MACs, each claiming two gateways, must not grow the
  // list of reported MACs without limit: when it is full its older half is
  // forgotten (such a MAC, seen again, is written once more).
  static constexpr size_t kMaxReported = 4096;

  static HArpAttackFilter& ins();

  void check(const HMacChangeItem& item);

  // For tests and the agent's summary.
  size_t reported_count();
  size_t recent_count();

  HArpAttackFilter() = default;
  HArpAttackFilter(const HArpAttackFilter&) = delete;
  HArpAttackFilter& operator=(const HArpAttackFilter&) = delete;

 private:
  bool is_reported(const HString& mac) const;
  void drop_stale(DWORD now);
  int count_mac(const HString& mac) const;
  void report(const HString& mac, int count);

  std::vector<HString> vt_reported_mac;
  std::list<HMacChangeItem> lst_recent;
  HIEUtil::RecMutex mtx_filter;
};
