#pragma once
// Watches the suspected MAC changes for one sender MAC that claims several
// addresses within one second, writes such a MAC once to the attack log and
// then ignores it for the life of the process.
#include <list>
#include <map>
#include <set>
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
  // Each claim is looked up in the window by key and counted per MAC, not
  // compared with every other claim of the last second: under a flood that
  // would cost the guard time in the square of the claims per second. And
  // the window holds at most this many claims (the oldest leave first), so
  // that its memory does not grow with the flood's rate.
  static constexpr size_t kMaxRecent = 4096;

  static HArpAttackFilter& ins();

  void check(const HMacChangeItem& item);

  // For tests and the agent's summary.
  size_t reported_count();
  size_t recent_count();
  // Forgets every claim and reported MAC: the filter as at start (a test
  // seam, for the tests of one program that each start afresh).
  void reset();

  HArpAttackFilter() = default;
  HArpAttackFilter(const HArpAttackFilter&) = delete;
  HArpAttackFilter& operator=(const HArpAttackFilter&) = delete;

 private:
  typedef std::list<HMacChangeItem>::iterator RecentIt;

  bool is_reported(const HString& mac) const;
  void drop_stale(DWORD now);
  int count_mac(const HString& mac) const;
  void report(const HString& mac, int count);
  void add_recent(const HMacChangeItem& item, const HString& key);
  void erase_recent(RecentIt it);
  static void make_key(const HMacChangeItem& item, HString& key);

  std::vector<HString> vt_reported_mac;  // in the order reported
  std::set<HString> set_reported_mac;
  std::list<HMacChangeItem> lst_recent;  // in the order seen
  std::map<HString, RecentIt> map_recent;  // by ip, old and new MAC
  std::map<HString, int> map_mac_count;    // items of lst_recent per new MAC
  HString str_key;        // the checked item's key, under mtx_filter
  HString str_erase_key;  // the key of an item leaving the window
  HIEUtil::RecMutex mtx_filter;
};
