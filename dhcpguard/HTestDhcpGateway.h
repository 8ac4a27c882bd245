#pragma once
// The DHCP gateway probe: asks by broadcast ARP whether the gateways that
// DHCP offers name exist, and raises the DHCP alarm for a silent one.
#include <cstdint>
#include <vector>

#include "host/HIEUtil.h"
#include "host/HString.h"
#include "platform/WinTypes.h"

struct HDhcpGatewayItem {
  uint32_t gateway_ip = 0;  // network byte order
  uint32_t client_ip = 0;   // network byte order
  unsigned char client_mac[6] = {};
  unsigned char server_mac[6] = {};
  DWORD send_tick = 0;
  DWORD retry_count = 0;
  bool b_sent = false;
};

class HTestDhcpGateway : public HIEUtil::Thread {
 public:
  static constexpr int kProbeFrameLen = 60;

  HTestDhcpGateway();
  void run() override;
  // One pass of `run` (without its 200 ms sleep).
  void run_pass();

  void add_gateway(HDhcpGatewayItem& item);
  bool check_arp_sender(unsigned long ip);
  void show_alarm(const HString& text);

  size_t pending();

 private:
  std::vector<HDhcpGatewayItem> vt_gateway;
  HIEUtil::RecMutex mutex_gateway;
  bool b_first_alarm = true;
  HIEUtil::ThreadControl tc_msgbox;
};
