#pragma once
// The ARP guard: judges every ARP claim addressed to this host against the
// learned map and the static set of the system ARP table.
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <set>

#include "arpguard/HMacChangeItem.h"
#include "host/HArpNode.h"
#include "host/HIEUtil.h"
#include "host/HString.h"
#include "platform/WinTypes.h"

class HThreadTidewell : public HIEUtil::Thread {
 public:
  // Claims beyond this many waiting are dropped (newest first), counted and
  // logged: a flood must not grow the queue without limit.
  static constexpr size_t kMaxQueuedNodes = 4096;
  // The guard looks at its empty queue this often.
  static constexpr DWORD kPollMs = 200;

  HThreadTidewell();
  void run() override;
  // Judges the oldest waiting claim, if any; false when the queue was empty.
  // `run` without its waiting.
  bool run_pass();

  void push_arp_node(const HArpNode& node);
  HArpNode pop_arp_node();
  void check_arp_node(const HArpNode& node);
  void set_ip_mac(const HString& ip, const HString& mac);
  void start_test_thread(const HString& main_ip, const HString& main_mac);
  bool is_gateway_ip(const HString& ip);
  void BuildMapAndSet(bool learn_dynamic);

  // For tests and the agent's summary.
  bool learned_mac(const HString& ip, HString& mac);
  bool is_static(const HString& ip);
  size_t queued();
  uint64_t dropped() const { return ull_dropped.load(); }

 private:
  enum class Verdict { kDone, kSuspect };

  bool try_pop_arp_node(HArpNode& node);
  void log_drop(uint64_t total);
  Verdict judge_claim(const HString& ip, const HString& mac, HMacChangeItem& item);
  Verdict judge_by_policy(const HString& ip, const HString& mac);
  void auto_bind(const HString& ip, const HString& mac, const HString& bind_list);
  void apply_table(const unsigned char* buffer, ULONG size, bool learn_dynamic);

  std::deque<HArpNode> dq_arp_node;
  HIEUtil::RecMutex mtx_queue;
  std::map<HString, HString> map_ip_mac;
  HIEUtil::RecMutex mtx_map;
  std::set<HString> set_static_ip;
  HIEUtil::RecMutex mtx_set;
  HString str_main_ip;
  HString str_main_mac;
  std::atomic<uint64_t> ull_dropped{0};
  // Tick of the last drop line; guarded by mtx_queue.
  DWORD dw_drop_logged = 0;
};
