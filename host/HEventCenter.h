#pragma once
// The agent's event center: an online flag and a state word, read by the
// plug-in without a lock (single byte and aligned 32-bit word), and the
// agent's stop, told to whoever asked (the plug-in delivers what it still
// holds), and the plug-in's view of what it has learned.
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "host/HPluginView.h"

class HEventCenter {
 public:
  static HEventCenter& ins();
  volatile unsigned char b_online = 1;
  volatile uint32_t i_state = 1;

  // `hook` runs when the agent stops, after capture has stopped.
  void add_stop_hook(std::function<void()> hook);
  // Runs every hook once, in the order they were added.
  void notify_stop();

  // The plug-in's view of what it has learned, asked for by the agent on
  // its main thread (SIGUSR1, the stop). False before the plug-in set one.
  void set_view_source(std::function<HPluginView()> source);
  bool plugin_view(HPluginView& view);

 private:
  std::mutex mtx_hooks;
  std::vector<std::function<void()>> vt_stop_hooks;
  std::function<HPluginView()> fn_view;
};
