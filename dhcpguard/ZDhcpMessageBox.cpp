#include "dhcpguard/ZDhcpMessageBox.h"

#include "dhcpguard/ZDhcpDialog.h"
#include "host/HFileLog.h"
#include "res/TidewellDialogs.h"

ZDhcpMessageBox::ZDhcpMessageBox(const HString& text) : str_msg(text) {}

ZDhcpMessageBox::~ZDhcpMessageBox() { delete p_dialog; }

void ZDhcpMessageBox::run() {
  // The dialog template is the plug-in's, not the agent's.
  AFX_MAINTAIN_STATE2 state(tidewell_res::module_state());
  if (!p_dialog) p_dialog = new ZDhcpDialog(nullptr);
  p_dialog->set_msg(str_msg);
  if (p_dialog->DoModal() < 0) {
    HFileLog::ins().log(1, L".\\ZDhcpMessageBox", __LINE__, L"cannot show the DHCP alarm window");
  }
}
