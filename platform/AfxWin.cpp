#include "platform/AfxWin.h"

CRuntimeClass CObject::classCObject = {"CObject", static_cast<int>(sizeof(CObject)), 0xFFFF, nullptr, nullptr};

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
  for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass) {
    if (c == base) return true;
  }
  return false;
}

CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

bool CObject::IsKindOf(const CRuntimeClass* runtime_class) const {
  return GetRuntimeClass()->IsDerivedFrom(runtime_class);
}

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)
IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
  static const AFX_MSGMAP message_map = {nullptr, &entries[0]};
  return &message_map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

bool CCmdTarget::OnCmdMsg(UINT id) {
  for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry && entry->nMessage; ++entry) {
      if (entry->nMessage == WM_COMMAND && id >= entry->nID && id <= entry->nLastID && entry->pfn) {
        (this->*entry->pfn)();
        return true;
      }
    }
  }
  return false;
}

void CWnd::SetWindowText(LPCWSTR text) { SetWindowTextW(m_hWnd, text); }

HICON CWnd::SetIcon(HICON icon, BOOL big_icon) {
  return reinterpret_cast<HICON>(SendMessage(WM_SETICON, big_icon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  return SendMessageW(m_hWnd, message, wparam, lparam);
}

void CWnd::SetDlgItemText(int id, LPCWSTR text) { SetDlgItemTextW(m_hWnd, id, text); }

IMPLEMENT_DYNAMIC(CEdit, CWnd)

void DDX_Control(CDataExchange* exchange, int id, CWnd& control) {
  if (!exchange || !exchange->m_pDlgWnd || control.m_hWnd) return;
  control.m_hWnd = GetDlgItem(exchange->m_pDlgWnd->m_hWnd, id);
}

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT template_id, CWnd* parent) : m_nIDHelp(template_id), m_pParentWnd(parent) {}

INT_PTR CDialog::DoModal() {
  AFX_MODULE_STATE* state = AfxGetModuleState();
  const DLGTEMPLATEEX* dialog_template =
      state && state->m_pfnFindDialog ? state->m_pfnFindDialog(m_nIDHelp) : nullptr;
  if (!dialog_template) return -1;
  HWND parent = m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : nullptr;
  INT_PTR result = DialogBoxIndirectParamW(state->m_hCurrentResourceHandle, dialog_template, parent,
                                           &CDialog::dialog_proc, reinterpret_cast<LPARAM>(this));
  m_hWnd = nullptr;
  return result;
}

INT_PTR CDialog::dialog_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    CDialog* dialog = reinterpret_cast<CDialog*>(lparam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    dialog->m_hWnd = hwnd;
    return dialog->OnInitDialog();
  }
  CDialog* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (!dialog || message != WM_COMMAND) return FALSE;
  return dialog->OnCmdMsg(LOWORD(wparam)) ? TRUE : FALSE;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange* /*exchange*/) {}

void CDialog::OnOK() {
  if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

BOOL CDialog::UpdateData(BOOL save_and_validate) {
  CDataExchange exchange(this, save_and_validate);
  DoDataExchange(&exchange);
  return TRUE;
}

namespace {
AFX_MODULE_STATE* process_module_state() {
  static AFX_MODULE_STATE state = {nullptr, nullptr};
  return &state;
}
thread_local AFX_MODULE_STATE* t_module_state = nullptr;
}  // namespace

AFX_MODULE_STATE* AfxGetModuleState() { return t_module_state ? t_module_state : process_module_state(); }

AFX_MAINTAIN_STATE2::AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* state) : m_pPrevModuleState(t_module_state) {
  t_module_state = state;
}

AFX_MAINTAIN_STATE2::~AFX_MAINTAIN_STATE2() { t_module_state = m_pPrevModuleState; }
