#pragma once
// A private X server for the tests that show real windows: Xvfb on a free
// display for this test process, gone when the process ends.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace dhcpguard_test {

// True when real windows can be shown (DISPLAY was set or Xvfb started);
// false when Xvfb is missing or does not start.
bool start_private_display();

// How the window layer shows the dialogs of a test: echoed only (the user
// has not closed them yet), or as real GTK windows on the private display.
enum class Mode { kHeadless, kGtk };
void PrintTo(Mode mode, std::ostream* out);
std::string mode_name(const ::testing::TestParamInfo<Mode>& info);
// Sets the window layer up for `mode`: empty, or why the mode cannot run here.
std::string enter_window_mode(Mode mode);

}  // namespace dhcpguard_test
