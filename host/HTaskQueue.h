#pragma once
// Items handled in order on a thread of their own, started with the first
// item: whoever posts one only queues it. The queue is bounded; an item
// that finds it full is dropped and counted. Its owners live as long as the
// process, since the thread never ends.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

template <typename Item>
class HTaskQueue {
 public:
  using Handler = std::function<void(Item&)>;

  HTaskQueue(size_t max_queued, Handler handler) : ul_max_queued(max_queued), fn_handle(std::move(handler)) {}
  HTaskQueue(const HTaskQueue&) = delete;
  HTaskQueue& operator=(const HTaskQueue&) = delete;

  // Queues `item`; false when the queue was full and it was dropped.
  bool post(Item item) {
    std::lock_guard<std::mutex> lock(mtx_items);
    if (dq_items.size() >= ul_max_queued) {
      ++ull_dropped;
      return false;
    }
    dq_items.push_back(std::move(item));
    if (!b_started) {
      b_started = true;
      std::thread([this] { run(); }).detach();
    }
    cv_items.notify_one();
    return true;
  }

  // Waits at most `timeout` until every queued item is handled; true then.
  bool flush(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mtx_items);
    return cv_done.wait_for(lock, timeout, [this] { return dq_items.empty() && !b_handling; });
  }

  uint64_t dropped() const {
    std::lock_guard<std::mutex> lock(mtx_items);
    return ull_dropped;
  }

 private:
  void run() {
    std::unique_lock<std::mutex> lock(mtx_items);
    for (;;) {
      cv_items.wait(lock, [this] { return !dq_items.empty(); });
      Item item = std::move(dq_items.front());
      dq_items.pop_front();
      b_handling = true;
      lock.unlock();
      fn_handle(item);
      lock.lock();
      b_handling = false;
      if (dq_items.empty()) cv_done.notify_all();
    }
  }

  const size_t ul_max_queued;
  const Handler fn_handle;
  mutable std::mutex mtx_items;
  std::condition_variable cv_items;
  std::condition_variable cv_done;
  std::deque<Item> dq_items;
  bool b_started = false;
  bool b_handling = false;
  uint64_t ull_dropped = 0;
};
