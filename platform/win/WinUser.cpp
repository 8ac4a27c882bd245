// The window layer on Windows: the real user32 dialogs. A dialog whose
// template a module's dialog table names is built from that module's dialog
// resource (the resource script compiled into it); any other template is
// turned into a binary DLGTEMPLATEEX in memory. As on Linux, the title and
// the edit texts of a shown dialog are echoed, and headless dialogs count as
// closed by the user once shown unless a test keeps them open.
#include "platform/WinUser.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/AfxWin.h"
#include "platform/Utf8.h"
#include "platform/WinString.h"
#include "platform/WinTime.h"
#include "platform/win/DialogTemplateWriter.h"
#include "platform/win/Native.h"

namespace native = platform::native;

namespace {

const wchar_t kRunProperty[] = L"Tidewell.DialogRun";
const wchar_t kShownProperty[] = L"Tidewell.DialogShown";

// Without a desktop that anyone looks at (TIDEWELL_HEADLESS set, as the
// test runner does under Wine's null display driver) dialogs are headless
// from the start, as on Linux without a display.
bool headless_by_default() {
  const char* value = std::getenv("TIDEWELL_HEADLESS");
  return value && *value && std::string(value) != "0";
}

struct LayerSettings {
  std::atomic<bool> b_headless{headless_by_default()};
  std::atomic<bool> b_auto_close{true};
  std::mutex mtx_echo;
  std::function<void(const std::wstring&)> fn_echo;
};

LayerSettings& settings() {
  static LayerSettings* layer = new LayerSettings();
  return *layer;
}

// One modal run: the caller's procedure and parameter, and whether the
// dialog counts as closed as soon as it is shown.
struct DialogRun {
  DLGPROC proc = nullptr;
  LPARAM param = 0;
  bool b_close_when_shown = false;
};

// The run whose dialog this thread is creating: its first message arrives
// before WM_INITDIALOG hands over the parameter.
thread_local DialogRun* t_pending_run = nullptr;

bool is_edit(HWND window) { return _wcsicmp(native::class_name(window).c_str(), L"Edit") == 0; }

std::wstring echo_line(HWND dialog) {
  std::wstring line = L"WINDOW [" + native::window_text(dialog) + L"]";
  for (HWND child : native::child_windows(dialog)) {
    if (!is_edit(child)) continue;
    std::wstring text = native::window_text(child);
    for (size_t pos = 0; (pos = text.find(L"\r\n", pos)) != std::wstring::npos;) text.replace(pos, 2, L"\n");
    line += L" " + text;
  }
  return line;
}

void echo(HWND dialog) {
  std::wstring line = echo_line(dialog);
  LayerSettings& layer = settings();
  std::lock_guard<std::mutex> lock(layer.mtx_echo);
  if (layer.fn_echo) {
    layer.fn_echo(line);
    return;
  }
  std::string out = platform::wide_to_utf8(line) + "\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
}

// The user is told again what a shown dialog now says.
void echo_after_text_change(HWND window) {
  HWND dialog = window ? native::parent_of(window) : nullptr;
  if (dialog && native::get_prop(dialog, kShownProperty) && is_edit(window)) echo(dialog);
}

DialogRun* run_of(HWND hwnd) {
  DialogRun* run = static_cast<DialogRun*>(native::get_prop(hwnd, kRunProperty));
  if (run || !t_pending_run) return run;
  run = t_pending_run;
  t_pending_run = nullptr;
  native::set_prop(hwnd, kRunProperty, run);
  return run;
}

intptr_t dialog_thunk(HWND hwnd, unsigned int message, uintptr_t wparam, intptr_t lparam) {
  DialogRun* run = run_of(hwnd);
  if (!run) return FALSE;
  if (message == WM_INITDIALOG) {
    INT_PTR result = run->proc(hwnd, message, wparam, run->param);
    // A system-modal dialog stays above other windows, as Windows makes it;
    // not every implementation of the API does so on its own.
    if ((native::get_window_long_ptr(hwnd, GWL_STYLE) & DS_SYSMODAL) &&
        !(native::get_window_long_ptr(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST)) {
      native::make_topmost(hwnd);
    }
    native::set_prop(hwnd, kShownProperty, reinterpret_cast<void*>(1));
    echo(hwnd);
    if (run->b_close_when_shown) native::post_message(hwnd, WM_CLOSE, 0, 0);
    return result;
  }
  INT_PTR result = run->proc(hwnd, message, wparam, lparam);
  constexpr unsigned int kWmNcDestroy = 0x0082;
  if (message == kWmNcDestroy) {
    native::remove_prop(hwnd, kRunProperty);
    native::remove_prop(hwnd, kShownProperty);
  }
  return result;
}

// The module whose dialog table returns this template, and the resource id
// under which that module's resource script holds it; false when no module
// resource belongs to the template.
bool find_resource(HINSTANCE instance, const DLGTEMPLATEEX* dialog_template, HINSTANCE& module, WORD& id) {
  AFX_MODULE_STATE* state = AfxGetModuleState();
  if (!state || !state->m_pfnFindDialog) return false;
  module = instance ? instance : native::module_of_address(reinterpret_cast<const void*>(state->m_pfnFindDialog));
  if (!module) return false;
  for (uint16_t candidate : native::dialog_resource_ids(module)) {
    if (state->m_pfnFindDialog(candidate) == dialog_template) {
      id = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace

INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, const DLGTEMPLATEEX* dialog_template, HWND parent,
                                DLGPROC dialog_proc, LPARAM init_param) {
  if (!dialog_template || !dialog_proc || (dialog_template->cDlgItems > 0 && !dialog_template->items)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  std::unique_ptr<DialogRun> run(new DialogRun());
  run->proc = dialog_proc;
  run->param = init_param;
  run->b_close_when_shown = settings().b_headless.load() && settings().b_auto_close.load();
  t_pending_run = run.get();
  HINSTANCE module = nullptr;
  WORD id = 0;
  INT_PTR result;
  if (find_resource(instance, dialog_template, module, id)) {
    result = native::dialog_box_resource(module, id, parent, &dialog_thunk, 0);
  } else {
    std::vector<DWORD> binary = platform::write_dialog_template(*dialog_template);
    result = native::dialog_box_indirect(instance, binary.data(), parent, &dialog_thunk, 0);
  }
  t_pending_run = nullptr;
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) { return native::end_dialog(dialog, result); }

HWND FindWindowW(LPCWSTR class_name, LPCWSTR window_name) { return native::find_window(class_name, window_name); }

HWND GetDlgItem(HWND dialog, int id) { return native::get_dlg_item(dialog, id); }

BOOL IsWindow(HWND window) { return native::is_window(window); }

BOOL IsWindowVisible(HWND window) { return native::is_window_visible(window); }

LRESULT SendMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = native::send_message(window, message, wparam, lparam);
  if (message == WM_SETTEXT && result) echo_after_text_change(window);
  return result;
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return native::post_message(window, message, wparam, lparam);
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
  BOOL ok = native::set_window_text(window, text);
  if (ok) echo_after_text_change(window);
  return ok;
}

int GetWindowTextW(HWND window, LPWSTR buffer, int max_count) {
  if (!buffer || max_count <= 0) return 0;
  return native::get_window_text(window, buffer, max_count);
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) { return SetWindowTextW(GetDlgItem(dialog, id), text); }

LONG_PTR GetWindowLongPtrW(HWND window, int index) { return native::get_window_long_ptr(window, index); }

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
  return native::set_window_long_ptr(window, index, value);
}

BOOL GetWindowRect(HWND window, RECT* rect) { return rect ? native::get_window_rect(window, rect) : FALSE; }

int GetSystemMetrics(int index) { return native::get_system_metrics(index); }

HICON LoadIconW(HINSTANCE instance, LPCWSTR name) { return native::load_icon(instance, name); }

namespace platform {

void set_windows_headless(bool headless) { settings().b_headless.store(headless); }

void set_headless_auto_close(bool auto_close) { settings().b_auto_close.store(auto_close); }

void set_window_echo_sink(std::function<void(const std::wstring&)> sink) {
  LayerSettings& layer = settings();
  std::lock_guard<std::mutex> lock(layer.mtx_echo);
  layer.fn_echo = std::move(sink);
}

// Windows has a desktop to show dialogs on unless the layer is headless.
bool windows_have_display() { return !settings().b_headless.load(); }

// Pictures of windows are taken on the GTK side only.
bool save_window_png(HWND /*window*/, const std::string& /*path*/) { return false; }

std::string window_icon_name(HWND window) {
  static const struct {
    int id;
    const char* name;
  } kStock[] = {{32512, "application-x-executable"},
                {32513, "dialog-error"},
                {32514, "dialog-question"},
                {32515, "dialog-warning"},
                {32516, "dialog-information"}};
  HICON icon = reinterpret_cast<HICON>(native::send_message(window, WM_GETICON, ICON_BIG, 0));
  if (!icon) return "";
  // Stock icons are shared: loading one again gives the same handle.
  for (const auto& stock : kStock) {
    if (native::load_icon(nullptr, MAKEINTRESOURCEW(stock.id)) == icon) return stock.name;
  }
  return "";
}

}  // namespace platform
