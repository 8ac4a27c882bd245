// Where a window stands and how it looks: for the tests and the
// screenshots of the dialogs.
#include <gtk/gtk.h>

#include "platform/GtkUi.h"
#include "platform/GtkUiWidgets.h"
#include "platform/WinTime.h"

namespace platform {

bool GtkUi::window_rect(HWND hwnd, RECT& rect) {
  bool found = false;
  run([&] {
    Widgets* w = widgets(hwnd);
    if (!w) return;
    GtkWidget* top = gtk_widget_get_toplevel(w->widget);
    int x = 0;
    int y = 0;
    gtk_window_get_position(GTK_WINDOW(top), &x, &y);
    GtkAllocation alloc;
    gtk_widget_get_allocation(w->widget, &alloc);
    if (w->kind == Widgets::kDialog) {
      int width = 0;
      int height = 0;
      gtk_window_get_size(GTK_WINDOW(top), &width, &height);
      rect = {x, y, x + width, y + height};
    } else {
      int cx = 0;
      int cy = 0;
      gtk_widget_translate_coordinates(w->widget, top, 0, 0, &cx, &cy);
      rect = {x + cx, y + cy, x + cx + alloc.width, y + cy + alloc.height};
    }
    found = true;
  });
  return found;
}

bool GtkUi::screen_size(int& width, int& height) {
  bool found = false;
  run([&] {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
    if (!monitor && display) monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return;
    GdkRectangle area;
    gdk_monitor_get_geometry(monitor, &area);
    width = area.width;
    height = area.height;
    found = true;
  });
  return found;
}

bool GtkUi::wait_drawn(HWND dialog) {
  for (int i = 0; i < 500; ++i) {  // up to 5 s
    {
      std::lock_guard<std::mutex> lock(mtx_drawn);
      auto it = map_drawn.find(reinterpret_cast<uintptr_t>(dialog));
      if (it != map_drawn.end() && it->second) return true;
    }
    Sleep(10);
  }
  return false;
}

bool GtkUi::save_png(HWND dialog, const std::string& path) {
  if (!available() || !wait_drawn(dialog)) return false;
  bool saved = false;
  run([&] {
    Widgets* w = widgets(dialog);
    if (!w || w->kind != Widgets::kDialog) return;
    GdkWindow* window = gtk_widget_get_window(w->widget);
    if (!window) return;
    gdk_display_sync(gdk_window_get_display(window));
    GdkPixbuf* pixbuf =
        gdk_pixbuf_get_from_window(window, 0, 0, gdk_window_get_width(window), gdk_window_get_height(window));
    if (!pixbuf) return;
    GError* error = nullptr;
    saved = gdk_pixbuf_save(pixbuf, path.c_str(), "png", &error, nullptr);
    if (error) g_error_free(error);
    g_object_unref(pixbuf);
  });
  return saved;
}

}  // namespace platform
