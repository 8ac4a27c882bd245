#pragma once
// One MAC change the guard has seen. Equality ignores the tick.
#include "host/HString.h"
#include "platform/WinTypes.h"

struct HMacChangeItem {
  HString ip;
  HString old_mac;
  HString new_mac;
  DWORD tick = 0;

  bool operator==(const HMacChangeItem& other) const {
    return ip == other.ip && old_mac == other.old_mac && new_mac == other.new_mac;
  }
};
