// The Windows window layer builds a dialog from the resource script compiled
// into the module whose dialog table names it, and from the table's own
// template only when the module has no such resource.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/AfxWin.h"
#include "res/TidewellDialogs.h"

namespace {

const wchar_t kMemoryTitle[] = L"from memory";
constexpr UINT kIdWithoutResource = 7000;

DLGTEMPLATEEX with_title(const wchar_t* title) {
  DLGTEMPLATEEX copy = tidewell_res::kDhcpAlarm;
  copy.title = title;
  return copy;
}

const DLGTEMPLATEEX kMemory6011 = with_title(kMemoryTitle);
const DLGTEMPLATEEX kMemory7000 = with_title(kMemoryTitle);

// The test program's own table: it holds dialog 6011 from Tidewell.rc.
const DLGTEMPLATEEX* find_dialog(UINT id) {
  if (id == IDD_DHCP_ALARM) return &kMemory6011;
  if (id == kIdWithoutResource) return &kMemory7000;
  return nullptr;
}

AFX_MODULE_STATE* test_module_state() {
  static AFX_MODULE_STATE state = {nullptr, &find_dialog};
  return &state;
}

// Looks at the window as the template made it, then ends the dialog.
class ProbeDialog : public CDialog {
 public:
  explicit ProbeDialog(UINT id) : CDialog(id, nullptr) {}
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    wchar_t text[64] = {0};
    GetWindowTextW(m_hWnd, text, 64);
    str_caption = text;
    HWND ok = GetDlgItem(m_hWnd, IDOK);
    GetWindowTextW(ok, text, 64);
    str_ok = text;
    HWND edit = GetDlgItem(m_hWnd, IDC_EDIT_MSG);
    ul_edit_style = edit ? static_cast<DWORD>(GetWindowLongPtrW(edit, GWL_STYLE)) : 0;
    EndDialog(IDOK);
    return TRUE;
  }

  std::wstring str_caption;
  std::wstring str_ok;
  DWORD ul_edit_style = 0;
};

}  // namespace

TEST(WindowsDialogs, ResourceTemplateServesItsIdAndTheTablesTemplateTheRest) {
  AFX_MAINTAIN_STATE2 state(test_module_state());
  ProbeDialog from_resource(IDD_DHCP_ALARM);
  ASSERT_EQ(IDOK, from_resource.DoModal());
  EXPECT_EQ(L"Dhcp \u6B3A\u9A97        ", from_resource.str_caption);
  EXPECT_EQ(L"\u786E\u5B9A", from_resource.str_ok);
  EXPECT_EQ(ES_READONLY | ES_MULTILINE | ES_AUTOVSCROLL,
            from_resource.ul_edit_style & (ES_READONLY | ES_MULTILINE | ES_AUTOVSCROLL));

  ProbeDialog from_memory(kIdWithoutResource);
  ASSERT_EQ(IDOK, from_memory.DoModal());
  EXPECT_EQ(kMemoryTitle, from_memory.str_caption);
  EXPECT_EQ(L"\u786E\u5B9A", from_memory.str_ok);
  EXPECT_EQ(ES_READONLY, from_memory.ul_edit_style & ES_READONLY);

  ProbeDialog unknown(6999);
  EXPECT_EQ(-1, unknown.DoModal());
}

TEST(WindowsDialogs, WithoutAnyoneLookingDialogsAreHeadlessUntilATestWantsThemReal) {
  const char* headless = std::getenv("TIDEWELL_HEADLESS");
  if (!headless || std::string(headless) == "0") GTEST_SKIP() << "run with TIDEWELL_HEADLESS=1 (wine-run.sh does)";
  EXPECT_FALSE(platform::windows_have_display());
  platform::set_windows_headless(false);
  EXPECT_TRUE(platform::windows_have_display());
  platform::set_windows_headless(true);
  EXPECT_FALSE(platform::save_window_png(nullptr, "x.png"));
}
