#pragma once
// The dialog base of the agent's dialog library: an MFC dialog that can
// take the texts of its controls from the agent's language files.
#include "platform/AfxWin.h"

class HDialog : public CDialog {
  DECLARE_DYNAMIC(HDialog)

 public:
  HDialog(UINT template_id, CWnd* parent);
  ~HDialog() override;
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* exchange) override;
  // Sets the text of control `control_id` to the localised text `text_id`;
  // 0, or -1 when the dialog has no such control.
  int set_item_text(int control_id, int text_id);

  DECLARE_MESSAGE_MAP()
};
