#include "arpwatch/HTestThread.h"

#include <map>

#include "arpguard/HThreadTidewell.h"
#include "frame/HPTWGlobal.h"
#include "host/HEventCenter.h"
#include "host/HFileLog.h"
#include "host/HWinPCapHelper.h"
#include "platform/WinTime.h"

namespace {
const wchar_t kLogSource[] = L".\\HTestThread";

// HString(narrow) == wide, without the copy: HString widens every byte.
bool same_text(const HString& wide, const std::string& narrow) {
  const std::wstring& w = wide.wstr();
  if (w.size() != narrow.size()) return false;
  for (size_t i = 0; i < w.size(); ++i) {
    if (w[i] != static_cast<wchar_t>(static_cast<unsigned char>(narrow[i]))) return false;
  }
  return true;
}

// The mask's key of an address text, narrow or wide: equal texts give equal
// keys, which is all the mask needs. A hash (FNV-1a) rather than a checked
// parse: the guard asks for every claim.
template <typename Text>
uint32_t text_key(const Text& text) {
  uint32_t hash = 2166136261u;
  for (auto c : text) hash = (hash ^ static_cast<uint32_t>(c & 0xff)) * 16777619u;
  return hash;
}
}  // namespace

uint32_t HArpProbeAddress::operator()(const HArpProbeItem& item) const { return text_key(item.ip.wstr()); }

HTestThread::HTestThread(const HString& own_ip, const HString& own_mac)
    : str_own_ip(own_ip), str_own_mac(own_mac) {}

void HTestThread::run() {
  HFileLog::ins().log(2, kLogSource, __LINE__, L"HTestThread::run start");
  for (;;) {
    Sleep(kPassIntervalMs);
    run_pass();
  }
}

void HTestThread::run_pass() {
  HIEUtil::RecMutex::Lock lock(mtx_probe);
  lst_probe.pass([this](const HArpProbeItem& item, bool) { send_request(item); },
                 [](const HArpProbeItem& item) {
                   // The old MAC stayed silent: the gateway really moved.
                   HThreadTidewell* guard = HPTWGlobal::ins().p_thread_tidewell;
                   if (guard) guard->set_ip_mac(item.ip, item.new_mac);
                 });
}

void HTestThread::send_request(const HArpProbeItem& item) {
  HArpNode node;
  node.op = HWireLayout::kArpRequest;
  node.sender_ip = str_own_ip.get_str_direct();
  node.sender_mac = str_own_mac.get_str_direct();
  node.target_ip = item.ip.get_str_direct();
  node.target_mac = item.old_mac.get_str_direct();
  HWinPCapHelper::instance().send_arp(node, false);
}

void HTestThread::add_probe(const HMacChangeItem& item) {
  HIEUtil::RecMutex::Lock lock(mtx_probe);
  for (const HArpProbeItem& pending_item : lst_probe.items()) {
    if (static_cast<const HMacChangeItem&>(pending_item) == item) return;
  }
  if (lst_probe.add(HArpProbeItem(item))) {
    drops.rearm();
    return;
  }
  // Once when the list fills, then at most once a second while it stays full.
  uint64_t total = 0;
  if (!drops.count(total)) return;
  HFileLog::ins().log(1, kLogSource, __LINE__,
                      L"probe list full (%d pending), dropping change of %s to %s, changes dropped so far %llu",
                      static_cast<int>(lst_probe.size()), item.ip.wc_str(), item.new_mac.wc_str(),
                      static_cast<unsigned long long>(total));
}

bool HTestThread::check_answer(const HArpNode& node) {
  // The guard asks for every claim; mostly nothing is being probed for its
  // sender, which the mask tells without the lock, and the texts are
  // compared without making wide copies of them.
  if (!lst_probe.may_hold(text_key(node.sender_ip))) return false;
  HIEUtil::RecMutex::Lock lock(mtx_probe);
  std::list<HString> spoofer_macs;
  // Only a probed item can be answered: a frame from the old MAC before the
  // first request says nothing about the claim.
  lst_probe.remove_if([&](const HArpProbeItem& item) {
    if (!item.b_sent || !same_text(item.ip, node.sender_ip) || !same_text(item.old_mac, node.sender_mac)) {
      return false;
    }
    spoofer_macs.push_back(item.new_mac);
    return true;
  });
  if (spoofer_macs.empty()) return false;
  if (report_spoofers(spoofer_macs) && fn_spoof_observer) {
    fn_spoof_observer(HString(node.sender_ip), HString(node.sender_mac));
  }
  return true;
}

bool HTestThread::report_spoofers(const std::list<HString>& spoofer_macs) {
  HPTWGlobal& global = HPTWGlobal::ins();
  if (global.vt_arp.empty()) return false;
  const AntiARPSpoofing_Local& policy = global.vt_arp[0];
  uint32_t state = HEventCenter::ins().i_state;
  if ((state & static_cast<uint32_t>(policy.iStateMask)) == 0 || policy.iAntiARPSpoofing != 1) return false;
  for (const HString& mac : spoofer_macs) {
    std::map<HString, HString> desc;
    desc[L"mac"] = mac;
    global.report_attack(true, desc, L"AntiARP_RP_ARP", 0);
  }
  return true;
}

void HTestThread::set_spoof_observer(SpoofObserver observer) {
  HIEUtil::RecMutex::Lock lock(mtx_probe);
  fn_spoof_observer = std::move(observer);
}

size_t HTestThread::pending() {
  HIEUtil::RecMutex::Lock lock(mtx_probe);
  return lst_probe.size();
}

std::vector<HMacChangeItem> HTestThread::pending_items() {
  HIEUtil::RecMutex::Lock lock(mtx_probe);
  return std::vector<HMacChangeItem>(lst_probe.items().begin(), lst_probe.items().end());
}

uint64_t HTestThread::dropped() { return drops.total(); }
