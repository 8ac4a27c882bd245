#pragma once
// The agent's event center: an online flag and a state word, read by the
// plug-in without a lock (single byte and aligned 32-bit word), and the
// agent's stop, told to whoever asked (the plug-in delivers what it still
// holds).
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

class HEventCenter {
 public:
  static HEventCenter& ins();
  volatile unsigned char b_online = 1;
  volatile uint32_t i_state = 1;

  // `hook` runs when the agent stops, after capture has stopped.
  void add_stop_hook(std::function<void()> hook);
  // Runs every hook once, in the order they were added.
  void notify_stop();

 private:
  std::mutex mtx_hooks;
  std::vector<std::function<void()>> vt_stop_hooks;
};
