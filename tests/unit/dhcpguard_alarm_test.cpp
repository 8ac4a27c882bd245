// The DHCP alarm window: what the first alarm shows, how later alarms are
// merged into the open window, and a new window once the user has closed the
// last one. Every case runs headless (the window told on the output and
// closed at once) and, when an X server can be started, against real GTK
// windows.
#include <gtest/gtest.h>

#include <filesystem>

#include "dhcpguard/HTestDhcpGateway.h"
#include "host/HLanMgr.h"
#include "res/resource.h"
#include "tests/support/dhcpguard_support.h"

using namespace dhcpguard_test;

namespace {

const std::wstring kSeparator = L"\r\n=======================\r\n";

class AlarmTest : public ::testing::TestWithParam<Mode> {
 protected:
  void SetUp() override {
    const std::string why_not = enter_window_mode(GetParam());
    if (!why_not.empty()) GTEST_SKIP() << why_not;
    platform::set_window_echo_sink([this](const std::wstring& line) {
      std::lock_guard<std::mutex> lock(mtx_echo);
      vt_echo.push_back(line);
    });
  }

  void TearDown() override {
    // Close whatever is still open, so that no window outlives its test.
    for (HWND window; (window = FindWindowW(nullptr, title().wc_str())) != nullptr;) {
      PostMessageW(window, WM_CLOSE, 0, 0);
      wait_window_gone(window);
    }
    platform::set_window_echo_sink(nullptr);
  }

  static HString title() { return HLanMgr::ins().get(779, L"name", L"Velmora"); }
  static std::wstring edit_text(HWND window) { return window_text(GetDlgItem(window, IDC_EDIT_MSG)); }

  HWND open_window() { return wait_for_window(title()); }
  void close_by_user(HWND window) {
    ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    ASSERT_TRUE(wait_window_gone(window));
  }
  std::vector<std::wstring> echoed() {
    std::lock_guard<std::mutex> lock(mtx_echo);
    return vt_echo;
  }

  DhcpEnv env;
  HTestDhcpGateway probe;
  std::mutex mtx_echo;
  std::vector<std::wstring> vt_echo;
};

TEST_P(AlarmTest, AlarmsShareTheWarningWindowUntilTheUserClosesIt) {
  probe.show_alarm(L"first alarm");
  HWND window = open_window();
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(title().wstr(), window_text(window));
  EXPECT_EQ(L"first alarm", edit_text(window));
  EXPECT_EQ(HLanMgr::ins().get(120).wstr(), window_text(GetDlgItem(window, IDOK)));

  HICON warning = LoadIconW(nullptr, IDI_WARNING);
  ASSERT_NE(nullptr, warning);
  EXPECT_EQ(reinterpret_cast<LRESULT>(warning), SendMessageW(window, WM_GETICON, ICON_BIG, 0));
  EXPECT_EQ(reinterpret_cast<LRESULT>(warning), SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
  EXPECT_EQ("dialog-warning", platform::window_icon_name(window));
  // System modal: kept above every other window.
  EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);

  RECT rect;
  ASSERT_TRUE(GetWindowRect(window, &rect));
  EXPECT_NEAR(GetSystemMetrics(SM_CXSCREEN) / 2, (rect.left + rect.right) / 2, 40) << "centred";
  EXPECT_NEAR(GetSystemMetrics(SM_CYSCREEN) / 2, (rect.top + rect.bottom) / 2, 40) << "centred";

  // Later alarms are merged into the open window, the same one again within
  // a minute not at all; once the user has closed it, the next alarm opens
  // a new one.
  probe.show_alarm(L"alarm two");
  probe.show_alarm(L"first alarm");
  probe.show_alarm(L"alarm three");
  EXPECT_EQ(L"first alarm" + kSeparator + L"alarm two" + kSeparator + L"alarm three", edit_text(window));
  std::string log = env.attack_log();
  for (const char* text : {"first alarm", "alarm two", "alarm three"}) EXPECT_EQ(1u, count_of(log, text));

  close_by_user(window);
  EXPECT_EQ(nullptr, FindWindowW(nullptr, title().wc_str())) << "no second window was open";
  probe.show_alarm(L"after closing");
  HWND second = open_window();
  ASSERT_NE(nullptr, second);
  EXPECT_NE(window, second);
  EXPECT_EQ(L"after closing", edit_text(second));
}

TEST_P(AlarmTest, AlarmsInOnePassShareOneWindow) {
  // The gateways of two rogue servers give up in the same pass: the second
  // alarm comes before the window of the first may exist.
  FakeTicks ticks(1000);
  SentFrames sent;
  for (const char* gateway : {kGatewayIp, kGateway2Ip}) {
    HDhcpGatewayItem item = gateway_item(gateway);
    item.server_mac[5] += gateway == kGatewayIp ? 0 : 1;
    probe.add_gateway(item);
  }
  for (int pass = 0; pass < 4; ++pass) {
    probe.run_pass();
    ticks.advance(1000);
  }
  EXPECT_EQ(0u, probe.pending());
  HWND window = open_window();
  ASSERT_NE(nullptr, window);
  std::wstring alarm = HLanMgr::ins().get(777, L"mac", HString(kServerMac)).wstr();
  std::wstring alarm2 = HLanMgr::ins().get(777, L"mac", L"02:77:00:00:01:54").wstr();
  EXPECT_EQ(alarm + kSeparator + alarm2, edit_text(window));
}

TEST_P(AlarmTest, WindowThatCannotBeFoundGetsTheAlarmAWindowOfItsOwn) {
  probe.show_alarm(L"under the old title");
  HWND first = open_window();
  ASSERT_NE(nullptr, first);
  // The open window no longer carries the title it is looked for by.
  HString title = HLanMgr::ins().get(779);
  HLanMgr::ins().set_text(779, L"{name} - renamed");
  probe.show_alarm(L"not lost");
  HWND second = open_window();
  ASSERT_NE(nullptr, second);
  EXPECT_EQ(L"not lost", edit_text(second));
  EXPECT_EQ(L"under the old title", edit_text(first));
  close_by_user(first);
  close_by_user(second);
  HLanMgr::ins().set_text(779, title);
}

INSTANTIATE_TEST_SUITE_P(Windows, AlarmTest, ::testing::Values(Mode::kHeadless, Mode::kGtk), mode_name);

// Without a display (and with no test holding the window open) the user is
// told on the output and the window counts as closed at once, so the next
// alarm has a window of its own.
class HeadlessAlarmTest : public AlarmTest {};

TEST_P(HeadlessAlarmTest, WithoutDisplayTheUserIsToldOnTheOutputAndTheWindowCountsAsClosed) {
  platform::set_headless_auto_close(true);
  probe.show_alarm(L"rogue one");
  ASSERT_TRUE(eventually([&] { return echoed().size() == 1; }));
  ASSERT_TRUE(eventually([&] { return FindWindowW(nullptr, title().wc_str()) == nullptr; }));
  probe.show_alarm(L"rogue two");
  ASSERT_TRUE(eventually([&] { return echoed().size() == 2; }));
  EXPECT_EQ(L"WINDOW [" + title().wstr() + L"] rogue two", echoed()[1]);
}

INSTANTIATE_TEST_SUITE_P(Windows, HeadlessAlarmTest, ::testing::Values(Mode::kHeadless), mode_name);

// The lab test of the alarm window keeps this picture as its artifact.
TEST(AlarmScreenshot, RealWindowIsKeptAsPicture) {
  if (!start_private_display()) GTEST_SKIP() << "no X server (Xvfb)";
  platform::set_windows_headless(false);
  if (!platform::windows_have_display()) GTEST_SKIP() << "GTK cannot open the display";
  DhcpEnv env;
  HTestDhcpGateway probe;
  HString alarm = HLanMgr::ins().get(777, L"mac", HString(kServerMac));
  probe.show_alarm(alarm);
  HWND window = wait_for_window(HLanMgr::ins().get(779, L"name", L"Velmora"));
  ASSERT_NE(nullptr, window);
  probe.show_alarm(alarm);
  std::string folder = std::string(TIDEWELL_BIN_DIR) + "/../test-artifacts";
  std::filesystem::create_directories(folder);
  std::string path = folder + "/dhcp-alarm.png";
  std::filesystem::remove(path);
  ASSERT_TRUE(platform::save_window_png(window, path));
  std::string png = read_file(path);
  ASSERT_GT(png.size(), 1000u);
  EXPECT_EQ("\x89PNG", png.substr(0, 4));
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(wait_window_gone(window));
}

}  // namespace
