// The base library's threads: the object lives while its thread runs, and a
// joined thread has really ended (its thread-exit work done), not only let
// go of its object.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "host/HIEUtil.h"

namespace {

std::atomic<bool> g_thread_exit_done{false};

// Destroyed at the thread's very end, after `run` returned and the thread
// let go of its object.
struct ThreadExitMark {
  ~ThreadExitMark() {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    g_thread_exit_done.store(true);
  }
};

class MarkingThread : public HIEUtil::Thread {
 public:
  void run() override {
    static thread_local ThreadExitMark mark;
    (void)&mark;
  }
};

TEST(HostThread, JoinWaitsForTheThreadsRealEndAndIsHarmlessAfterwards) {
  MarkingThread* thread = new MarkingThread;
  thread->__incRef();  // the owner's reference, as a member object has
  HIEUtil::ThreadControl control = thread->start();
  while (thread->__getRef() > 1) std::this_thread::yield();
  control.join();
  EXPECT_TRUE(g_thread_exit_done.load());
  EXPECT_FALSE(control.isAlive());
  control.join();  // twice, and on an empty control: nothing happens
  HIEUtil::ThreadControl().join();
  thread->__decRef();
}

}  // namespace
