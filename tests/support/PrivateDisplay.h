#pragma once
// A private X server for the tests that show real windows: Xvfb on a free
// display for this test process, gone when the process ends.

namespace dhcpguard_test {

// True when real windows can be shown (DISPLAY was set or Xvfb started);
// false when Xvfb is missing or does not start.
bool start_private_display();

}  // namespace dhcpguard_test
