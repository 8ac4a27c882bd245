#include "dhcpguard/ZDhcpDialog.h"

#include "host/HDataCenter.h"
#include "host/HLanMgr.h"
#include "res/resource.h"

IMPLEMENT_DYNAMIC(ZDhcpDialog, HDialog)

BEGIN_MESSAGE_MAP(ZDhcpDialog, HDialog)
END_MESSAGE_MAP()

ZDhcpDialog::ZDhcpDialog(CWnd* parent) : HDialog(IDD_DHCP_ALARM, parent) {}

ZDhcpDialog::~ZDhcpDialog() = default;

void ZDhcpDialog::set_msg(const HString& text) { str_msg = text; }

HString ZDhcpDialog::window_title() { return HLanMgr::ins().get(779, L"name", HDataCenter::GetBase()->str_name); }

void ZDhcpDialog::DoDataExchange(CDataExchange* exchange) {
  HDialog::DoDataExchange(exchange);
  DDX_Control(exchange, IDC_EDIT_MSG, edit_msg);
}

BOOL ZDhcpDialog::OnInitDialog() {
  HDialog::OnInitDialog();
  HICON icon = LoadIconW(nullptr, IDI_WARNING);
  SetIcon(icon, TRUE);
  SetIcon(icon, FALSE);
  edit_msg.SetWindowText(str_msg.wc_str());
  // The title is set after the text: an open window is found by its title,
  // and must not be found before it shows its alarm.
  SetWindowText(window_title().wc_str());
  set_item_text(IDOK, 120);
  return TRUE;
}
