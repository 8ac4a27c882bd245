#include "arpguard/HArpAttackFilter.h"

#include <iterator>

#include "frame/AttackLog.h"
#include "host/HLanMgr.h"

namespace {

constexpr int kBurstTextId = 769;

// Constructed when the module is loaded, like the plug-in's other globals,
// and never destroyed: the guard's thread never stops and may still be
// judging a claim while the process runs its exit handlers.
HArpAttackFilter& g_filter = *new HArpAttackFilter;

}  // namespace

HArpAttackFilter& HArpAttackFilter::ins() { return g_filter; }

void HArpAttackFilter::check(const HMacChangeItem& item) {
  HIEUtil::RecMutex::Lock lock(mtx_filter);
  if (is_reported(item.new_mac)) return;
  make_key(item, str_key);
  auto same = map_recent.find(str_key);
  if (same != map_recent.end()) {
    // The same change seen again moves to the end of the window with its
    // new tick: its key and its MAC's count stay as they were.
    RecentIt it = same->second;
    lst_recent.splice(lst_recent.end(), lst_recent, it);
    *it = item;
  } else {
    if (lst_recent.size() >= kMaxRecent) erase_recent(lst_recent.begin());
    add_recent(item, str_key);
  }
  drop_stale(item.tick);
  int count = count_mac(item.new_mac);
  if (count < 2) return;
  report(item.new_mac, count);
}

// The three texts joined by a character that none of them holds, written
// into `key` so that its storage is reused from claim to claim.
void HArpAttackFilter::make_key(const HMacChangeItem& item, HString& key) {
  key = item.ip;
  key << L"\n" << item.old_mac << L"\n" << item.new_mac;
}

void HArpAttackFilter::add_recent(const HMacChangeItem& item, const HString& key) {
  RecentIt it = lst_recent.insert(lst_recent.end(), item);
  map_recent.emplace(key, it);
  ++map_mac_count[item.new_mac];
}

void HArpAttackFilter::erase_recent(RecentIt it) {
  make_key(*it, str_erase_key);
  map_recent.erase(str_erase_key);
  auto counted = map_mac_count.find(it->new_mac);
  if (counted != map_mac_count.end() && --counted->second <= 0) map_mac_count.erase(counted);
  lst_recent.erase(it);
}

bool HArpAttackFilter::is_reported(const HString& mac) const { return set_reported_mac.count(mac) != 0; }

// Only the leading run of old items goes: the scan stops at the first young
// one. The age is an unsigned difference, so a wrapped tick counter still
// gives the true distance.
void HArpAttackFilter::drop_stale(DWORD now) {
  while (!lst_recent.empty() && DWORD(now - lst_recent.front().tick) > kWindowMs) erase_recent(lst_recent.begin());
}

int HArpAttackFilter::count_mac(const HString& mac) const {
  auto counted = map_mac_count.find(mac);
  return counted == map_mac_count.end() ? 0 : counted->second;
}

void HArpAttackFilter::report(const HString& mac, int count) {
  HString text = HLanMgr::ins().get(kBurstTextId, HString(L"mac"), mac, HString(L"ms"), HString(L"1000"),
                                    HString(L"num"), HString(count, 10));
  write_attack_log(text);
  if (vt_reported_mac.size() >= kMaxReported) {
    for (size_t i = 0; i < kMaxReported / 2; ++i) set_reported_mac.erase(vt_reported_mac[i]);
    vt_reported_mac.erase(vt_reported_mac.begin(), vt_reported_mac.begin() + kMaxReported / 2);
  }
  vt_reported_mac.push_back(mac);
  set_reported_mac.insert(mac);
  for (RecentIt it = lst_recent.begin(); it != lst_recent.end();) {
    RecentIt next = std::next(it);
    if (it->new_mac == mac) erase_recent(it);
    it = next;
  }
}

size_t HArpAttackFilter::reported_count() {
  HIEUtil::RecMutex::Lock lock(mtx_filter);
  return vt_reported_mac.size();
}

size_t HArpAttackFilter::recent_count() {
  HIEUtil::RecMutex::Lock lock(mtx_filter);
  return lst_recent.size();
}

void HArpAttackFilter::reset() {
  HIEUtil::RecMutex::Lock lock(mtx_filter);
  vt_reported_mac.clear();
  set_reported_mac.clear();
  lst_recent.clear();
  map_recent.clear();
  map_mac_count.clear();
}
