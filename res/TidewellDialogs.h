#pragma once
// The plug-in's dialog templates, written from the resource script
// (Tidewell.rc) at build time, for the window layer to build from, and the
// plug-in's module state through which CDialog finds them.
#include "platform/AfxWin.h"
#include "res/TidewellDialogTemplate.h"
#include "res/resource.h"

namespace tidewell_res {

// 2052: Chinese (Simplified), the language of the script's texts.
constexpr WORD kDialogLanguage = 2052;

inline const DLGTEMPLATEEX* find_dialog(UINT template_id) {
  return template_id == kDhcpAlarmId ? &kDhcpAlarm : nullptr;
}

// The plug-in module's own state: its dialog templates.
inline AFX_MODULE_STATE* module_state() {
  static AFX_MODULE_STATE state = {nullptr, &find_dialog};
  return &state;
}

}  // namespace tidewell_res
