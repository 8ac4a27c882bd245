// The guard's queue: the capture threads push claims, the guard takes
// them in runs and sleeps while none wait.
#include <chrono>
#include <cstring>

#include "arpguard/HThreadTidewell.h"
#include "host/HFileLog.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HWinPCapHelper.h"
#include "wire/HIpv4Text.h"
#include "wire/HWireLayout.h"

namespace {

const wchar_t kSource[] = L".\\HThreadTidewell";

enum { kNoLog, kLogQueueFull, kLogShareFull };

// An address text as the four bytes of a frame; what is no address
// counts as 0.
uint32_t address_of(const std::string& ip) {
  uint32_t address = 0;
  return HIpv4Text::parse(ip, address) ? address : 0;
}

}  // namespace

void HThreadTidewell::push_arp_node(const HArpNode& node) {
  uint64_t total = 0;
  int log_line = kNoLog;
  size_t queued_now = 0;
  uint32_t address = address_of(node.sender_ip);
  {
    HIEUtil::RecMutex::Lock lock(mtx_queue);
    if (make_room_locked(address, total, log_line)) {
      dq_arp_node.push_back(QueuedClaim{{}, true});
      dq_text_node.push_back(node);
    }
    queued_now = dq_arp_node.size();
  }
  after_push(queued_now, log_line, total);
}

void HThreadTidewell::push_arp_body(const unsigned char* body) {
  if (!body) return;
  uint64_t total = 0;
  int log_line = kNoLog;
  size_t queued_now = 0;
  uint32_t address = 0;
  std::memcpy(&address, body + HWireLayout::kArpSenderIp, sizeof(address));
  {
    HIEUtil::RecMutex::Lock lock(mtx_queue);
    if (make_room_locked(address, total, log_line)) {
      dq_arp_node.emplace_back();
      QueuedClaim& claim = dq_arp_node.back();
      std::memcpy(claim.body, body, ARP_BODY_LEN);
      claim.b_text = false;
    }
    queued_now = dq_arp_node.size();
  }
  after_push(queued_now, log_line, total);
}

bool HThreadTidewell::make_room_locked(uint32_t address, uint64_t& total, int& log_line) {
  bool queue_full = dq_arp_node.size() >= kMaxQueuedNodes;
  if (!queue_full && claim_share.take(address, kMaxQueuedPerAddress)) return true;
  HWinPCapHelper::instance().count_queue_drop();
  if (queue_drops.count(total)) log_line = queue_full ? kLogQueueFull : kLogShareFull;
  return false;
}

void HThreadTidewell::after_push(size_t queued_now, int log_line, uint64_t total) {
  if (log_line != kNoLog) log_drop(log_line, total);
  // One push wakes a sleeping guard: the ones behind it, until the guard
  // has been scheduled, must not each pay for a wake-up call.
  if (queued_now >= kWakeAtQueued && b_sleeping.load(std::memory_order_relaxed) && b_sleeping.exchange(false)) {
    std::lock_guard<std::mutex> lock(mtx_wake);
    cv_wake.notify_one();
  }
}

void HThreadTidewell::log_drop(int log_line, uint64_t total) {
  if (log_line == kLogShareFull) {
    HFileLog::ins().log(1, kSource, __LINE__,
                        L"push_arp_node share of one address full (%d waiting), claims dropped so far %llu",
                        static_cast<int>(kMaxQueuedPerAddress), static_cast<unsigned long long>(total));
    return;
  }
  HFileLog::ins().log(1, kSource, __LINE__, L"push_arp_node queue full (%d waiting), claims dropped so far %llu",
                      static_cast<int>(kMaxQueuedNodes), static_cast<unsigned long long>(total));
}

// The guard takes every waiting claim at once into its own queue, so that
// the capture thread, which pushes one claim at a time, meets the lock
// once per run of claims rather than once per claim.
bool HThreadTidewell::try_pop_arp_node(HArpNode& node) {
  QueuedClaim claim;
  {
    std::lock_guard<std::mutex> taken_lock(mtx_taken);
    if (dq_taken.empty()) {
      HIEUtil::RecMutex::Lock lock(mtx_queue);
      dq_taken.swap(dq_arp_node);
      dq_taken_text.swap(dq_text_node);
      claim_share.clear();
    }
    if (dq_taken.empty()) return false;
    claim = dq_taken.front();
    dq_taken.pop_front();
    if (claim.b_text) {
      node = std::move(dq_taken_text.front());
      dq_taken_text.pop_front();
      return true;
    }
  }
  HNetworkProtocolUtil::MakeArpNode(claim.body, node);
  return true;
}

// Sleeps up to `milliseconds`, or until a run of claims is waiting or
// `wake` asks. The flag is set before the queue is looked at, so a push that
// fills the run after the look sees it and wakes the guard; a wake-up asked
// for before the sleep ends it at once.
void HThreadTidewell::wait_for_claims(DWORD milliseconds) {
  std::unique_lock<std::mutex> lock(mtx_wake);
  b_sleeping.store(true);
  if (!b_wake_asked && queued() < kWakeAtQueued) cv_wake.wait_for(lock, std::chrono::milliseconds(milliseconds));
  b_wake_asked = false;
  b_sleeping.store(false);
}

void HThreadTidewell::wake() {
  std::lock_guard<std::mutex> lock(mtx_wake);
  b_wake_asked = true;
  cv_wake.notify_one();
}

HArpNode HThreadTidewell::pop_arp_node() {
  HArpNode node;
  while (!try_pop_arp_node(node)) wait_for_claims(kPollMs);
  return node;
}

size_t HThreadTidewell::queued() {
  std::lock_guard<std::mutex> taken_lock(mtx_taken);
  HIEUtil::RecMutex::Lock lock(mtx_queue);
  return dq_taken.size() + dq_arp_node.size();
}

