#pragma once
// What the UI thread keeps of each window that GtkUi made.
#include <gtk/gtk.h>

#include <string>

#include "platform/GtkUi.h"

namespace platform {

struct GtkUi::Widgets {
  enum Kind { kDialog, kButton, kEdit, kMultiLineEdit, kStatic };
  Kind kind = kStatic;
  HWND dialog = nullptr;             // the dialog it belongs to (itself for a dialog)
  GtkWidget* widget = nullptr;       // the window of a dialog; the control itself
  GtkWidget* header = nullptr;       // dialog: its title bar
  GtkWidget* header_icon = nullptr;  // dialog: the small icon in the title bar
  GtkWidget* text_view = nullptr;    // multi-line edit inside its scrolled window
  std::string str_icon;              // dialog: the big icon's name
};

}  // namespace platform
