#pragma once
// The agent's config file: the policy records that the data center hands
// out, the agent's own state, language overrides and, for replays, the
// virtual host. Parsed strictly: an unknown key, a wrong type or a value out
// of range is an error that names the key.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/AntiARPSpoofing_Local.h"
#include "host/HEventSettings.h"
#include "host/HGuardSettings.h"
#include "host/HString.h"

struct AgentAdapter {
  std::string str_name;
  std::vector<std::string> vt_gateway;
};

struct AgentArpRow {
  std::string str_ip;
  std::string str_mac;  // lower case, ":" separated
  int i_type = 3;       // 4 static, 3 dynamic, 2 invalid, 1 other
  uint32_t i_index = 1;
};

// A router of the replay's IPv6 table, with its default route: "address-MAC"
// as in guard.ipv6_routers.
struct AgentIpv6Router {
  std::string str_router;
  int i_index = 1;
};

struct AgentHost {
  std::string str_main_ip;
  std::string str_main_mac;
  std::vector<AgentAdapter> vt_adapter;
  std::vector<AgentArpRow> vt_arp_table;
  std::vector<AgentIpv6Router> vt_ipv6_routers;
};

class AgentConfig {
 public:
  std::vector<AntiARPSpoofing_Local> vt_policy;
  std::map<HString, HString> map_alarm_msg;  // by strPolicyID

  HString str_name = L"Velmora";
  bool b_online = true;
  uint32_t i_state = 1;
  bool b_auth_802 = false;
  bool b_core_accepts = true;
  int i_heartbeat_s = 30;
  // The system log and the alarm command.
  HEventSettings events;

  std::map<int, HString> map_language;

  bool b_has_host = false;
  AgentHost host;

  // Off unless the config's `guard` section turns them on; the embedded
  // default turns the neighbour watch and the cache repair on.
  HGuardSettings guard;

  // The config used without --config.
  static AgentConfig embedded_default();

  // Parses `text`; `origin` (the file name) heads every error message, which
  // also names the line of a syntax error or the key at fault. 0, or -1 with
  // `error` set and `out` unchanged. Never throws.
  static int parse(const std::string& text, const std::string& origin, AgentConfig& out, std::string& error);
  // A config is a few kilobytes; a longer file is not one.
  static constexpr size_t MAX_CONFIG_BYTES = 4 * 1024 * 1024;
  // Reads and parses a file; a file that cannot be read, that is not a
  // regular file or that is longer than MAX_CONFIG_BYTES is an error too.
  static int load(const std::string& path, AgentConfig& out, std::string& error);

  // What the data center may hand out but means nothing, each naming its
  // key: a policy value out of its meanings, and with protection by binding
  // a bind list without a valid "IP-MAC" pair or with words that are none.
  std::vector<std::string> warnings() const;

  // The config in full, every key with its value (defaults included), in
  // the form parse() reads (--check-config prints it).
  std::string to_json() const;
};
