#pragma once
// The host's main IPv4 address and MAC: those of the capture interface, or
// in replay those of the virtual host.
#include <mutex>

#include "host/HString.h"

class HSysInfoMgr {
 public:
  static HSysInfoMgr& ins();
  // 0, or -1 when the interface has no IPv4 address or MAC (texts empty).
  int get_main_ip_mac(HString& ip, HString& mac);

  void set_interface(const HString& name);
  // The capture's interface (in a replay the virtual host's first adapter):
  // named in every line of the core's files.
  HString interface_name();
  void set_virtual(const HString& ip, const HString& mac);

 private:
  std::mutex mtx_info;
  HString str_iface;
  bool b_virtual = false;
  HString str_ip;
  HString str_mac;
};
