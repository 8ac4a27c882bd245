#pragma once
// The plug-in's dialog templates as the resource script (Tidewell.rc)
// describes them, for the window layer to build from, and the plug-in's
// module state through which CDialog finds them.
#include "platform/AfxWin.h"
#include "res/resource.h"

namespace tidewell_res {

// 2052: Chinese (Simplified), the language of the script's texts.
constexpr WORD kDialogLanguage = 2052;

inline const DLGITEMTEMPLATEEX kDhcpAlarmItems[] = {
    {0, 0, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 110, 76, 50, 16, IDOK, L"BUTTON", L"确定"},
    {0, 0, WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_READONLY | ES_AUTOVSCROLL | ES_MULTILINE, 7, 7, 256, 63,
     IDC_EDIT_MSG, L"EDIT", L""},
};

inline const DLGTEMPLATEEX kDhcpAlarm = {
    1,
    0xFFFF,
    0,
    0,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS | DS_SYSMODAL,
    static_cast<WORD>(sizeof(kDhcpAlarmItems) / sizeof(kDhcpAlarmItems[0])),
    0,
    0,
    270,
    99,
    L"Dhcp 欺骗        ",
    9,
    0,
    0,
    0,
    L"MS Shell Dlg",
    kDhcpAlarmItems,
};

inline const DLGTEMPLATEEX* find_dialog(UINT template_id) {
  return template_id == IDD_DHCP_ALARM ? &kDhcpAlarm : nullptr;
}

// The plug-in module's own state: its dialog templates.
inline AFX_MODULE_STATE* module_state() {
  static AFX_MODULE_STATE state = {nullptr, &find_dialog};
  return &state;
}

}  // namespace tidewell_res
