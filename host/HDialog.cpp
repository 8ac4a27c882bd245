#include "host/HDialog.h"

#include "host/HLanMgr.h"

IMPLEMENT_DYNAMIC(HDialog, CDialog)

BEGIN_MESSAGE_MAP(HDialog, CDialog)
END_MESSAGE_MAP()

HDialog::HDialog(UINT template_id, CWnd* parent) : CDialog(template_id, parent) {}

HDialog::~HDialog() = default;

BOOL HDialog::OnInitDialog() { return CDialog::OnInitDialog(); }

void HDialog::DoDataExchange(CDataExchange* exchange) { CDialog::DoDataExchange(exchange); }

int HDialog::set_item_text(int control_id, int text_id) {
  HWND control = GetDlgItem(m_hWnd, control_id);
  if (!control) return -1;
  HString text = HLanMgr::ins().get(text_id);
  return SetWindowTextW(control, text.wc_str()) ? 0 : -1;
}
