#pragma once
// What the plug-in has learned, as the agent writes it to HOME/state.json:
// the gateways with the MAC the guard holds for each and whether it is
// bound (static), and the probes still waiting for an answer.
#include <string>
#include <vector>

struct HGatewayView {
  std::string str_ip;
  std::string str_learned_mac;  // "" when the guard holds none
  bool b_static = false;
};

struct HProbeView {
  std::string str_kind;  // "arp": a gateway's changed MAC; "dhcp": a gateway an offer named
  std::string str_ip;
  std::string str_old_mac;  // arp: the MAC asked whether it is still there; dhcp: the server's
  std::string str_new_mac;  // arp: the claimed MAC; dhcp: the client's
};

struct HPluginView {
  std::vector<HGatewayView> vt_gateways;
  std::vector<HProbeView> vt_probes;
};
