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
constexpr unsigned char kArpRequest = 1;

// HString(narrow) == wide, without the copy: HString widens every byte.
bool same_text(const HString& wide, const std::string& narrow) {
  const std::wstring& w = wide.wstr();
  if (w.size() != narrow.size()) return false;
  for (size_t i = 0; i < w.size(); ++i) {
    if (w[i] != static_cast<wchar_t>(static_cast<unsigned char>(narrow[i]))) return false;
  }
  return true;
}

// Character codes as same_text compares them: a narrow byte is widened
// unsigned.
uint32_t code_of(char c) { return static_cast<unsigned char>(c); }
uint32_t code_of(wchar_t c) { return static_cast<uint32_t>(c); }

// One bit of 64 per sender address, the same for its wide and its narrow
// text: a claim whose bit is clear has no probe to answer.
template <typename Text>
uint64_t sender_bit(const Text& text) {
  uint32_t hash = 2166136261u;
  for (auto c : text) hash = (hash ^ code_of(c)) * 16777619u;
  return uint64_t{1} << (hash >> 26);
}
}  // namespace

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
  for (auto it = lst_probe.begin(); it != lst_probe.end();) {
    if (step_item(*it)) {
      ++it;
    } else {
      it = lst_probe.erase(it);
    }
  }
  count_pending();
}

// Under mtx_probe, after every change of the list.
void HTestThread::count_pending() {
  uint64_t mask = 0;
  for (const HArpProbeItem& item : lst_probe) mask |= sender_bit(item.ip.wstr());
  ull_pending_mask.store(mask, std::memory_order_release);
}

bool HTestThread::step_item(HArpProbeItem& item) {
  if (!item.b_sent) {
    send_request(item);
    item.b_sent = true;
    item.send_tick = GetTickCount();
    return true;
  }
  // Unsigned difference: the tick counter wraps after 49.7 days.
  DWORD elapsed = GetTickCount() - item.send_tick;
  if (elapsed < kRetryIntervalMs) return true;
  if (++item.retry_count >= kMaxRetries) {
    // The old MAC stayed silent: the gateway really moved.
    HThreadTidewell* guard = HPTWGlobal::ins().p_thread_tidewell;
    if (guard) guard->set_ip_mac(item.ip, item.new_mac);
    return false;
  }
  send_request(item);
  item.send_tick = GetTickCount();
  return true;
}

void HTestThread::send_request(const HArpProbeItem& item) {
  HArpNode node;
  node.op = kArpRequest;
  node.sender_ip = str_own_ip.get_str_direct();
  node.sender_mac = str_own_mac.get_str_direct();
  node.target_ip = item.ip.get_str_direct();
  node.target_mac = item.old_mac.get_str_direct();
  HWinPCapHelper::instance().send_arp(node, false);
}

void HTestThread::add_probe(const HMacChangeItem& item) {
  HIEUtil::RecMutex::Lock lock(mtx_probe);
  for (const HArpProbeItem& pending_item : lst_probe) {
    if (static_cast<const HMacChangeItem&>(pending_item) == item) return;
  }
  if (lst_probe.size() >= kMaxPendingProbes) {
    ++ull_dropped;
    // Once when the list fills, then at most once a second while it stays full.
    DWORD now = GetTickCount();
    if (!b_full || DWORD(now - dw_drop_logged) >= kDropLogMs) {
      b_full = true;
      dw_drop_logged = now;
      HFileLog::ins().log(1, kLogSource, __LINE__,
                          L"probe list full (%d pending), dropping change of %s to %s, changes dropped so far %llu",
                          static_cast<int>(lst_probe.size()), item.ip.wc_str(), item.new_mac.wc_str(),
                          static_cast<unsigned long long>(ull_dropped));
    }
    return;
  }
  b_full = false;
  lst_probe.emplace_back(item);
  count_pending();
}

bool HTestThread::check_answer(const HArpNode& node) {
  // The guard asks for every claim; mostly nothing is being probed for its
  // sender, which the mask tells without the lock, and the texts are
  // compared without making wide copies of them.
  if ((ull_pending_mask.load(std::memory_order_acquire) & sender_bit(node.sender_ip)) == 0) return false;
  HIEUtil::RecMutex::Lock lock(mtx_probe);
  if (lst_probe.empty()) return false;
  std::list<HString> spoofer_macs;
  for (auto it = lst_probe.begin(); it != lst_probe.end();) {
    // Only a probed item can be answered: a frame from the old MAC before
    // the first request says nothing about the claim.
    if (it->b_sent && same_text(it->ip, node.sender_ip) && same_text(it->old_mac, node.sender_mac)) {
      spoofer_macs.push_back(it->new_mac);
      it = lst_probe.erase(it);
    } else {
      ++it;
    }
  }
  if (spoofer_macs.empty()) return false;
  count_pending();
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
  return std::vector<HMacChangeItem>(lst_probe.begin(), lst_probe.end());
}

uint64_t HTestThread::dropped() {
  HIEUtil::RecMutex::Lock lock(mtx_probe);
  return ull_dropped;
}
