#include "tests/support/WindowMode.h"

#include "platform/WinUser.h"
#include "tests/support/PrivateDisplay.h"

namespace dhcpguard_test {

void PrintTo(Mode mode, std::ostream* out) { *out << (mode == Mode::kGtk ? "Gtk" : "Headless"); }

std::string mode_name(const ::testing::TestParamInfo<Mode>& info) {
  return info.param == Mode::kGtk ? "Gtk" : "Headless";
}

std::string enter_window_mode(Mode mode) {
  if (mode == Mode::kHeadless) {
    platform::set_windows_headless(true);
    platform::set_headless_auto_close(false);
    return "";
  }
  if (!start_private_display()) return "no X server (Xvfb) to show real windows on";
  platform::set_windows_headless(false);
  if (!platform::windows_have_display()) return "GTK cannot open the display";
  return "";
}

}  // namespace dhcpguard_test
