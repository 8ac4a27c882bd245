#include "dhcpguard/HTestDhcpGateway.h"

#include <chrono>
#include <cstring>

#include "dhcpguard/ZDhcpDialog.h"
#include "dhcpguard/ZDhcpMessageBox.h"
#include "frame/AttackLog.h"
#include "host/HDataCenter.h"
#include "host/HFileLog.h"
#include "host/HLanMgr.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HNetworkUtil.h"
#include "host/HWinPCapHelper.h"
#include "platform/WinTime.h"
#include "platform/WinUser.h"
#include "res/resource.h"
#include "wire/HArpFrame.h"
#include "wire/HIpv4Text.h"

namespace {

const wchar_t kLogSource[] = L".\\HTestDhcpGateway";
// The start line keeps the number that readers of the agent's log know it by.
constexpr int kRunStartLine = 26;

// A broadcast ARP request for the gateway. Repeated requests differ from
// the first by their padding, so that a capture tells them apart.
void build_probe_frame(const HDhcpGatewayItem& item, bool counting_padding, HArpFrame::Bytes& frame) {
  HArpFrame::build(frame, HWireLayout::kArpRequest, nullptr, item.client_mac, item.client_ip, nullptr,
                   item.gateway_ip);
  if (counting_padding) {
    for (int i = HWireLayout::kArpFrameLen; i < HWireLayout::kMinFrameLen; ++i) frame[i] = static_cast<unsigned char>(i);
  }
}

HString ip_text(unsigned long ip) { return HString(HNetworkProtocolUtil::GetIPString(ip, true)); }

// The tick as decimal digits into `out`; returns their count. Two digits a
// step from a table: the number is written for every ARP frame.
size_t put_decimal(DWORD value, char* out) {
  static const char kPairs[] =
      "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546474849"
      "5051525354555657585960616263646566676869707172737475767778798081828384858687888990919293949596979899";
  size_t n = 1;
  for (uint64_t bound = 10; n < 10 && value >= bound; bound *= 10) ++n;
  char* p = out + n;
  while (value >= 100) {
    p -= 2;
    std::memcpy(p, kPairs + 2 * (value % 100), 2);
    value /= 100;
  }
  if (value >= 10) {
    std::memcpy(p - 2, kPairs + 2 * value, 2);
  } else {
    p[-1] = static_cast<char>('0' + value);
  }
  return n;
}

struct SenderEntry {
  uint32_t ip;  // network byte order
  DWORD tick;
};
// The attack-log line of every ARP frame: "Recieve an Arp packet from <ip>,
// GetTickCount: <tick>", at most 68 bytes.
size_t make_sender_entry(const void* context, char* out) {
  static const char kPrefix[] = "Recieve an Arp packet from ";
  static const char kTicks[] = ", GetTickCount: ";
  const SenderEntry& entry = *static_cast<const SenderEntry*>(context);
  size_t len = sizeof(kPrefix) - 1;
  std::memcpy(out, kPrefix, len);
  unsigned char bytes[4];
  std::memcpy(bytes, &entry.ip, sizeof(bytes));
  len += HIpv4Text::format(bytes, out + len);
  std::memcpy(out + len, kTicks, sizeof(kTicks) - 1);
  len += sizeof(kTicks) - 1;
  return len + put_decimal(entry.tick, out + len);
}

}  // namespace

HTestDhcpGateway::HTestDhcpGateway() {
  // The probe lives by value inside its callback: this reference is the
  // owner's, so the count never drops to zero when the thread lets go.
  __incRef();
}

HTestDhcpGateway::~HTestDhcpGateway() { stop(); }

void HTestDhcpGateway::run() {
  HFileLog::ins().log(2, kLogSource, kRunStartLine, L"HTestDhcpGateway::run() start");
  while (!wait_stop(kPassIntervalMs)) run_pass();
}

bool HTestDhcpGateway::wait_stop(DWORD milliseconds) {
  std::unique_lock<std::mutex> lock(mtx_stop);
  return cv_stop.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return b_stop; });
}

void HTestDhcpGateway::stop() {
  {
    std::lock_guard<std::mutex> lock(mtx_stop);
    b_stop = true;
  }
  cv_stop.notify_all();
  // The thread holds a second reference until `run` has returned and it has
  // let go of the object; only the owner's stays then.
  while (__getRef() > 1) Sleep(1);
}

// The alarms of a pass are raised after the list's lock is let go: showing
// one may wait for its window, and the capture threads must not wait with it.
void HTestDhcpGateway::run_pass() {
  std::vector<HString> alarms;
  {
    HIEUtil::RecMutex::Lock lock(mutex_gateway);
    vt_gateway.pass([this](const HDhcpGatewayItem& item, bool again) { send_request(item, again); },
                    [&alarms](const HDhcpGatewayItem& item) {
                      alarms.push_back(HLanMgr::ins().get(777, L"mac", HNetworkUtil::GetMACString(item.server_mac)));
                    });
  }
  for (const HString& text : alarms) show_alarm(text);
  alarm_gate.check();
}

void HTestDhcpGateway::send_request(const HDhcpGatewayItem& item, bool counting_padding) {
  HArpFrame::Bytes frame;
  build_probe_frame(item, counting_padding, frame);
  HWinPCapHelper::instance().send_packet(frame, sizeof(frame));
  HString entry(L"Send an Arp packet to ");
  entry << ip_text(item.gateway_ip) << L", GetTickCount: " << HString(item.send_tick);
  write_attack_log(entry);
}

void HTestDhcpGateway::add_gateway(HDhcpGatewayItem& item) {
  uint64_t total = 0;
  {
    HIEUtil::RecMutex::Lock lock(mutex_gateway);
    for (const HDhcpGatewayItem& pending_item : vt_gateway.items()) {
      if (pending_item.gateway_ip == item.gateway_ip) return;
    }
    if (!vt_gateway.full()) {
      item.retry_count = 0;
      item.b_sent = false;
      item.send_tick = 0;
      vt_gateway.add(item);
      return;
    }
    if (!drops.count(total)) return;
  }
  HFileLog::ins().log(1, kLogSource, __LINE__,
                      L"add_gateway pending list full (%d waiting), gateways dropped so far %llu",
                      static_cast<int>(kMaxPendingGateways), static_cast<unsigned long long>(total));
}

// Runs for every ARP frame: an empty list is seen without taking its lock.
bool HTestDhcpGateway::check_arp_sender(unsigned long ip) {
  uint32_t address = static_cast<uint32_t>(ip);
  SenderEntry entry{address, GetTickCount()};
  write_attack_log_made(make_sender_entry, &entry);

  if (!vt_gateway.may_hold(address)) return false;
  HIEUtil::RecMutex::Lock lock(mutex_gateway);
  return vt_gateway.remove_if([address](const HDhcpGatewayItem& item) { return item.gateway_ip == address; }) > 0;
}

size_t HTestDhcpGateway::pending() {
  HIEUtil::RecMutex::Lock lock(mutex_gateway);
  return vt_gateway.size();
}

std::vector<HDhcpGatewayItem> HTestDhcpGateway::pending_items() {
  HIEUtil::RecMutex::Lock lock(mutex_gateway);
  return vt_gateway.items();
}

void HTestDhcpGateway::show_alarm(const HString& text) {
  if (!alarm_gate.pass(L"DhcpAlarm " + text.wstr())) return;
  write_attack_log(text);
  HDataCenter::record_window_alarm(ZDhcpDialog::window_title(), text);
  if (b_first_alarm) {
    b_first_alarm = false;
    open_alarm_window(text);
    return;
  }
  if (tc_msgbox.isAlive() && merge_into_window(text)) return;
  // The user has closed the last window, or it could not be found: the
  // alarm gets a window of its own rather than go unseen.
  open_alarm_window(text);
}

void HTestDhcpGateway::open_alarm_window(const HString& text) {
  ZDhcpMessageBox* box = new ZDhcpMessageBox(text);
  try {
    tc_msgbox = box->start(0);
    tc_msgbox.detach();
  } catch (const HIEUtil::NullHandleException&) {
    // start() has already freed the box.
    HFileLog::ins().log(1, kLogSource, __LINE__, L"cannot start the DHCP alarm window thread");
  }
}

bool HTestDhcpGateway::merge_into_window(const HString& text) {
  HString title = ZDhcpDialog::window_title();
  HWND window = FindWindowW(nullptr, title.wc_str());
  // A window thread that has just been started may not have made its
  // window yet.
  for (DWORD waited = 0; !window && waited < kFindWindowWaitMs && tc_msgbox.isAlive(); waited += 10) {
    Sleep(10);
    window = FindWindowW(nullptr, title.wc_str());
  }
  if (!window) return false;
  HWND edit = GetDlgItem(window, IDC_EDIT_MSG);
  // The read-back holds at most the first 259 characters of what is shown.
  WCHAR buffer[260] = {};
  SendMessageW(edit, WM_GETTEXT, 260, reinterpret_cast<LPARAM>(buffer));
  HString merged(buffer);
  merged << L"\r\n=======================\r\n" << text;
  // Fails when the window went away meanwhile.
  return SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(merged.wc_str())) != 0;
}
