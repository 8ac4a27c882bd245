#pragma once
// A suspected MAC change as the guard hands it to the probe thread, built
// from text addresses.
#include <string>

#include "arpguard/HMacChangeItem.h"

namespace tidewell_test {

// `ip` seen moving from `old_mac` to `new_mac` at `tick`.
HMacChangeItem mac_change(const std::string& ip, const std::string& old_mac, const std::string& new_mac,
                          DWORD tick = 0);

}  // namespace tidewell_test
