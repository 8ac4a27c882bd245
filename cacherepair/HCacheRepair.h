#pragma once
// Puts a gateway's genuine MAC back into the system ARP table once the probe
// has confirmed a spoof: the old MAC's answer reaches the kernel within its
// lock time after the spoofer's claim, so the kernel keeps the spoofer's
// MAC although the spoof was detected.
#include "host/HString.h"

class HCacheRepair {
 public:
  // Hooks the repair into the probe thread.
  static void start();
  // Rewrites the first row of `ip` as a dynamic entry with `genuine_mac`, on
  // the row's own interface. A static row (a binding) and an address that is
  // no gateway are left alone. 0 when restored, -1 otherwise.
  static int restore(const HString& ip, const HString& genuine_mac);
};
