#include "frame/HStateView.h"

#include "arpguard/HThreadTidewell.h"
#include "arpwatch/HTestThread.h"
#include "dhcpguard/HDhcpAttackCallback.h"
#include "frame/HPTWGlobal.h"
#include "host/HFileUtil.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HNetworkUtil.h"

namespace {

std::string text(const HString& s) { return HFileUtil::utf8(s); }

void add_gateways(HThreadTidewell* guard, HPluginView& view) {
  auto adapters = HNetworkUtil::GetNICInfoShared();
  if (!adapters) return;
  for (const HNetwrokAdapterNode& adapter : *adapters) {
    for (const HString& ip : adapter.vt_gateway) {
      HGatewayView gateway;
      gateway.str_ip = text(ip);
      HString mac;
      if (guard && guard->learned_mac(ip, mac)) gateway.str_learned_mac = text(mac);
      gateway.b_static = guard && guard->is_static(ip);
      view.vt_gateways.push_back(gateway);
    }
  }
}

}  // namespace

HPluginView HStateView::collect() {
  HPTWGlobal& global = HPTWGlobal::ins();
  HPluginView view;
  add_gateways(global.p_thread_tidewell, view);
  if (global.p_test_thread) {
    for (const HMacChangeItem& item : global.p_test_thread->pending_items()) {
      view.vt_probes.push_back(HProbeView{"arp", text(item.ip), text(item.old_mac), text(item.new_mac)});
    }
  }
  if (global.p_dhcp_callback) {
    for (const HDhcpGatewayItem& item : global.p_dhcp_callback->test_gateway.pending_items()) {
      view.vt_probes.push_back(HProbeView{"dhcp", HNetworkProtocolUtil::GetIPString(item.gateway_ip, true),
                                          HNetworkProtocolUtil::GetMACString(item.server_mac),
                                          HNetworkProtocolUtil::GetMACString(item.client_mac)});
    }
  }
  return view;
}
