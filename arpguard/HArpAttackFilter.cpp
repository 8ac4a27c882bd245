#include "arpguard/HArpAttackFilter.h"

#include <algorithm>

#include "frame/AttackLog.h"
#include "host/HLanMgr.h"

namespace {

constexpr int kBurstTextId = 769;

// Constructed when the module is loaded, like the plug-in's other globals.
HArpAttackFilter g_filter;

}  // namespace

HArpAttackFilter& HArpAttackFilter::ins() { return g_filter; }

void HArpAttackFilter::check(const HMacChangeItem& item) {
  HIEUtil::RecMutex::Lock lock(mtx_filter);
  if (is_reported(item.new_mac)) return;
  auto same = std::find(lst_recent.begin(), lst_recent.end(), item);
  if (same != lst_recent.end()) lst_recent.erase(same);
  lst_recent.push_back(item);
  drop_stale(item.tick);
  int count = count_mac(item.new_mac);
  if (count < 2) return;
  report(item.new_mac, count);
}

bool HArpAttackFilter::is_reported(const HString& mac) const {
  return std::find(vt_reported_mac.begin(), vt_reported_mac.end(), mac) != vt_reported_mac.end();
}

// Only the leading run of old items goes: the scan stops at the first young
// one. The age is an unsigned difference, so a wrapped tick counter still
// gives the true distance.
void HArpAttackFilter::drop_stale(DWORD now) {
  auto young = std::find_if(lst_recent.begin(), lst_recent.end(),
                            [now](const HMacChangeItem& recent) { return DWORD(now - recent.tick) <= kWindowMs; });
  lst_recent.erase(lst_recent.begin(), young);
}

int HArpAttackFilter::count_mac(const HString& mac) const {
  return static_cast<int>(std::count_if(lst_recent.begin(), lst_recent.end(),
                                        [&mac](const HMacChangeItem& recent) { return recent.new_mac == mac; }));
}

void HArpAttackFilter::report(const HString& mac, int count) {
  HString text = HLanMgr::ins().get(kBurstTextId, HString(L"mac"), mac, HString(L"ms"), HString(L"1000"),
                                    HString(L"num"), HString(count, 10));
  write_attack_log(text);
  if (vt_reported_mac.size() >= kMaxReported) {
    vt_reported_mac.erase(vt_reported_mac.begin(), vt_reported_mac.begin() + kMaxReported / 2);
  }
  vt_reported_mac.push_back(mac);
  lst_recent.remove_if([&mac](const HMacChangeItem& recent) { return recent.new_mac == mac; });
}

size_t HArpAttackFilter::reported_count() {
  HIEUtil::RecMutex::Lock lock(mtx_filter);
  return vt_reported_mac.size();
}

size_t HArpAttackFilter::recent_count() {
  HIEUtil::RecMutex::Lock lock(mtx_filter);
  return lst_recent.size();
}
