#pragma once
// The Windows user-interface calls that the plug-in's alarm window makes,
// over GTK 3. GTK runs on one UI thread of this layer's own; a call from any
// other thread is carried to it and waits for the answer, as SendMessageW
// waits for the window's thread on Windows.
//
// A modal dialog (DialogBoxIndirectParamW) runs its message loop on the
// calling thread: the dialog procedure is called there, the call returns
// when the procedure ends the dialog (EndDialog). The OK button and the
// close box reach it as WM_COMMAND and WM_CLOSE.
//
// Without a display (no DISPLAY or WAYLAND_DISPLAY, or GTK cannot start) the
// layer is headless: windows exist with their titles and texts, and a
// dialog counts as closed by the user as soon as it is shown. Either way the
// title and edit texts of a dialog are echoed to standard output when it is
// shown and when an edit's text changes while it is shown, so that an agent
// without a desktop still tells its user.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/WinTypes.h"

struct HWND__;
typedef HWND__* HWND;
struct HICON__;
typedef HICON__* HICON;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;

typedef unsigned int UINT;
typedef int32_t LONG;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

inline LPCWSTR MAKEINTRESOURCEW(int id) {
  return reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(static_cast<WORD>(id)));
}
inline bool IS_INTRESOURCE(LPCWSTR name) { return (reinterpret_cast<uintptr_t>(name) >> 16) == 0; }
inline WORD LOWORD(uintptr_t value) { return static_cast<WORD>(value & 0xffff); }
inline WORD HIWORD(uintptr_t value) { return static_cast<WORD>((value >> 16) & 0xffff); }

// Messages.
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_GETICON = 0x007F;
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT BM_CLICK = 0x00F5;
constexpr WPARAM ICON_SMALL = 0;
constexpr WPARAM ICON_BIG = 1;

// Dialog results and the ids of the standard buttons.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Window, dialog, button and edit styles.
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD DS_SYSMODAL = 0x0002;
constexpr DWORD DS_FIXEDSYS = 0x0008;
constexpr DWORD DS_SETFONT = 0x0040;
constexpr DWORD DS_MODALFRAME = 0x0080;
constexpr DWORD DS_CENTER = 0x0800;
constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;
constexpr DWORD ES_MULTILINE = 0x0004;
constexpr DWORD ES_AUTOVSCROLL = 0x0040;
constexpr DWORD ES_READONLY = 0x0800;

// GetWindowLongPtrW / SetWindowLongPtrW.
constexpr int GWL_EXSTYLE = -20;
constexpr int GWL_STYLE = -16;
constexpr int GWLP_ID = -12;
constexpr int DWLP_USER = 16;

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;

// Stock icons (LoadIconW with no module).
#define IDI_WARNING MAKEINTRESOURCEW(32515)
#define IDI_ERROR MAKEINTRESOURCEW(32513)
#define IDI_INFORMATION MAKEINTRESOURCEW(32516)

// A dialog template as a resource script describes it (DIALOGEX): the same
// fields as the binary DLGTEMPLATEEX, with the controls as an array.
struct DLGITEMTEMPLATEEX {
  DWORD helpID;
  DWORD exStyle;
  DWORD style;
  short x;
  short y;
  short cx;
  short cy;
  DWORD id;
  LPCWSTR windowClass;  // "BUTTON", "EDIT", "STATIC"
  LPCWSTR title;        // may be null
};

struct DLGTEMPLATEEX {
  WORD dlgVer;     // 1
  WORD signature;  // 0xFFFF
  DWORD helpID;
  DWORD exStyle;
  DWORD style;
  WORD cDlgItems;
  short x;
  short y;
  short cx;  // dialog units
  short cy;
  LPCWSTR title;
  WORD pointsize;
  WORD weight;
  BYTE italic;
  BYTE charset;
  LPCWSTR typeface;
  const DLGITEMTEMPLATEEX* items;  // cDlgItems of them
};

INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, const DLGTEMPLATEEX* dialog_template, HWND parent,
                                DLGPROC dialog_proc, LPARAM init_param);
BOOL EndDialog(HWND dialog, INT_PTR result);

HWND FindWindowW(LPCWSTR class_name, LPCWSTR window_name);
HWND GetDlgItem(HWND dialog, int id);
BOOL IsWindow(HWND window);
BOOL IsWindowVisible(HWND window);
LRESULT SendMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
BOOL PostMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
BOOL SetWindowTextW(HWND window, LPCWSTR text);
int GetWindowTextW(HWND window, LPWSTR buffer, int max_count);
BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
LONG_PTR GetWindowLongPtrW(HWND window, int index);
LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
BOOL GetWindowRect(HWND window, RECT* rect);
int GetSystemMetrics(int index);
HICON LoadIconW(HINSTANCE instance, LPCWSTR name);

namespace platform {
// Test seams.
// Makes windows created from now on headless (true) or real when a display
// is there (false, the default).
void set_windows_headless(bool headless);
// Headless dialogs count as closed by the user at once (true, the default)
// or stay open until closed (PostMessageW with WM_CLOSE).
void set_headless_auto_close(bool auto_close);
// Where the echo of shown dialogs goes instead of standard output; a null
// function restores standard output.
void set_window_echo_sink(std::function<void(const std::wstring&)> sink);
// Whether dialogs created now are real windows on a display (starts the UI
// thread when needed).
bool windows_have_display();
// Saves what the window shows as a PNG file; false when the window is not a
// real, drawn window or the file cannot be written.
bool save_window_png(HWND window, const std::string& path);
// The GTK icon name that the window shows for its small icon ("" if none).
std::string window_icon_name(HWND window);
}  // namespace platform
