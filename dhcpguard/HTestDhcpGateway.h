#pragma once
// The DHCP gateway probe: asks by broadcast ARP whether the gateways that
// DHCP offers name exist, and raises the DHCP alarm for a silent one.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "frame/HDropCounter.h"
#include "frame/HPendingProbes.h"
#include "frame/HReportGate.h"
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

// The address of a gateway item, for the pending mask.
struct HDhcpGatewayAddress {
  uint32_t operator()(const HDhcpGatewayItem& item) const { return item.gateway_ip; }
};

class HTestDhcpGateway : public HIEUtil::Thread {
 public:
  using GatewayList = HPendingProbes<std::vector<HDhcpGatewayItem>, HDhcpGatewayAddress>;
  static constexpr DWORD kPassIntervalMs = 200;
  // Requests go at least this far apart; the alarm is raised when this many
  // periods passed without an answer.
  static constexpr DWORD kRetryIntervalMs = GatewayList::kRetryIntervalMs;
  static constexpr DWORD kMaxRetries = GatewayList::kMaxRetries;
  // A window that the alarm thread has not created yet is waited for this
  // long before a merge gives up on it.
  static constexpr DWORD kFindWindowWaitMs = 2000;
  // A flood of offers naming ever new gateways must not grow the list (and
  // the requests of every pass) without limit: gateways beyond this many
  // pending are dropped, counted and logged (at most once a second).
  static constexpr size_t kMaxPendingGateways = 256;

  HTestDhcpGateway();
  ~HTestDhcpGateway() override;
  void run() override;
  // One pass of `run` (without its 200 ms sleep).
  void run_pass();
  // Ends `run` and waits until its thread has let go of this object; a
  // no-op when the thread was never started. The owner calls it before the
  // probe is destroyed.
  void stop();

  void add_gateway(HDhcpGatewayItem& item);
  bool check_arp_sender(unsigned long ip);
  void show_alarm(const HString& text);

  size_t pending();
  // A copy of the gateways waiting for an answer.
  std::vector<HDhcpGatewayItem> pending_items();
  uint64_t dropped() const { return drops.total(); }

 private:
  void send_request(const HDhcpGatewayItem& item, bool counting_padding);
  void open_alarm_window(const HString& text);
  // Appends `text` to the open alarm window; false when no window was found.
  bool merge_into_window(const HString& text);
  bool wait_stop(DWORD milliseconds);

  // Guarded by mutex_gateway, but for the list's pending mask: the per-frame
  // check takes the lock only for a sender whose bit is set.
  GatewayList vt_gateway{kMaxPendingGateways};
  HIEUtil::RecMutex mutex_gateway;
  HDropCounter drops;
  bool b_first_alarm = true;
  HIEUtil::ThreadControl tc_msgbox;
  // The same alarm again within a minute opens no window and adds no line.
  HReportGate alarm_gate{L".\\HTestDhcpGateway"};

  std::mutex mtx_stop;
  std::condition_variable cv_stop;
  bool b_stop = false;
};
