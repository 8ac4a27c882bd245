#pragma once
// How the window layer shows the dialogs of a test: echoed only (the user
// has not closed them yet), or as real GTK windows on a private X server.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace dhcpguard_test {

enum class Mode { kHeadless, kGtk };
void PrintTo(Mode mode, std::ostream* out);
std::string mode_name(const ::testing::TestParamInfo<Mode>& info);
// Sets the window layer up for `mode`: empty, or why the mode cannot run here.
std::string enter_window_mode(Mode mode);

}  // namespace dhcpguard_test
