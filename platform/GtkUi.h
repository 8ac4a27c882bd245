#pragma once
// The GTK side of the window layer: one UI thread of its own runs GTK's main
// loop; every operation below is carried to that thread and waits for it
// (directly run when called on it). It keeps the widgets of each real
// window; the window's data stays in the WindowTable.
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/WinUser.h"

namespace platform {

class GtkUi {
 public:
  static GtkUi& ins();

  // Starts the UI thread on the first call; false when there is no display
  // or GTK cannot open it.
  bool available();

  // Builds the widgets of a dialog and its controls from the template; the
  // records (dialog and controls, in template order) exist already.
  void build_dialog(HWND dialog, const DLGTEMPLATEEX& dialog_template, const std::vector<HWND>& controls,
                    HWND parent);
  void show(HWND dialog);
  void destroy(HWND dialog);
  void set_text(HWND hwnd, const std::wstring& text);
  bool get_text(HWND hwnd, std::wstring& text);
  // Clicks a button as the user would; false when it is no real button.
  bool click(HWND button);
  void set_icon(HWND dialog, bool big, const char* icon_name);
  std::string icon_name(HWND dialog);
  bool window_rect(HWND hwnd, RECT& rect);
  bool screen_size(int& width, int& height);
  // Waits (bounded) until the window has been drawn, then saves it.
  bool save_png(HWND dialog, const std::string& path);

 private:
  struct Widgets;
  GtkUi() = default;
  void run(const std::function<void()>& task);
  bool on_ui_thread() const;
  bool wait_drawn(HWND dialog);
  void ui_main(std::function<void(bool)> started);
  // UI thread only.
  Widgets* widgets(HWND hwnd);

  std::once_flag once_start;
  bool b_available = false;
  std::thread::id id_ui;
  std::map<uintptr_t, Widgets*> map_widgets;  // UI thread only
  std::mutex mtx_drawn;
  std::map<uintptr_t, bool> map_drawn;
};

}  // namespace platform
