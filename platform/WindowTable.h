#pragma once
// The windows of the window layer as data: handles, classes, texts, styles,
// and each dialog's message queue. Handles are numbers, never pointers, so a
// handle kept after its window is gone finds nothing instead of freed
// memory. Every operation on windows takes the table's lock.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/WinUser.h"

namespace platform {

struct WindowMessage {
  UINT message = 0;
  WPARAM wparam = 0;
  LPARAM lparam = 0;
};

struct WindowRecord {
  HWND hwnd = nullptr;
  HWND parent = nullptr;  // the dialog of a control; null for a dialog
  std::wstring window_class;
  std::wstring text;
  DWORD style = 0;
  DWORD ex_style = 0;
  int id = 0;
  LONG_PTR user_data = 0;
  HICON icon_big = nullptr;
  HICON icon_small = nullptr;
  RECT rect = {0, 0, 0, 0};  // pixels; a control's relative to its dialog
  bool b_real = false;       // shown by GTK
  bool b_shown = false;
  // Dialogs only.
  DLGPROC proc = nullptr;
  std::deque<WindowMessage> dq_messages;
  bool b_ended = false;
  INT_PTR result = 0;
};

class WindowTable {
 public:
  static WindowTable& ins();

  // Adds the record under a new handle and returns the handle.
  HWND add(WindowRecord record);
  // Calls `change` on the record under the lock; false when there is none.
  bool update(HWND hwnd, const std::function<void(WindowRecord&)>& change);
  // A copy of the record; false when there is none.
  bool read(HWND hwnd, WindowRecord& record);
  // Removes a dialog and its controls; wakes its modal loop.
  void remove_dialog(HWND dialog);

  // The newest dialog whose class (when given) and title match, ignoring case.
  HWND find_dialog(LPCWSTR window_class, LPCWSTR title);
  HWND find_control(HWND dialog, int id);
  std::vector<HWND> controls(HWND dialog);
  // The dialog itself, or the dialog that holds the control.
  HWND dialog_of(HWND hwnd);

  // Queues a message for the modal loop of the window's dialog.
  bool post(HWND hwnd, const WindowMessage& message);
  bool end_dialog(HWND dialog, INT_PTR result);
  // Waits for the next message; false (with the result) once the dialog
  // has ended or is gone.
  bool next_message(HWND dialog, WindowMessage& message, INT_PTR& result);

  // Settings of the layer.
  void set_headless(bool headless) { b_headless = headless; }
  bool headless() const { return b_headless; }
  void set_auto_close(bool auto_close) { b_auto_close = auto_close; }
  bool auto_close() const { return b_auto_close; }

  // Tells the user what a dialog shows: its title and the texts of its
  // edits, on standard output or to the test's sink.
  void echo(HWND dialog);
  void set_echo_sink(std::function<void(const std::wstring&)> sink);

 private:
  WindowTable() = default;
  WindowRecord* find_locked(HWND hwnd);

  std::mutex mtx_table;
  std::condition_variable cv_messages;
  std::map<uintptr_t, WindowRecord> map_windows;
  std::vector<uintptr_t> vt_dialogs;  // in the order of creation
  uintptr_t ul_next_handle = 0x10000;
  std::atomic<bool> b_headless{false};
  std::atomic<bool> b_auto_close{true};
  std::mutex mtx_echo;
  std::function<void(const std::wstring&)> fn_echo;
};

}  // namespace platform
