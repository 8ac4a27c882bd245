#pragma once
// The DHCP alarm window: dialog 6011, a read-only text with the alarm and
// an OK button, under the warning icon.
#include "host/HDialog.h"
#include "host/HString.h"

class ZDhcpDialog : public HDialog {
  DECLARE_DYNAMIC(ZDhcpDialog)

 public:
  explicit ZDhcpDialog(CWnd* parent);
  ~ZDhcpDialog() override;
  // Before the window is created.
  void set_msg(const HString& text);
  // The title of every alarm window, by which an open one is found.
  static HString window_title();

  void DoDataExchange(CDataExchange* exchange) override;
  BOOL OnInitDialog() override;

  CEdit edit_msg;
  HString str_msg;

  DECLARE_MESSAGE_MAP()
};
