#pragma once
// The agent's customer configuration: only the 802.1X flag matters here.
#include <atomic>

class HCustConfigInfo {
 public:
  bool is_auth_802() const { return b_auth_802; }
  bool b_auth_802 = false;
};

class HCustConfigMgr {
 public:
  static HCustConfigMgr& instance();
  int GetConfig(HCustConfigInfo& info);
  void set_auth_802(bool on) { b_auth_802 = on; }

 private:
  std::atomic<bool> b_auth_802{false};
};
