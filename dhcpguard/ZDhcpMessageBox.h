#pragma once
// The thread of one DHCP alarm window: shows the dialog modally, so that
// neither the probe nor the capture waits for the user. It frees itself
// when the user has closed the window and the thread has ended.
#include "host/HIEUtil.h"
#include "host/HString.h"

class ZDhcpDialog;

class ZDhcpMessageBox : public HIEUtil::Thread {
 public:
  explicit ZDhcpMessageBox(const HString& text);
  ~ZDhcpMessageBox() override;
  void run() override;

 private:
  ZDhcpDialog* p_dialog = nullptr;
  HString str_msg;
};
