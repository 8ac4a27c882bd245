// The window layer under the alarm window: Windows message semantics
// (WM_GETTEXT bounds, stale handles, the modal loop), dialogs run on their
// own thread and driven from others. Cases run headless and, when an X
// server can be started, on GTK.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "platform/Utf8.h"
#include "platform/WinUser.h"
#include "tests/support/dhcpguard_support.h"

using namespace dhcpguard_test;

namespace {

constexpr int kEditId = 100;
const wchar_t kTitle[] = L"Layer test \u6b3a\u9a97  ";

const DLGITEMTEMPLATEEX kItems[] = {
    {0, 0, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 10, 60, 50, 14, IDOK, L"BUTTON", L"OK"},
    {0, 0, WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | WS_VSCROLL, 5, 5, 150, 50, kEditId, L"EDIT", L""},
};
const DLGTEMPLATEEX kTemplate = {1,  0xFFFF, 0,      0,  WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER,
                                 2,  0,      0,      160, 80,
                                 kTitle, 9, 0, 0, 0, L"MS Shell Dlg", kItems};

// A dialog procedure that ends the dialog with the command's id and
// remembers on which thread it ran.
struct ProcLog {
  std::atomic<int> i_init{0};
  std::atomic<bool> b_other_thread{false};
  std::thread::id id_dialog;
};
ProcLog* g_log = nullptr;

INT_PTR test_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (std::this_thread::get_id() != g_log->id_dialog) g_log->b_other_thread = true;
  if (message == WM_INITDIALOG) {
    ++g_log->i_init;
    SetDlgItemTextW(hwnd, kEditId, reinterpret_cast<LPCWSTR>(lparam));
    return TRUE;
  }
  if (message == WM_COMMAND) {
    EndDialog(hwnd, LOWORD(wparam));
    return TRUE;
  }
  return FALSE;
}

// The test dialog, run on a thread of its own in one of the window modes.
class DialogTest : public ::testing::Test {
 protected:
  void enter(Mode mode) {
    const std::string why_not = enter_window_mode(mode);
    if (!why_not.empty()) GTEST_SKIP() << why_not;
    platform::set_window_echo_sink([this](const std::wstring& line) {
      std::lock_guard<std::mutex> lock(mtx_echo);
      vt_echo.push_back(line);
    });
    g_log = &log;
  }
  void TearDown() override {
    if (result.valid()) {
      HWND window = FindWindowW(nullptr, kTitle);
      if (window) PostMessageW(window, WM_CLOSE, 0, 0);
      result.wait();
    }
    platform::set_window_echo_sink(nullptr);
    g_log = nullptr;
  }

  // Runs the dialog on a thread of its own; returns it once shown.
  HWND open(const std::wstring& text) {
    str_text = text;
    auto started = std::make_shared<std::promise<void>>();
    std::future<void> ready = started->get_future();
    result = std::async(std::launch::async, [this, started] {
      log.id_dialog = std::this_thread::get_id();
      started->set_value();
      return DialogBoxIndirectParamW(nullptr, &kTemplate, nullptr, test_proc,
                                     reinterpret_cast<LPARAM>(str_text.c_str()));
    });
    ready.wait();
    return wait_for_window(kTitle);
  }
  INT_PTR closed_with() {
    if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) return -100;
    return result.get();
  }

  ProcLog log;
  std::wstring str_text;
  std::future<INT_PTR> result;
  std::mutex mtx_echo;
  std::vector<std::wstring> vt_echo;
};

class WindowLayerTest : public DialogTest, public ::testing::WithParamInterface<Mode> {
 protected:
  void SetUp() override { enter(GetParam()); }
};

// Headless only: where sent messages always go before posted ones (Windows),
// the close waits for the senders by design.
class WindowLayerConcurrency : public DialogTest {
 protected:
  void SetUp() override { enter(Mode::kHeadless); }
};

TEST_P(WindowLayerTest, GetTextIsBoundedByTheBufferAndTerminated) {
  HWND window = open(L"abcdefgh");
  ASSERT_NE(nullptr, window);
  HWND edit = GetDlgItem(window, kEditId);
  ASSERT_NE(nullptr, edit);
  wchar_t buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), L'#');
  EXPECT_EQ(4, SendMessageW(edit, WM_GETTEXT, 5, reinterpret_cast<LPARAM>(buffer)));
  EXPECT_EQ(std::wstring(L"abcd"), std::wstring(buffer));
  EXPECT_EQ(L'#', buffer[5]) << "nothing written past the given size";
  EXPECT_EQ(0, SendMessageW(edit, WM_GETTEXT, 0, reinterpret_cast<LPARAM>(buffer)));
  EXPECT_EQ(L'a', buffer[0]);
  EXPECT_EQ(0, SendMessageW(edit, WM_GETTEXT, 8, 0));
  EXPECT_EQ(8, SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0));
  // The title round-trips exactly, Chinese characters and spaces included.
  EXPECT_EQ(std::wstring(kTitle), window_text(window));
}

TEST_P(WindowLayerTest, HandlesOfAClosedDialogFindNothing) {
  HWND window = open(L"text");
  ASSERT_NE(nullptr, window);
  HWND edit = GetDlgItem(window, kEditId);
  ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
  EXPECT_EQ(IDCANCEL, closed_with());
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(IsWindow(edit));
  wchar_t buffer[4] = {L'x', L'y', L'z', 0};
  EXPECT_EQ(0, SendMessageW(edit, WM_GETTEXT, 4, reinterpret_cast<LPARAM>(buffer)));
  EXPECT_EQ(std::wstring(L"xyz"), std::wstring(buffer));
  EXPECT_EQ(FALSE, SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"late")));
  EXPECT_EQ(nullptr, GetDlgItem(window, kEditId));
  EXPECT_FALSE(PostMessageW(window, WM_CLOSE, 0, 0));
  EXPECT_EQ(nullptr, FindWindowW(nullptr, kTitle));
}

// The shown dialog is also told on the output, its line breaks flattened.
TEST_P(WindowLayerTest, OkButtonEndsTheModalRunWithTheProcedureOnTheDialogsSide) {
  HWND window = open(L"press\r\nOK");
  ASSERT_NE(nullptr, window);
  EXPECT_TRUE(IsWindowVisible(window));
  SendMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(IDOK, closed_with());
  EXPECT_EQ(1, log.i_init.load());
  EXPECT_FALSE(log.b_other_thread.load()) << "the dialog procedure runs on the dialog's own thread";
  std::lock_guard<std::mutex> lock(mtx_echo);
  EXPECT_EQ(std::vector<std::wstring>{std::wstring(L"WINDOW [") + kTitle + L"] press\nOK"}, vt_echo);
}

INSTANTIATE_TEST_SUITE_P(Layer, WindowLayerTest, ::testing::Values(Mode::kHeadless, Mode::kGtk), mode_name);

TEST_F(WindowLayerConcurrency, MessagesFromManyThreadsWhileTheDialogCloses) {
  HWND window = open(L"start");
  ASSERT_NE(nullptr, window);
  HWND edit = GetDlgItem(window, kEditId);
  std::atomic<bool> stop{false};
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&, t] {
      std::wstring mine = L"writer " + std::to_wstring(t);
      wchar_t buffer[64];
      while (!stop) {
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(mine.c_str()));
        LRESULT n = SendMessageW(edit, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(buffer));
        if (n > 0) {
          EXPECT_EQ(0u, std::wstring(buffer).rfind(L"writer ", 0));
        }
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(IDCANCEL, closed_with());
  stop = true;
  for (std::thread& w : writers) w.join();
  EXPECT_FALSE(IsWindow(edit));
}

TEST(WindowLayerText, Utf8ConversionIsLosslessAndRejectsBrokenInput) {
  std::wstring text = L"Dhcp \u6b3a\u9a97 \U0001F512 \u00e9\r\n=";
  EXPECT_EQ(text, platform::utf8_to_wide(platform::wide_to_utf8(text).c_str()));
  EXPECT_EQ(std::wstring(L"a\uFFFDb"), platform::utf8_to_wide("a\xC3" "b"));     // cut sequence
  // An overlong "/" must not come out as "/".
  EXPECT_EQ(std::wstring(L"\uFFFD"), platform::utf8_to_wide("\xC0\xAF"));
  EXPECT_EQ(std::wstring(L"x\uFFFD"), platform::utf8_to_wide("x\xE6\xAC"));      // ends inside
  EXPECT_EQ("\xEF\xBF\xBD", platform::wide_to_utf8(std::wstring(1, static_cast<wchar_t>(0xD800))));
}

}  // namespace
