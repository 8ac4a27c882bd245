#include "arpguard/HThreadTidewell.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "arpguard/ArpBind.h"
#include "arpguard/HArpAttackFilter.h"
#include "arpguard/HBindList.h"
#include "arpguard/HGetSysArpTable.h"
#include "arpwatch/HTestThread.h"
#include "frame/HPTWGlobal.h"
#include "host/HEventCenter.h"
#include "host/HFileLog.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HNetworkUtil.h"
#include "platform/IpHelper.h"
#include "platform/WinTime.h"

namespace {

const wchar_t kSource[] = L".\\HThreadTidewell";

// The table read: a size query must be answered with 122 and at most 1 MiB;
// the read gets 5120 bytes more than asked for, for rows added in between,
// and a table of 800 rows or more is not looked at.
constexpr ULONG kMaxTableBytes = 0x100000;
constexpr ULONG kTableMargin = 5120;
constexpr ULONG kBufferSlack = 100;
constexpr DWORD kMaxTableRows = 800;
constexpr int kProtectByBinding = 2;
constexpr int kAutoBindOn = 1;
constexpr DWORD kStaticType = MIB_IPNET_TYPE_STATIC;
// A killed command is gone at once; this bounds the wait if it is not.
constexpr DWORD kKillWaitMs = 1000;

void log_text(int level, int line, const HString& text) {
  HFileLog::ins().log(level, kSource, line, L"%s", text.wc_str());
}

}  // namespace

HThreadTidewell::HThreadTidewell() {
  HFileLog::ins().log(2, kSource, __LINE__, L"HThreadTidewell::HThreadTidewell()");
  BuildMapAndSet(true);
  HFileLog::ins().log(2, kSource, __LINE__, L"HThreadTidewell::HThreadTidewell() BuildMapAndSet");
  HGetSysArpTable* refresher = new HGetSysArpTable();
  // The global state's pointer owns a reference: a start that fails must
  // not free what the pointer still names.
  refresher->__incRef();
  HPTWGlobal::ins().p_get_sys_arp_table = refresher;
  try {
    refresher->start(0).detach();
  } catch (const HIEUtil::NullHandleException&) {
    HFileLog::ins().log(1, kSource, __LINE__, L"HGetSysArpTable start failed");
  }
}

void HThreadTidewell::run() {
  HFileLog::ins().log(2, kSource, __LINE__, L"HThreadTidewell::run start");
  HArpNode node;  // reused: its texts keep their storage from claim to claim
  for (;;) {
    settle_bind_commands();
    if (try_pop_arp_node(node)) {
      check_arp_node(node);
    } else {
      wait_for_claims(kPollMs);
    }
  }
}

bool HThreadTidewell::run_pass() {
  settle_bind_commands();
  HArpNode node;
  if (!try_pop_arp_node(node)) return false;
  check_arp_node(node);
  return true;
}

// ---- judgement ----

void HThreadTidewell::check_arp_node(const HArpNode& node) {
  HTestThread* probe = HPTWGlobal::ins().p_test_thread;
  if (probe && probe->check_answer(node)) {
    BuildMapAndSet(false);
    return;
  }
  // Per thread and reused: judging a claim allocates nothing once the texts
  // have had their lengths.
  static thread_local HString ip;
  static thread_local HString mac;
  static thread_local HMacChangeItem item;
  if (judge_claim(ip.assign(node.sender_ip), mac.assign(node.sender_mac), item) != Verdict::kSuspect) return;
  // Both snapshot locks are released here: the probe thread takes mtx_map
  // while it holds its own lock.
  if (probe) probe->add_probe(item);
}

HThreadTidewell::Verdict HThreadTidewell::judge_claim(const HString& ip, const HString& mac, HMacChangeItem& item) {
  HIEUtil::RecMutex::Lock set_lock(mtx_set);
  if (set_static_ip.count(ip)) return Verdict::kDone;
  HIEUtil::RecMutex::Lock map_lock(mtx_map);
  auto learned = map_ip_mac.find(ip);
  if (learned == map_ip_mac.end()) {
    learn_first_claim(ip, mac);
    return Verdict::kDone;
  }
  if (learned->second == mac) return Verdict::kDone;
  if (!is_gateway_ip(ip)) return Verdict::kDone;
  if (judge_by_policy(ip, mac) == Verdict::kDone) return Verdict::kDone;

  item.old_mac = learned->second;
  item.new_mac = mac;
  item.tick = GetTickCount();
  // The filter sees the address too, so that one MAC claiming two gateways
  // that share an old MAC counts twice.
  item.ip = ip;
  HArpAttackFilter::ins().check(item);
  return Verdict::kSuspect;
}

// Protection by binding (mode 2, agent state allowing it): a configured pair
// is valid; otherwise the gateway is bound to its configured MAC, or
// reported as not bound.
HThreadTidewell::Verdict HThreadTidewell::judge_by_policy(const HString& ip, const HString& mac) {
  const std::vector<AntiARPSpoofing_Local>& policies = HPTWGlobal::ins().vt_arp;
  if (policies.empty()) return Verdict::kSuspect;
  const AntiARPSpoofing_Local& policy = policies.front();
  uint32_t state = HEventCenter::ins().i_state;
  if ((state & static_cast<uint32_t>(policy.iStateMask)) == 0 || policy.iAntiARPSpoofing != kProtectByBinding) {
    return Verdict::kSuspect;
  }
  HString bind_list = policy.strBindList;
  if (HBindList(bind_list).has_pair(ip, mac)) {
    log_text(2, __LINE__, HString(L"IP MAC ") + ip + HString(L"-") + mac + HString(L" is valid, return"));
    return Verdict::kDone;
  }
  if (policy.iAutoBind == kAutoBindOn) {
    auto_bind(ip, mac, bind_list);
    return Verdict::kDone;
  }
  HPTWGlobal::ins().report_attack(true, {{L"mac", mac}}, L"AntiARP_RP_ARP_NO_BIND", 3);
  return Verdict::kSuspect;
}

void HThreadTidewell::auto_bind(const HString& ip, const HString& mac, const HString& bind_list) {
  HString configured;
  HBindList::Lookup found = HBindList(bind_list).configured_mac(ip, configured);
  if (found == HBindList::Lookup::kFound) {
    // Its command still runs: the outcome is reported when it ends.
    if (map_bind_command.count(ip)) return;
    log_text(2, __LINE__, HString(L"Auto bind IP-MAC:") + ip + HString(L"-") + configured);
    HBindAttempt attempt = bind_ip_mac(ip, configured, kStaticType);
    if (attempt.kind == HBindAttempt::Kind::kCommandStarted) {
      if (attempt.process.hThread) CloseHandle(attempt.process.hThread);
      map_bind_command[ip] = BindCommand{mac, configured, attempt.process.hProcess, GetTickCount()};
      return;
    }
    finish_binding(ip, mac, configured, attempt.str_cause);
    return;
  }
  if (found == HBindList::Lookup::kMalformed) {
    log_text(1, __LINE__, HString(L"Configured MAC of ") + ip + HString(L" is not a MAC: ") + configured);
  }
  HPTWGlobal::ins().report_attack(true, {{L"mac", mac}}, L"AntiARP_RP_ARP_BIND_FAIL", 2);
  log_text(2, __LINE__,
           HString(L"Want to bind ") + ip + HString(L"-") + HString(L", but can not find it in mac list ") + bind_list);
}

void HThreadTidewell::finish_binding(const HString& ip, const HString& mac, const HString& configured,
                                     const HString& cause) {
  BuildMapAndSet(false);
  if (is_bound(ip, configured)) {
    HPTWGlobal::ins().report_attack(true, {{L"mac", mac}, {L"macb", configured}, {L"ipb", ip}},
                                    L"AntiARP_RP_ARP_BIND", 1);
    return;
  }
  HString why = cause.empty() ? HString(L"the entry is not static with that MAC afterwards") : cause;
  log_text(1, __LINE__, HString(L"Bind ") + ip + HString(L"-") + configured + HString(L" failed: ") + why);
  HPTWGlobal::ins().report_attack(true, {{L"mac", mac}}, L"AntiARP_RP_ARP_BIND_FAIL", 2);
}

// A command that ended is judged by the table; one past its time is killed
// (and waited for briefly: the reaper thread of the platform takes it in
// any case).
void HThreadTidewell::settle_bind_commands() {
  if (map_bind_command.empty()) return;
  HIEUtil::RecMutex::Lock set_lock(mtx_set);
  HIEUtil::RecMutex::Lock map_lock(mtx_map);
  for (auto it = map_bind_command.begin(); it != map_bind_command.end();) {
    const BindCommand& command = it->second;
    HString cause;
    if (WaitForSingleObject(command.h_process, 0) == WAIT_TIMEOUT) {
      if (DWORD(GetTickCount() - command.dw_started) < kBindCommandMs) {
        ++it;
        continue;
      }
      TerminateProcess(command.h_process, 1);
      WaitForSingleObject(command.h_process, kKillWaitMs);
      cause << L"arp -s did not end within " << kBindCommandMs << L" ms and was killed";
    } else {
      DWORD code = 0;
      if (GetExitCodeProcess(command.h_process, &code) && code != 0) cause << L"arp -s ended with exit code " << code;
    }
    CloseHandle(command.h_process);
    BindCommand ended = command;
    HString ip = it->first;
    it = map_bind_command.erase(it);
    finish_binding(ip, ended.str_mac, ended.str_configured, cause);
  }
}

void HThreadTidewell::learn_first_claim(const HString& ip, const HString& mac) {
  if (map_ip_mac.size() < kMaxLearned || is_gateway_ip(ip)) {
    map_ip_mac[ip] = mac;
    return;
  }
  uint64_t total = 0;
  if (!unlearned_drops.count(total)) return;
  HFileLog::ins().log(1, kSource, __LINE__, L"learned map full (%d addresses), first claims not learned so far %llu",
                      static_cast<int>(kMaxLearned), static_cast<unsigned long long>(total));
}

bool HThreadTidewell::is_gateway_ip(const HString& ip) {
  std::shared_ptr<const std::vector<HNetwrokAdapterNode>> adapters = HNetworkUtil::GetNICInfoShared();
  for (const HNetwrokAdapterNode& adapter : *adapters) {
    for (const HString& gateway : adapter.vt_gateway) {
      if (gateway == ip) return true;
    }
  }
  return false;
}

// ---- learned map and static set ----

void HThreadTidewell::set_ip_mac(const HString& ip, const HString& mac) {
  HIEUtil::RecMutex::Lock lock(mtx_map);
  map_ip_mac[ip] = mac;
}

bool HThreadTidewell::learned_mac(const HString& ip, HString& mac) {
  HIEUtil::RecMutex::Lock lock(mtx_map);
  auto found = map_ip_mac.find(ip);
  if (found == map_ip_mac.end()) return false;
  mac = found->second;
  return true;
}

size_t HThreadTidewell::learned_count() {
  HIEUtil::RecMutex::Lock lock(mtx_map);
  return map_ip_mac.size();
}

bool HThreadTidewell::is_static(const HString& ip) {
  HIEUtil::RecMutex::Lock lock(mtx_set);
  return set_static_ip.count(ip) != 0;
}

void HThreadTidewell::start_test_thread(const HString& main_ip, const HString& main_mac) {
  str_main_ip = main_ip;
  str_main_mac = main_mac;
  HPTWGlobal& global = HPTWGlobal::ins();
  if (global.p_test_thread) return;
  global.p_test_thread = new HTestThread(str_main_ip, str_main_mac);
  // Owned by the global state, which the guard reads it from even when its
  // thread could not start.
  global.p_test_thread->__incRef();
  try {
    global.p_test_thread->start(0).detach();
  } catch (const HIEUtil::NullHandleException&) {
    HFileLog::ins().log(1, kSource, __LINE__, L"HTestThread start failed");
  }
}

void HThreadTidewell::BuildMapAndSet(bool learn_dynamic) {
  HIEUtil::RecMutex::Lock set_lock(mtx_set);
  HIEUtil::RecMutex::Lock map_lock(mtx_map);
  set_static_ip.clear();

  ULONG ulSize = 0;
  DWORD ret = GetIpNetTable(nullptr, &ulSize, FALSE);
  if (ret != ERROR_INSUFFICIENT_BUFFER || ulSize == 0 || ulSize > kMaxTableBytes) {
    HString line(L"BuildMapAndSet ret ");
    line << ret << L", ulsize:" << ulSize << L",error code:" << GetLastError();
    log_text(2, __LINE__, line);
    return;
  }
  ulSize += kTableMargin;
  size_t words = (ulSize + kBufferSlack + sizeof(DWORD) - 1) / sizeof(DWORD);
  std::unique_ptr<DWORD[]> buffer(new (std::nothrow) DWORD[words]());
  if (!buffer) {
    log_text(1, __LINE__, HString(L"New fail"));
    return;
  }
  ret = GetIpNetTable(reinterpret_cast<PMIB_IPNETTABLE>(buffer.get()), &ulSize, FALSE);
  DWORD entries = 0;
  std::memcpy(&entries, buffer.get(), sizeof(entries));
  if (ret != NO_ERROR || entries >= kMaxTableRows) {
    HString line(L"GetIpNetTable ret ");
    line << ret << L", ulSize " << ulSize << L", pIPNetTable->dwNumEntries " << entries << L", ec "
         << GetLastError();
    log_text(1, __LINE__, line);
    return;
  }
  apply_table(reinterpret_cast<const unsigned char*>(buffer.get()), ulSize, learn_dynamic);
}

// Runs under both snapshot locks. Rows are copied out of the buffer, and
// never more of them than the buffer holds.
void HThreadTidewell::apply_table(const unsigned char* buffer, ULONG size, bool learn_dynamic) {
  const size_t rows_at = offsetof(MIB_IPNETTABLE, table);
  DWORD entries = 0;
  std::memcpy(&entries, buffer, sizeof(entries));
  size_t fits = size > rows_at ? (size - rows_at) / sizeof(MIB_IPNETROW) : 0;
  if (entries > fits) entries = static_cast<DWORD>(fits);
  for (DWORD i = 0; i < entries; ++i) {
    MIB_IPNETROW row;
    std::memcpy(&row, buffer + rows_at + i * sizeof(MIB_IPNETROW), sizeof(row));
    HString ip(HNetworkProtocolUtil::GetIPString(row.dwAddr, true));
    if (row.dwType == MIB_IPNET_TYPE_STATIC) {
      set_static_ip.insert(ip);
      map_ip_mac.erase(ip);
    } else if (row.dwType == MIB_IPNET_TYPE_DYNAMIC) {
      if (learn_dynamic) map_ip_mac[ip] = HString(HNetworkProtocolUtil::GetMACString(row.bPhysAddr));
    } else {
      map_ip_mac.erase(ip);
    }
  }
}
