#pragma once
// The pending probes of a prober: a bounded list (std::list or std::vector)
// of items that carry send_tick, retry_count and b_sent, their retry
// schedule and a mask of their addresses. A pass sends the first request of
// a new item, sends again when a request stayed unanswered for
// kRetryIntervalMs, and gives the item up after kMaxRetries such periods.
// Each pending address sets one of the 64 bits of the mask, which the
// per-frame check reads without the owner's lock: a clear bit means nothing
// is pending for the address. All but may_hold() run under the owner's lock.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/WinTime.h"
#include "platform/WinTypes.h"

// AddressOf: uint32_t(const Item&), the item's address in network byte order
// (or another key of it that the per-frame check computes alike).
template <typename List, typename AddressOf>
class HPendingProbes {
 public:
  using Item = typename List::value_type;
  static constexpr DWORD kRetryIntervalMs = 1000;
  static constexpr DWORD kMaxRetries = 3;

  explicit HPendingProbes(size_t max_items) : ul_max(max_items) {}

  size_t size() const { return lst_items.size(); }
  bool full() const { return lst_items.size() >= ul_max; }
  const List& items() const { return lst_items; }

  // Appends `item`, which comes with its start values (nothing sent yet);
  // false when the list is full.
  bool add(const Item& item) {
    if (full()) return false;
    lst_items.push_back(item);
    remask();
    return true;
  }

  // One pass: send(item, again) for each request that is due (send_tick is
  // already the tick of this send); give_up(item) for an item whose retries
  // ran out, which then leaves the list.
  template <typename Send, typename GiveUp>
  void pass(Send send, GiveUp give_up) {
    for (auto it = lst_items.begin(); it != lst_items.end();) {
      if (step(*it, send)) {
        ++it;
      } else {
        give_up(*it);
        it = lst_items.erase(it);
      }
    }
    remask();
  }

  // Removes, in list order, each item that answered(item) says was answered;
  // returns how many.
  template <typename Answered>
  size_t remove_if(Answered answered) {
    size_t removed = 0;
    for (auto it = lst_items.begin(); it != lst_items.end();) {
      if (answered(*it)) {
        it = lst_items.erase(it);
        ++removed;
      } else {
        ++it;
      }
    }
    if (removed > 0) remask();
    return removed;
  }

  // Without the lock: false when no item for `address` is pending.
  bool may_hold(uint32_t address) const { return (ull_mask.load(std::memory_order_acquire) & bit(address)) != 0; }

 private:
  static uint64_t bit(uint32_t address) { return uint64_t{1} << ((address * 0x9E3779B1u) >> 26); }

  template <typename Send>
  static bool step(Item& item, Send& send) {
    if (item.b_sent) {
      // Unsigned difference: the tick counter wraps after 49.7 days.
      if (DWORD(GetTickCount() - item.send_tick) < kRetryIntervalMs) return true;
      if (++item.retry_count >= kMaxRetries) return false;
    }
    bool again = item.b_sent;
    item.b_sent = true;
    item.send_tick = GetTickCount();
    send(item, again);
    return true;
  }

  void remask() {
    uint64_t mask = 0;
    for (const Item& item : lst_items) mask |= bit(AddressOf()(item));
    ull_mask.store(mask, std::memory_order_release);
  }

  List lst_items;
  size_t ul_max;
  std::atomic<uint64_t> ull_mask{0};
};
