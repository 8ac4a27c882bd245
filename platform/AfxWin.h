#pragma once
// The part of MFC that dialogs of the agent and the plug-in are written
// against, over the window layer (WinUser.h): run-time class information,
// message maps, CWnd, CEdit, CDialog with dialog data exchange, and the
// module state that tells CDialog where the running module keeps its dialog
// templates.
#include "platform/WinUser.h"

struct CRuntimeClass {
  const char* m_lpszClassName;
  int m_nObjectSize;
  UINT m_wSchema;
  void* (*m_pfnCreateObject)();  // null: not creatable by name
  const CRuntimeClass* m_pBaseClass;

  bool IsDerivedFrom(const CRuntimeClass* base) const;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)
#define DECLARE_DYNAMIC(class_name) \
 public:                            \
  static CRuntimeClass class##class_name; \
  CRuntimeClass* GetRuntimeClass() const override;
#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                                                  \
  CRuntimeClass class_name::class##class_name = {#class_name, static_cast<int>(sizeof(class_name)), 0xFFFF, \
                                                 nullptr, RUNTIME_CLASS(base_class_name)};               \
  CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

class CObject {
 public:
  static CRuntimeClass classCObject;
  virtual CRuntimeClass* GetRuntimeClass() const;
  virtual ~CObject() = default;
  bool IsKindOf(const CRuntimeClass* runtime_class) const;
};

class CCmdTarget;
typedef void (CCmdTarget::*AFX_PMSG)();

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;  // 0 ends the map
  UINT nCode;
  UINT nID;
  UINT nLastID;
  AFX_PMSG pfn;
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP* GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(the_class, base_class)                                         \
  const AFX_MSGMAP* the_class::GetMessageMap() const { return GetThisMessageMap(); }    \
  const AFX_MSGMAP* the_class::GetThisMessageMap() {                                     \
    using ThisClass [[maybe_unused]] = the_class;                                        \
    typedef base_class TheBaseClass;                                                     \
    static const AFX_MSGMAP_ENTRY message_entries[] = {
#define ON_COMMAND(id, member_fn) {WM_COMMAND, 0, static_cast<UINT>(id), static_cast<UINT>(id), \
                                   static_cast<AFX_PMSG>(&ThisClass::member_fn)},
#define END_MESSAGE_MAP()                                                                 \
  {0, 0, 0, 0, nullptr}};                                                                 \
  static const AFX_MSGMAP message_map = {&TheBaseClass::GetThisMessageMap, &message_entries[0]}; \
  return &message_map;                                                                    \
  }

class CCmdTarget : public CObject {
  DECLARE_DYNAMIC(CCmdTarget)

 public:
  // Calls the handler that the message maps, from the class's own up to its
  // bases, give for the command; false when none does.
  bool OnCmdMsg(UINT id);

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
};

class CWnd : public CCmdTarget {
  DECLARE_DYNAMIC(CWnd)

 public:
  HWND m_hWnd = nullptr;

  HWND GetSafeHwnd() const { return m_hWnd; }
  void SetWindowText(LPCWSTR text);
  HICON SetIcon(HICON icon, BOOL big_icon);
  LRESULT SendMessage(UINT message, WPARAM wparam = 0, LPARAM lparam = 0);
  void SetDlgItemText(int id, LPCWSTR text);
};

class CEdit : public CWnd {
  DECLARE_DYNAMIC(CEdit)
};

class CDataExchange {
 public:
  CDataExchange(CWnd* dialog, BOOL save_and_validate) : m_bSaveAndValidate(save_and_validate), m_pDlgWnd(dialog) {}
  BOOL m_bSaveAndValidate;
  CWnd* m_pDlgWnd;
};

// Binds a control object to the dialog's control `id`.
void DDX_Control(CDataExchange* exchange, int id, CWnd& control);

class CDialog : public CWnd {
  DECLARE_DYNAMIC(CDialog)

 public:
  CDialog(UINT template_id, CWnd* parent = nullptr);
  // Runs the dialog until it is ended; the template comes from the module
  // state of the calling thread. -1 when there is no such template.
  virtual INT_PTR DoModal();
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange* exchange);
  virtual void OnOK();
  virtual void OnCancel();
  void EndDialog(int result);
  BOOL UpdateData(BOOL save_and_validate = TRUE);

 protected:
  UINT m_nIDHelp;
  CWnd* m_pParentWnd;

 private:
  static INT_PTR dialog_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  DECLARE_MESSAGE_MAP()
};

// Where a module keeps its resources. Each module has its own; a thread
// works with the one that was switched in last.
struct AFX_MODULE_STATE {
  HINSTANCE m_hCurrentResourceHandle;
  const DLGTEMPLATEEX* (*m_pfnFindDialog)(UINT template_id);
};

// The calling thread's module state (the process's own, which holds no
// dialog templates, until a module switches its own in).
AFX_MODULE_STATE* AfxGetModuleState();

// Switches the calling thread to a module's state for a scope.
class AFX_MAINTAIN_STATE2 {
 public:
  explicit AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* state);
  ~AFX_MAINTAIN_STATE2();
  AFX_MAINTAIN_STATE2(const AFX_MAINTAIN_STATE2&) = delete;
  AFX_MAINTAIN_STATE2& operator=(const AFX_MAINTAIN_STATE2&) = delete;

 private:
  AFX_MODULE_STATE* m_pPrevModuleState;
};
