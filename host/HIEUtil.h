#pragma once
// The base library's threads and locks: reference-counted thread objects,
// a thread control that can be detached or asked whether the thread lives,
// and a recursive mutex locked for a scope.
#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace HIEUtil {

class NullHandleException : public std::runtime_error {
 public:
  NullHandleException(const char* file, int line);
};

// Intrusive reference count. An object whose count drops to zero deletes
// itself; a count that never rose (an object held by a raw pointer) is never
// touched.
class Shared {
 public:
  Shared() = default;
  Shared(const Shared&) : ref_(0) {}
  Shared& operator=(const Shared&) { return *this; }
  virtual ~Shared() = default;
  void __incRef() { ref_.fetch_add(1, std::memory_order_relaxed); }
  void __decRef() {
    if (ref_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  int __getRef() const { return ref_.load(); }

 private:
  std::atomic<int> ref_{0};
};

class ThreadControl {
 public:
  ThreadControl() = default;
  // Lets the thread run on its own; the control keeps answering isAlive.
  void detach();
  // Waits for the thread's end (not detached, not the calling thread);
  // after it no code of the thread runs any more.
  void join();
  bool isAlive() const;

 private:
  friend class Thread;
  struct State;
  std::shared_ptr<State> state_;
};

class Thread : virtual public Shared {
 public:
  virtual void run() = 0;
  // Runs `run` on a new thread (stack size 0: the default). The object is
  // kept alive by a reference until `run` returns. Throws
  // NullHandleException when the thread cannot be created; the object is
  // then deleted unless someone else holds a reference to it.
  ThreadControl start(size_t stack_size = 0);
  // Test seam: the next `count` starts fail as if no thread could be made
  // (0 ends it).
  static void fail_next_start_for_test(int count = 1);
};

class RecMutex {
 public:
  void lock() const { mutex_.lock(); }
  void unlock() const { mutex_.unlock(); }
  bool tryLock() const { return mutex_.try_lock(); }

  // Holds the mutex for a scope.
  class Lock {
   public:
    explicit Lock(const RecMutex& m) : m_(m) { m_.lock(); }
    ~Lock() { m_.unlock(); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    const RecMutex& m_;
  };

 private:
  mutable std::recursive_mutex mutex_;
};

}  // namespace HIEUtil
