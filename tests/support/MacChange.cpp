#include "tests/support/MacChange.h"

namespace tidewell_test {

HMacChangeItem mac_change(const std::string& ip, const std::string& old_mac, const std::string& new_mac,
                          DWORD tick) {
  HMacChangeItem change;
  change.ip = HString(ip);
  change.old_mac = HString(old_mac);
  change.new_mac = HString(new_mac);
  change.tick = tick;
  return change;
}

}  // namespace tidewell_test
