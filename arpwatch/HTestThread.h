#pragma once
// The probe thread: asks a gateway's old MAC whether it is still there.
#include <list>

#include "arpguard/HMacChangeItem.h"
#include "host/HArpNode.h"
#include "host/HIEUtil.h"
#include "host/HString.h"

struct HArpProbeItem : HMacChangeItem {
  explicit HArpProbeItem(const HMacChangeItem& item) : HMacChangeItem(item) {}
  DWORD send_tick = 0;
  DWORD retry_count = 0;
  bool b_sent = false;
};

class HTestThread : public HIEUtil::Thread {
 public:
  HTestThread(const HString& own_ip, const HString& own_mac);
  void run() override;
  // One pass of `run` (without its 200 ms sleep).
  void run_pass();

  void add_probe(const HMacChangeItem& item);
  bool check_answer(const HArpNode& node);

  size_t pending();

 private:
  void send_request(const HArpProbeItem& item);

  std::list<HArpProbeItem> lst_probe;
  HIEUtil::RecMutex mtx_probe;
  HString str_own_ip;
  HString str_own_mac;
};
