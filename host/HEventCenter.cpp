#include "host/HEventCenter.h"

HEventCenter& HEventCenter::ins() {
  static HEventCenter* center = new HEventCenter;
  return *center;
}

void HEventCenter::add_stop_hook(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(mtx_hooks);
  vt_stop_hooks.push_back(std::move(hook));
}

void HEventCenter::notify_stop() {
  std::vector<std::function<void()>> hooks;
  {
    std::lock_guard<std::mutex> lock(mtx_hooks);
    hooks.swap(vt_stop_hooks);
  }
  for (const std::function<void()>& hook : hooks) hook();
}

void HEventCenter::set_view_source(std::function<HPluginView()> source) {
  std::lock_guard<std::mutex> lock(mtx_hooks);
  fn_view = std::move(source);
}

bool HEventCenter::plugin_view(HPluginView& view) {
  std::function<HPluginView()> source;
  {
    std::lock_guard<std::mutex> lock(mtx_hooks);
    source = fn_view;
  }
  if (!source) return false;
  view = source();
  return true;
}
