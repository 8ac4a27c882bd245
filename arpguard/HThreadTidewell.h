#pragma once
// The ARP guard: judges every ARP claim addressed to this host against the
// learned map and the static set of the system ARP table.
#include <cstdint>
#include <deque>
#include <map>
#include <set>

#include "host/HArpNode.h"
#include "host/HIEUtil.h"
#include "host/HString.h"

class HThreadTidewell : public HIEUtil::Thread {
 public:
  // Claims beyond this many waiting are dropped (newest first), counted and
  // logged: a flood must not grow the queue without limit.
  static constexpr size_t kMaxQueuedNodes = 4096;

  HThreadTidewell();
  void run() override;

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
  uint64_t dropped() const { return ull_dropped; }

 private:
  std::deque<HArpNode> dq_arp_node;
  HIEUtil::RecMutex mtx_queue;
  std::map<HString, HString> map_ip_mac;
  HIEUtil::RecMutex mtx_map;
  std::set<HString> set_static_ip;
  HIEUtil::RecMutex mtx_set;
  HString str_main_ip;
  HString str_main_mac;
  uint64_t ull_dropped = 0;
};
