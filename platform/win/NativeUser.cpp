// user32 as Native.h offers it. This file sees <windows.h> and none of the
// platform headers.
#include <windows.h>

#include "platform/win/Native.h"

namespace platform {
namespace native {

intptr_t dialog_box_resource(HINSTANCE__* module, uint16_t id, HWND__* parent, DialogProc proc, intptr_t param) {
  return ::DialogBoxParamW(module, MAKEINTRESOURCEW(id), parent, proc, param);
}

intptr_t dialog_box_indirect(HINSTANCE__* module, const void* dialog_template, HWND__* parent, DialogProc proc,
                             intptr_t param) {
  return ::DialogBoxIndirectParamW(module, static_cast<LPCDLGTEMPLATEW>(dialog_template), parent, proc, param);
}

int end_dialog(HWND__* dialog, intptr_t result) { return ::EndDialog(dialog, result); }

HWND__* find_window(const wchar_t* class_name, const wchar_t* window_name) {
  return ::FindWindowW(class_name, window_name);
}

HWND__* get_dlg_item(HWND__* dialog, int id) { return ::GetDlgItem(dialog, id); }

HWND__* parent_of(HWND__* window) { return ::GetParent(window); }

int is_window(HWND__* window) { return ::IsWindow(window); }

int is_window_visible(HWND__* window) { return ::IsWindowVisible(window); }

intptr_t send_message(HWND__* window, unsigned int message, uintptr_t wparam, intptr_t lparam) {
  return ::SendMessageW(window, message, wparam, lparam);
}

int post_message(HWND__* window, unsigned int message, uintptr_t wparam, intptr_t lparam) {
  return ::PostMessageW(window, message, wparam, lparam);
}

int set_window_text(HWND__* window, const wchar_t* text) { return ::SetWindowTextW(window, text); }

int get_window_text(HWND__* window, wchar_t* buffer, int max_count) {
  return ::GetWindowTextW(window, buffer, max_count);
}

std::wstring window_text(HWND__* window) {
  int length = ::GetWindowTextLengthW(window);
  if (length <= 0) return std::wstring();
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int got = ::GetWindowTextW(window, &text[0], length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

std::wstring class_name(HWND__* window) {
  wchar_t name[64];
  int n = ::GetClassNameW(window, name, 64);
  return n > 0 ? std::wstring(name, static_cast<size_t>(n)) : std::wstring();
}

namespace {
BOOL CALLBACK collect_child(HWND child, LPARAM param) {
  reinterpret_cast<std::vector<HWND__*>*>(param)->push_back(child);
  return TRUE;
}
}  // namespace

std::vector<HWND__*> child_windows(HWND__* dialog) {
  std::vector<HWND__*> children;
  if (dialog) ::EnumChildWindows(dialog, collect_child, reinterpret_cast<LPARAM>(&children));
  return children;
}

intptr_t get_window_long_ptr(HWND__* window, int index) { return ::GetWindowLongPtrW(window, index); }

intptr_t set_window_long_ptr(HWND__* window, int index, intptr_t value) {
  return ::SetWindowLongPtrW(window, index, value);
}

int get_window_rect(HWND__* window, void* rect) { return ::GetWindowRect(window, static_cast<RECT*>(rect)); }

int get_system_metrics(int index) { return ::GetSystemMetrics(index); }

HICON__* load_icon(HINSTANCE__* instance, const wchar_t* name) { return ::LoadIconW(instance, name); }

int make_topmost(HWND__* window) {
  return ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

int set_prop(HWND__* window, const wchar_t* name, void* value) { return ::SetPropW(window, name, value); }

void* get_prop(HWND__* window, const wchar_t* name) { return ::GetPropW(window, name); }

void remove_prop(HWND__* window, const wchar_t* name) { ::RemovePropW(window, name); }

}  // namespace native
}  // namespace platform
