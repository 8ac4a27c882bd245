#include "platform/WinUser.h"

#include <algorithm>
#include <vector>

#include "platform/GtkUi.h"
#include "platform/WinString.h"
#include "platform/WinTime.h"
#include "platform/WindowTable.h"

struct HICON__ {
  int stock_id;
  const char* icon_name;  // in the desktop's icon theme
};

using platform::GtkUi;
using platform::WindowMessage;
using platform::WindowRecord;
using platform::WindowTable;

namespace {

HICON__ kStockIcons[] = {{32512, "application-x-executable"},
                         {32513, "dialog-error"},
                         {32514, "dialog-question"},
                         {32515, "dialog-warning"},
                         {32516, "dialog-information"}};

// Headless windows are laid out on a notional 1024 x 768 desktop with the
// dialog base units of a 9-point UI font.
constexpr int kHeadlessScreenWidth = 1024;
constexpr int kHeadlessScreenHeight = 768;
constexpr int kHeadlessBaseX = 7;
constexpr int kHeadlessBaseY = 15;

RECT dialog_units_to_pixels(short x, short y, short cx, short cy) {
  RECT rect;
  rect.left = x * kHeadlessBaseX / 4;
  rect.top = y * kHeadlessBaseY / 8;
  rect.right = rect.left + cx * kHeadlessBaseX / 4;
  rect.bottom = rect.top + cy * kHeadlessBaseY / 8;
  return rect;
}

// Control classes may be given by their predefined ordinals.
std::wstring control_class(LPCWSTR window_class) {
  if (!window_class) return L"STATIC";
  if (!IS_INTRESOURCE(window_class)) return window_class;
  switch (reinterpret_cast<uintptr_t>(window_class)) {
    case 0x0080:
      return L"BUTTON";
    case 0x0081:
      return L"EDIT";
    default:
      return L"STATIC";
  }
}

std::wstring resource_text(LPCWSTR text) { return text && !IS_INTRESOURCE(text) ? text : L""; }

WindowRecord dialog_record(const DLGTEMPLATEEX& dialog_template, DLGPROC proc, bool real) {
  WindowRecord record;
  record.window_class = L"#32770";
  record.text = resource_text(dialog_template.title);
  record.style = dialog_template.style;
  record.ex_style = dialog_template.exStyle;
  // As on Windows, a system-modal dialog is a topmost window.
  if (dialog_template.style & DS_SYSMODAL) record.ex_style |= WS_EX_TOPMOST;
  record.rect = dialog_units_to_pixels(dialog_template.x, dialog_template.y, dialog_template.cx, dialog_template.cy);
  if (dialog_template.style & DS_CENTER) {
    LONG width = record.rect.right - record.rect.left;
    LONG height = record.rect.bottom - record.rect.top;
    record.rect = {(kHeadlessScreenWidth - width) / 2, (kHeadlessScreenHeight - height) / 2,
                   (kHeadlessScreenWidth + width) / 2, (kHeadlessScreenHeight + height) / 2};
  }
  record.proc = proc;
  record.b_real = real;
  return record;
}

WindowRecord control_record(const DLGITEMTEMPLATEEX& item, HWND dialog, bool real) {
  WindowRecord record;
  record.parent = dialog;
  record.window_class = control_class(item.windowClass);
  record.text = resource_text(item.title);
  record.style = item.style;
  record.ex_style = item.exStyle;
  record.id = static_cast<int>(item.id);
  record.rect = dialog_units_to_pixels(item.x, item.y, item.cx, item.cy);
  record.b_real = real;
  return record;
}

bool read_record(HWND hwnd, WindowRecord& record) { return hwnd && WindowTable::ins().read(hwnd, record); }

bool window_text(HWND hwnd, std::wstring& text) {
  WindowRecord record;
  if (!read_record(hwnd, record)) return false;
  if (record.b_real && GtkUi::ins().get_text(hwnd, text)) return true;
  text = record.text;
  return true;
}

BOOL set_window_text(HWND hwnd, LPCWSTR text) {
  std::wstring value = text ? text : L"";
  WindowRecord record;
  if (!read_record(hwnd, record)) return FALSE;
  WindowTable::ins().update(hwnd, [&value](WindowRecord& r) { r.text = value; });
  if (record.b_real) GtkUi::ins().set_text(hwnd, value);
  // The user is told again what a shown dialog now says.
  WindowRecord dialog;
  if (record.parent && read_record(record.parent, dialog) && dialog.b_shown &&
      _wcsicmp(record.window_class.c_str(), L"EDIT") == 0) {
    WindowTable::ins().echo(record.parent);
  }
  return TRUE;
}

LRESULT copy_text(HWND hwnd, LPWSTR buffer, size_t size) {
  std::wstring text;
  if (!buffer || size == 0 || !window_text(hwnd, text)) return 0;
  size_t count = std::min(text.size(), size - 1);
  std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(count), buffer);
  buffer[count] = L'\0';
  return static_cast<LRESULT>(count);
}

const char* stock_icon_name(HICON icon) {
  for (const HICON__& stock : kStockIcons) {
    if (&stock == icon) return stock.icon_name;
  }
  return nullptr;
}

LRESULT set_icon(HWND hwnd, WPARAM which, HICON icon) {
  HICON previous = nullptr;
  bool real = false;
  bool found = WindowTable::ins().update(hwnd, [&](WindowRecord& r) {
    HICON& slot = which == ICON_BIG ? r.icon_big : r.icon_small;
    previous = slot;
    slot = icon;
    real = r.b_real && !r.parent;
  });
  if (found && real) GtkUi::ins().set_icon(hwnd, which == ICON_BIG, stock_icon_name(icon));
  return reinterpret_cast<LRESULT>(previous);
}

LRESULT get_icon(HWND hwnd, WPARAM which) {
  WindowRecord record;
  if (!read_record(hwnd, record)) return 0;
  return reinterpret_cast<LRESULT>(which == ICON_BIG ? record.icon_big : record.icon_small);
}

// The button tells its dialog, as a real click does.
LRESULT click_button(HWND button) {
  WindowRecord record;
  if (!read_record(button, record) || _wcsicmp(record.window_class.c_str(), L"BUTTON") != 0) return 0;
  if (record.b_real && GtkUi::ins().click(button)) return 0;
  WindowMessage command;
  command.message = WM_COMMAND;
  command.wparam = static_cast<WPARAM>(static_cast<WORD>(record.id));
  command.lparam = reinterpret_cast<LPARAM>(button);
  WindowTable::ins().post(button, command);
  return 0;
}

void show_dialog(HWND dialog, bool real) {
  WindowTable& table = WindowTable::ins();
  table.update(dialog, [](WindowRecord& r) {
    r.b_shown = true;
    r.style |= WS_VISIBLE;
  });
  table.echo(dialog);
  if (real) {
    GtkUi::ins().show(dialog);
  } else if (table.auto_close()) {
    WindowMessage close;
    close.message = WM_CLOSE;
    table.post(dialog, close);
  }
}

INT_PTR modal_loop(HWND dialog, DLGPROC proc) {
  WindowMessage message;
  INT_PTR result = -1;
  while (WindowTable::ins().next_message(dialog, message, result)) {
    if (proc(dialog, message.message, message.wparam, message.lparam)) continue;
    // What the default dialog procedure does with the close box.
    if (message.message == WM_CLOSE) proc(dialog, WM_COMMAND, static_cast<WPARAM>(IDCANCEL), 0);
  }
  return result;
}

}  // namespace

INT_PTR DialogBoxIndirectParamW(HINSTANCE /*instance*/, const DLGTEMPLATEEX* dialog_template, HWND parent,
                                DLGPROC dialog_proc, LPARAM init_param) {
  if (!dialog_template || !dialog_proc || (dialog_template->cDlgItems > 0 && !dialog_template->items)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  WindowTable& table = WindowTable::ins();
  bool real = !table.headless() && GtkUi::ins().available();
  HWND dialog = table.add(dialog_record(*dialog_template, dialog_proc, real));
  std::vector<HWND> controls;
  for (WORD i = 0; i < dialog_template->cDlgItems; ++i) {
    controls.push_back(table.add(control_record(dialog_template->items[i], dialog, real)));
  }
  if (real) GtkUi::ins().build_dialog(dialog, *dialog_template, controls, parent);
  WPARAM focus = controls.empty() ? 0 : reinterpret_cast<WPARAM>(controls.front());
  dialog_proc(dialog, WM_INITDIALOG, focus, init_param);
  show_dialog(dialog, real);
  INT_PTR result = modal_loop(dialog, dialog_proc);
  if (real) GtkUi::ins().destroy(dialog);
  table.remove_dialog(dialog);
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) { return WindowTable::ins().end_dialog(dialog, result) ? TRUE : FALSE; }

HWND FindWindowW(LPCWSTR class_name, LPCWSTR window_name) {
  return WindowTable::ins().find_dialog(class_name, window_name);
}

HWND GetDlgItem(HWND dialog, int id) { return WindowTable::ins().find_control(dialog, id); }

BOOL IsWindow(HWND window) {
  WindowRecord record;
  return read_record(window, record) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND window) {
  WindowRecord record;
  if (!read_record(window, record) || !(record.style & WS_VISIBLE)) return FALSE;
  if (!record.parent) return record.b_shown ? TRUE : FALSE;
  return IsWindowVisible(record.parent);
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SETTEXT:
      return set_window_text(window, reinterpret_cast<LPCWSTR>(lparam));
    case WM_GETTEXT:
      return copy_text(window, reinterpret_cast<LPWSTR>(lparam), wparam);
    case WM_GETTEXTLENGTH: {
      std::wstring text;
      return window_text(window, text) ? static_cast<LRESULT>(text.size()) : 0;
    }
    case WM_SETICON:
      return set_icon(window, wparam, reinterpret_cast<HICON>(lparam));
    case WM_GETICON:
      return get_icon(window, wparam);
    case BM_CLICK:
      return click_button(window);
    case WM_CLOSE:
    case WM_COMMAND:
      // Handled by the dialog's own loop; the sender does not wait for it.
      PostMessageW(window, message, wparam, lparam);
      return 0;
    default:
      return 0;
  }
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  WindowMessage queued;
  queued.message = message;
  queued.wparam = wparam;
  queued.lparam = lparam;
  return WindowTable::ins().post(window, queued) ? TRUE : FALSE;
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) { return set_window_text(window, text); }

int GetWindowTextW(HWND window, LPWSTR buffer, int max_count) {
  if (max_count <= 0) return 0;
  return static_cast<int>(copy_text(window, buffer, static_cast<size_t>(max_count)));
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) { return set_window_text(GetDlgItem(dialog, id), text); }

LONG_PTR GetWindowLongPtrW(HWND window, int index) {
  WindowRecord record;
  if (!read_record(window, record)) return 0;
  switch (index) {
    case GWL_STYLE:
      return static_cast<LONG_PTR>(record.style);
    case GWL_EXSTYLE:
      return static_cast<LONG_PTR>(record.ex_style);
    case GWLP_ID:
      return record.id;
    case DWLP_USER:
      return record.user_data;
    default:
      return 0;
  }
}

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
  LONG_PTR previous = 0;
  WindowTable::ins().update(window, [&](WindowRecord& r) {
    switch (index) {
      case GWL_STYLE:
        previous = static_cast<LONG_PTR>(r.style);
        r.style = static_cast<DWORD>(value);
        break;
      case GWL_EXSTYLE:
        previous = static_cast<LONG_PTR>(r.ex_style);
        r.ex_style = static_cast<DWORD>(value);
        break;
      case DWLP_USER:
        previous = r.user_data;
        r.user_data = value;
        break;
      default:
        break;
    }
  });
  return previous;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  WindowRecord record;
  if (!rect || !read_record(window, record)) return FALSE;
  if (record.b_real && GtkUi::ins().window_rect(window, *rect)) return TRUE;
  *rect = record.rect;
  WindowRecord dialog;
  if (record.parent && read_record(record.parent, dialog)) {
    rect->left += dialog.rect.left;
    rect->right += dialog.rect.left;
    rect->top += dialog.rect.top;
    rect->bottom += dialog.rect.top;
  }
  return TRUE;
}

int GetSystemMetrics(int index) {
  int width = kHeadlessScreenWidth;
  int height = kHeadlessScreenHeight;
  if (!WindowTable::ins().headless() && GtkUi::ins().available()) GtkUi::ins().screen_size(width, height);
  if (index == SM_CXSCREEN) return width;
  if (index == SM_CYSCREEN) return height;
  return 0;
}

HICON LoadIconW(HINSTANCE instance, LPCWSTR name) {
  // Only the system's stock icons: the plug-in carries no icon resources.
  if (instance || !IS_INTRESOURCE(name)) {
    SetLastError(ERROR_NOT_FOUND);
    return nullptr;
  }
  for (HICON__& stock : kStockIcons) {
    if (stock.stock_id == static_cast<int>(reinterpret_cast<uintptr_t>(name))) return &stock;
  }
  SetLastError(ERROR_NOT_FOUND);
  return nullptr;
}

namespace platform {

void set_windows_headless(bool headless) { WindowTable::ins().set_headless(headless); }

void set_headless_auto_close(bool auto_close) { WindowTable::ins().set_auto_close(auto_close); }

void set_window_echo_sink(std::function<void(const std::wstring&)> sink) {
  WindowTable::ins().set_echo_sink(std::move(sink));
}

bool windows_have_display() { return !WindowTable::ins().headless() && GtkUi::ins().available(); }

bool save_window_png(HWND window, const std::string& path) {
  WindowRecord record;
  if (!read_record(window, record) || !record.b_real || record.parent) return false;
  return GtkUi::ins().save_png(window, path);
}

std::string window_icon_name(HWND window) {
  WindowRecord record;
  if (!read_record(window, record)) return "";
  if (record.b_real) return GtkUi::ins().icon_name(window);
  const char* name = stock_icon_name(record.icon_big);
  return name ? name : "";
}

}  // namespace platform
