#pragma once
// The ARP guard: judges every ARP claim addressed to this host against the
// learned map and the static set of the system ARP table.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>

#include "arpguard/HClaimShare.h"
#include "arpguard/HMacChangeItem.h"
#include "frame/HDropCounter.h"
#include "host/HArpNode.h"
#include "host/HIEUtil.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HString.h"
#include "platform/WinTypes.h"

class HThreadTidewell : public HIEUtil::Thread {
 public:
  // Claims beyond this many waiting in the queue are dropped (newest
  // first), counted and logged: a flood must not grow the queue without
  // limit. A waiting claim from the capture callback takes 29 bytes, so the
  // queue and the run the guard has taken from it cost at most about 4 MiB,
  // and they hold more than the guard falls behind while a report waits
  // for the core.
  static constexpr size_t kMaxQueuedNodes = 65536;
  // Claims for one address take at most this share of the queue, so that a
  // flood claiming one address leaves room for a genuine claim for another
  // gateway. The counts start again when the guard takes the waiting run.
  static constexpr uint32_t kMaxQueuedPerAddress = kMaxQueuedNodes / 16;
  // The guard looks at its empty queue this often; a run of this many
  // waiting claims wakes it at once (each wake-up costs the capture thread
  // a system call).
  static constexpr DWORD kPollMs = 200;
  static constexpr size_t kWakeAtQueued = 1024;
  // Claims from ever new addresses must not grow the learned map without
  // limit: beyond this many addresses only gateways are learned (a changed
  // MAC of any other address is never acted on); the others are counted
  // and logged. Some 200 bytes an address: about 3 MiB.
  static constexpr size_t kMaxLearned = 16384;
  // An "arp -s" that binds a gateway has this long to end; past it, it is
  // killed and the binding reported as failed. Claims for the address that
  // arrive meanwhile start no second command.
  static constexpr DWORD kBindCommandMs = 5000;

  HThreadTidewell();
  void run() override;
  // Settles the binding commands that ended or ran out of time, then judges
  // the oldest waiting claim, if any; false when the queue was empty. `run`
  // without its waiting.
  bool run_pass();

  void push_arp_node(const HArpNode& node);
  // The capture callback's way in: the 28-byte ARP body as captured; it is
  // turned into an HArpNode on the guard's thread.
  void push_arp_body(const unsigned char* body);
  // Wakes the sleeping guard at once: for a claim that must not wait for
  // the next look at the queue. The capture thread never calls it.
  void wake();
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
  uint64_t dropped() const { return queue_drops.total(); }
  uint64_t unlearned() const { return unlearned_drops.total(); }
  size_t learned_count();
  size_t bind_commands_running() const { return map_bind_command.size(); }

 private:
  enum class Verdict { kDone, kSuspect };

  // A waiting claim: an ARP body, or a node in text form (kept in
  // dq_text_node, in the same order).
  struct QueuedClaim {
    unsigned char body[ARP_BODY_LEN];
    bool b_text;
  };

  bool try_pop_arp_node(HArpNode& node);
  // Under mtx_queue: false (and counted) when the queue, or the share of
  // the claimed address's slot, is full.
  bool make_room_locked(uint32_t address, uint64_t& total, int& log_line);
  void after_push(size_t queued_now, int log_line, uint64_t total);
  void wait_for_claims(DWORD milliseconds);
  void log_drop(int log_line, uint64_t total);
  Verdict judge_claim(const HString& ip, const HString& mac, HMacChangeItem& item);
  // Under mtx_map.
  void learn_first_claim(const HString& ip, const HString& mac);
  Verdict judge_by_policy(const HString& ip, const HString& mac);
  void auto_bind(const HString& ip, const HString& mac, const HString& bind_list);
  // Re-reads the table and reports the binding as done only when the entry
  // is static with the configured MAC now; `cause` says why it may not be.
  void finish_binding(const HString& ip, const HString& mac, const HString& configured, const HString& cause);
  void settle_bind_commands();
  void apply_table(const unsigned char* buffer, ULONG size, bool learn_dynamic);

  // The capture thread's side of the queue, the guard's side and the
  // wake-up are kept apart in memory: the guard pops a claim while the
  // capture pushes the next, and neither must slow the other.
  alignas(64) std::deque<QueuedClaim> dq_arp_node;
  std::deque<HArpNode> dq_text_node;
  HIEUtil::RecMutex mtx_queue;
  // Waiting claims per claimed address; guarded by mtx_queue.
  HClaimShare claim_share;
  // Claims the guard has taken from the queue and not judged yet, oldest
  // first; mtx_taken is taken before mtx_queue.
  alignas(64) std::deque<QueuedClaim> dq_taken;
  std::deque<HArpNode> dq_taken_text;
  std::mutex mtx_taken;
  // The guard sleeps on cv_wake; a push wakes it only once a run of claims
  // waits, so that a steady trickle costs no wake-up per claim.
  alignas(64) std::mutex mtx_wake;
  std::condition_variable cv_wake;
  std::atomic<bool> b_sleeping{false};
  // A wake-up asked for while the guard was not yet asleep; guarded by
  // mtx_wake.
  bool b_wake_asked = false;
  std::map<HString, HString> map_ip_mac;
  HIEUtil::RecMutex mtx_map;
  std::set<HString> set_static_ip;
  HIEUtil::RecMutex mtx_set;
  HString str_main_ip;
  HString str_main_mac;
  // Guarded by mtx_queue.
  HDropCounter queue_drops;
  // A binding command that runs: the claimed MAC to report, the configured
  // MAC to check for, its process and start tick. By address; the guard
  // thread's own.
  struct BindCommand {
    HString str_mac;
    HString str_configured;
    HANDLE h_process;
    DWORD dw_started;
  };
  std::map<HString, BindCommand> map_bind_command;
  // Guarded by mtx_map.
  HDropCounter unlearned_drops;
};
