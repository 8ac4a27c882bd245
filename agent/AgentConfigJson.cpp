// The effective config written back as the JSON that AgentConfig::parse reads.
#include "agent/AgentConfig.h"

#include <nlohmann/json.hpp>

#include "host/HFileUtil.h"

using json = nlohmann::ordered_json;

namespace {

std::string text(const HString& value) { return HFileUtil::utf8(value); }

const char* arp_type_name(int type) {
  switch (type) {
    case 4: return "static";
    case 3: return "dynamic";
    case 2: return "invalid";
    default: return "other";
  }
}

json policy_json(const AgentConfig& config) {
  json list = json::array();
  for (const AntiARPSpoofing_Local& record : config.vt_policy) {
    auto alarm = config.map_alarm_msg.find(record.strPolicyID);
    list.push_back({{"strPolicyID", text(record.strPolicyID)},
                    {"iStateMask", record.iStateMask},
                    {"iAntiARPSpoofing", record.iAntiARPSpoofing},
                    {"strBindList", text(record.strBindList)},
                    {"iAntiDHCPSpoofing", record.iAntiDHCPSpoofing},
                    {"iAutoBind", record.iAutoBind},
                    {"alarm_msg", alarm == config.map_alarm_msg.end() ? std::string() : text(alarm->second)}});
  }
  return list;
}

json texts(const std::vector<HString>& list) {
  json out = json::array();
  for (const HString& item : list) out.push_back(text(item));
  return out;
}

json host_json(const AgentHost& host) {
  json adapters = json::array();
  for (const AgentAdapter& adapter : host.vt_adapter) {
    adapters.push_back({{"name", adapter.str_name}, {"gateways", adapter.vt_gateway}});
  }
  json arp_table = json::array();
  for (const AgentArpRow& row : host.vt_arp_table) {
    arp_table.push_back(
        {{"ip", row.str_ip}, {"mac", row.str_mac}, {"type", arp_type_name(row.i_type)}, {"index", row.i_index}});
  }
  json routers = json::array();
  for (const AgentIpv6Router& router : host.vt_ipv6_routers) {
    routers.push_back({{"router", router.str_router}, {"index", router.i_index}});
  }
  return {{"main_ip", host.str_main_ip}, {"main_mac", host.str_main_mac}, {"adapters", adapters},
          {"arp_table", arp_table}, {"ipv6_routers", routers}};
}

}  // namespace

std::string AgentConfig::to_json() const {
  json root;
  root["policy"] = policy_json(*this);
  root["agent"] = {{"name", text(str_name)},         {"online", b_online},
                   {"state", i_state},               {"auth_802", b_auth_802},
                   {"core_accepts", b_core_accepts}, {"heartbeat_s", i_heartbeat_s},
                   {"syslog", events.b_syslog},      {"alarm_command_timeout_ms", events.ui_alarm_command_timeout_ms}};
  if (!events.str_alarm_command.empty()) root["agent"]["alarm_command"] = events.str_alarm_command;
  json language = json::object();
  for (const auto& entry : map_language) language[std::to_string(entry.first)] = text(entry.second);
  root["language"] = language;
  if (b_has_host) root["host"] = host_json(host);
  root["guard"] = {{"neighbour_watch", guard.b_neighbour_watch},
                   {"repair_cache", guard.b_repair_cache},
                   {"dhcp_servers", texts(guard.vt_dhcp_servers)},
                   {"ipv6", guard.b_ipv6},
                   {"ipv6_routers", texts(guard.vt_ipv6_routers)},
                   {"ipv6_remove_rogue_routes", guard.b_ipv6_remove_rogue_routes},
                   {"dhcp6_servers", texts(guard.vt_dhcp6_servers)}};
  return root.dump(2);
}
