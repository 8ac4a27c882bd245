#include "platform/GtkUi.h"

#include <gtk/gtk.h>

#include <condition_variable>
#include <cstdlib>
#include <future>

#include "platform/GtkUiWidgets.h"
#include "platform/Utf8.h"
#include "platform/WinString.h"
#include "platform/WinTime.h"
#include "platform/WindowTable.h"

namespace platform {

namespace {

gpointer to_data(HWND hwnd) { return reinterpret_cast<gpointer>(hwnd); }
HWND to_hwnd(gpointer data) { return reinterpret_cast<HWND>(data); }

bool display_named() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

// Dialog base units of the font the dialog is drawn with, measured the way
// Windows measures them: the average width of the Latin letters and the
// line height.
struct BaseUnits {
  int x = 6;
  int y = 13;
  int px(int dialog_units) const { return dialog_units * x / 4; }
  int py(int dialog_units) const { return dialog_units * y / 8; }
};

BaseUnits measure_base_units(GtkWidget* widget) {
  BaseUnits units;
  PangoLayout* layout = gtk_widget_create_pango_layout(widget, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  int width = 0;
  int height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  g_object_unref(layout);
  if (width > 0 && height > 0) {
    units.x = (width / 26 + 1) / 2;
    units.y = height;
  }
  return units;
}

gboolean on_delete(GtkWidget*, GdkEvent*, gpointer data) {
  WindowMessage message;
  message.message = WM_CLOSE;
  WindowTable::ins().post(to_hwnd(data), message);
  return TRUE;  // the dialog's procedure decides; it destroys the window
}

void on_clicked(GtkButton*, gpointer data) {
  HWND button = to_hwnd(data);
  WindowRecord record;
  if (!WindowTable::ins().read(button, record)) return;
  WindowMessage message;
  message.message = WM_COMMAND;
  message.wparam = static_cast<WPARAM>(static_cast<WORD>(record.id));  // BN_CLICKED is 0
  message.lparam = reinterpret_cast<LPARAM>(button);
  WindowTable::ins().post(button, message);
}

std::wstring text_of_buffer(GtkTextBuffer* buffer) {
  GtkTextIter start;
  GtkTextIter end;
  gtk_text_buffer_get_bounds(buffer, &start, &end);
  gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, TRUE);
  std::wstring out = utf8_to_wide(text);
  g_free(text);
  return out;
}

GtkWidget* make_edit(const WindowRecord& record, GtkWidget** text_view) {
  if (!(record.style & ES_MULTILINE)) {
    GtkWidget* entry = gtk_entry_new();
    gtk_editable_set_editable(GTK_EDITABLE(entry), (record.style & ES_READONLY) == 0);
    return entry;
  }
  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER,
                                 (record.style & WS_VSCROLL) ? GTK_POLICY_ALWAYS : GTK_POLICY_NEVER);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled),
                                      (record.style & WS_BORDER) ? GTK_SHADOW_IN : GTK_SHADOW_NONE);
  *text_view = gtk_text_view_new();
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(*text_view), GTK_WRAP_WORD_CHAR);
  bool read_only = (record.style & ES_READONLY) != 0;
  gtk_text_view_set_editable(GTK_TEXT_VIEW(*text_view), !read_only);
  gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(*text_view), !read_only);
  gtk_text_view_set_left_margin(GTK_TEXT_VIEW(*text_view), 4);
  gtk_text_view_set_right_margin(GTK_TEXT_VIEW(*text_view), 4);
  gtk_container_add(GTK_CONTAINER(scrolled), *text_view);
  return scrolled;
}

}  // namespace

GtkUi& GtkUi::ins() {
  // Never destroyed: the UI thread runs until the process ends.
  static GtkUi* p_ui = new GtkUi();
  return *p_ui;
}

bool GtkUi::available() {
  std::call_once(once_start, [this] {
    if (!display_named()) return;
    std::promise<bool> started;
    std::future<bool> result = started.get_future();
    auto shared = std::make_shared<std::promise<bool>>(std::move(started));
    std::thread([this, shared] { ui_main([shared](bool ok) { shared->set_value(ok); }); }).detach();
    b_available = result.get();
  });
  return b_available;
}

void GtkUi::ui_main(std::function<void(bool)> started) {
  // The agent's locale is its own business: GTK must not change it.
  gtk_disable_setlocale();
  bool ok = gtk_init_check(nullptr, nullptr);
  id_ui = std::this_thread::get_id();
  started(ok);
  if (!ok) return;
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_main_loop_run(loop);
}

bool GtkUi::on_ui_thread() const { return std::this_thread::get_id() == id_ui; }

void GtkUi::run(const std::function<void()>& task) {
  if (!available()) return;
  if (on_ui_thread()) {
    task();
    return;
  }
  struct Call {
    const std::function<void()>* task;
    std::mutex mtx;
    std::condition_variable cv;
    bool b_done = false;
  } call;
  call.task = &task;
  g_main_context_invoke(
      nullptr,
      [](gpointer data) -> gboolean {
        Call* c = static_cast<Call*>(data);
        (*c->task)();
        // Signalled under the lock: the caller cannot return (and free the
        // call) before this thread has let go of it.
        std::lock_guard<std::mutex> lock(c->mtx);
        c->b_done = true;
        c->cv.notify_one();
        return G_SOURCE_REMOVE;
      },
      &call);
  std::unique_lock<std::mutex> lock(call.mtx);
  call.cv.wait(lock, [&call] { return call.b_done; });
}

GtkUi::Widgets* GtkUi::widgets(HWND hwnd) {
  auto it = map_widgets.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == map_widgets.end() ? nullptr : it->second;
}

void GtkUi::build_dialog(HWND dialog, const DLGTEMPLATEEX& dialog_template, const std::vector<HWND>& controls,
                         HWND parent) {
  run([&] {
    WindowRecord record;
    if (!WindowTable::ins().read(dialog, record)) return;
    Widgets* dlg = new Widgets();
    dlg->kind = Widgets::kDialog;
    dlg->dialog = dialog;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    dlg->widget = window;
    map_widgets[reinterpret_cast<uintptr_t>(dialog)] = dlg;
    std::string title = wide_to_utf8(record.text);
    gtk_window_set_title(GTK_WINDOW(window), title.c_str());
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_DIALOG);
    if (record.style & DS_CENTER) gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    // A system-modal dialog stays above every other window.
    if (record.ex_style & WS_EX_TOPMOST) gtk_window_set_keep_above(GTK_WINDOW(window), TRUE);
    if (record.style & (DS_MODALFRAME | DS_SYSMODAL)) gtk_window_set_modal(GTK_WINDOW(window), TRUE);
    Widgets* owner = widgets(parent);
    if (owner && owner->kind == Widgets::kDialog) {
      gtk_window_set_transient_for(GTK_WINDOW(window), GTK_WINDOW(owner->widget));
    }
    if (record.style & WS_CAPTION) {
      // Drawn by GTK itself, so that title, icon and close box show even
      // without a window manager.
      dlg->header = gtk_header_bar_new();
      gtk_header_bar_set_title(GTK_HEADER_BAR(dlg->header), title.c_str());
      gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(dlg->header), (record.style & WS_SYSMENU) != 0);
      gtk_header_bar_set_decoration_layout(GTK_HEADER_BAR(dlg->header), ":close");
      dlg->header_icon = gtk_image_new();
      gtk_header_bar_pack_start(GTK_HEADER_BAR(dlg->header), dlg->header_icon);
      gtk_window_set_titlebar(GTK_WINDOW(window), dlg->header);
    }
    g_signal_connect(window, "delete-event", G_CALLBACK(on_delete), to_data(dialog));
    g_signal_connect_after(window, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer data) -> gboolean {
                             GtkUi& ui = GtkUi::ins();
                             std::lock_guard<std::mutex> lock(ui.mtx_drawn);
                             ui.map_drawn[reinterpret_cast<uintptr_t>(data)] = true;
                             return FALSE;
                           }),
                           to_data(dialog));

    BaseUnits units = measure_base_units(window);
    GtkWidget* fixed = gtk_fixed_new();
    gtk_widget_set_size_request(fixed, units.px(dialog_template.cx), units.py(dialog_template.cy));
    gtk_container_add(GTK_CONTAINER(window), fixed);
    for (size_t i = 0; i < controls.size() && i < dialog_template.cDlgItems; ++i) {
      HWND control = controls[i];
      const DLGITEMTEMPLATEEX& layout = dialog_template.items[i];
      WindowRecord item;
      if (!WindowTable::ins().read(control, item)) continue;
      Widgets* ctl = new Widgets();
      ctl->dialog = dialog;
      std::string text = wide_to_utf8(item.text);
      if (_wcsicmp(item.window_class.c_str(), L"BUTTON") == 0) {
        ctl->kind = Widgets::kButton;
        ctl->widget = gtk_button_new_with_label(text.c_str());
        g_signal_connect(ctl->widget, "clicked", G_CALLBACK(on_clicked), to_data(control));
        if (item.style & BS_DEFPUSHBUTTON) {
          gtk_widget_set_can_default(ctl->widget, TRUE);
          gtk_window_set_default(GTK_WINDOW(window), ctl->widget);
          gtk_window_set_focus(GTK_WINDOW(window), ctl->widget);
        }
      } else if (_wcsicmp(item.window_class.c_str(), L"EDIT") == 0) {
        ctl->widget = make_edit(item, &ctl->text_view);
        ctl->kind = ctl->text_view ? Widgets::kMultiLineEdit : Widgets::kEdit;
      } else {
        ctl->kind = Widgets::kStatic;
        ctl->widget = gtk_label_new(text.c_str());
      }
      gtk_widget_set_size_request(ctl->widget, units.px(layout.cx), units.py(layout.cy));
      gtk_fixed_put(GTK_FIXED(fixed), ctl->widget, units.px(layout.x), units.py(layout.y));
      map_widgets[reinterpret_cast<uintptr_t>(control)] = ctl;
      if (!(item.style & WS_VISIBLE)) gtk_widget_set_no_show_all(ctl->widget, TRUE);
    }
  });
}

void GtkUi::show(HWND dialog) {
  run([&] {
    Widgets* dlg = widgets(dialog);
    if (!dlg) return;
    gtk_widget_show_all(dlg->widget);
    gtk_window_present(GTK_WINDOW(dlg->widget));
  });
}

void GtkUi::destroy(HWND dialog) {
  run([&] {
    Widgets* dlg = widgets(dialog);
    if (!dlg) return;
    gtk_widget_destroy(dlg->widget);  // takes its controls along
    for (auto it = map_widgets.begin(); it != map_widgets.end();) {
      if (it->second->dialog == dialog) {
        delete it->second;
        it = map_widgets.erase(it);
      } else {
        ++it;
      }
    }
  });
  std::lock_guard<std::mutex> lock(mtx_drawn);
  map_drawn.erase(reinterpret_cast<uintptr_t>(dialog));
}

void GtkUi::set_text(HWND hwnd, const std::wstring& text) {
  run([&] {
    Widgets* w = widgets(hwnd);
    if (!w) return;
    std::string utf8 = wide_to_utf8(text);
    switch (w->kind) {
      case Widgets::kDialog:
        gtk_window_set_title(GTK_WINDOW(w->widget), utf8.c_str());
        if (w->header) gtk_header_bar_set_title(GTK_HEADER_BAR(w->header), utf8.c_str());
        break;
      case Widgets::kButton:
        gtk_button_set_label(GTK_BUTTON(w->widget), utf8.c_str());
        break;
      case Widgets::kEdit:
        gtk_entry_set_text(GTK_ENTRY(w->widget), utf8.c_str());
        break;
      case Widgets::kMultiLineEdit:
        gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(w->text_view)), utf8.c_str(), -1);
        break;
      case Widgets::kStatic:
        gtk_label_set_text(GTK_LABEL(w->widget), utf8.c_str());
        break;
    }
  });
}

bool GtkUi::get_text(HWND hwnd, std::wstring& text) {
  bool found = false;
  run([&] {
    Widgets* w = widgets(hwnd);
    if (!w) return;
    found = true;
    switch (w->kind) {
      case Widgets::kDialog:
        text = utf8_to_wide(gtk_window_get_title(GTK_WINDOW(w->widget)));
        break;
      case Widgets::kButton:
        text = utf8_to_wide(gtk_button_get_label(GTK_BUTTON(w->widget)));
        break;
      case Widgets::kEdit:
        text = utf8_to_wide(gtk_entry_get_text(GTK_ENTRY(w->widget)));
        break;
      case Widgets::kMultiLineEdit:
        text = text_of_buffer(gtk_text_view_get_buffer(GTK_TEXT_VIEW(w->text_view)));
        break;
      case Widgets::kStatic:
        text = utf8_to_wide(gtk_label_get_text(GTK_LABEL(w->widget)));
        break;
    }
  });
  return found;
}

bool GtkUi::click(HWND button) {
  bool clicked = false;
  run([&] {
    Widgets* w = widgets(button);
    if (!w || w->kind != Widgets::kButton) return;
    gtk_button_clicked(GTK_BUTTON(w->widget));
    clicked = true;
  });
  return clicked;
}

void GtkUi::set_icon(HWND dialog, bool big, const char* icon_name) {
  run([&] {
    Widgets* w = widgets(dialog);
    if (!w || w->kind != Widgets::kDialog) return;
    if (big) {
      w->str_icon = icon_name ? icon_name : "";
      gtk_window_set_icon_name(GTK_WINDOW(w->widget), icon_name);
    } else if (w->header_icon) {
      gtk_image_set_from_icon_name(GTK_IMAGE(w->header_icon), icon_name, GTK_ICON_SIZE_LARGE_TOOLBAR);
    }
  });
}

std::string GtkUi::icon_name(HWND dialog) {
  std::string name;
  run([&] {
    Widgets* w = widgets(dialog);
    if (!w || w->kind != Widgets::kDialog) return;
    const gchar* window_icon = gtk_window_get_icon_name(GTK_WINDOW(w->widget));
    name = window_icon ? window_icon : "";
  });
  return name;
}

}  // namespace platform
