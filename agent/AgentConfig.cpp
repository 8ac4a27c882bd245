#include "agent/AgentConfig.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "agent/ConfigValues.h"
#include "host/HFileUtil.h"
#include "wire/HIpv6Address.h"

using json = nlohmann::json;

namespace {

using namespace config_values;

void parse_policy_record(const json& value, const std::string& path, AgentConfig& out) {
  object_at(value, path);
  only_keys(value, path,
            {"strPolicyID", "iStateMask", "iAntiARPSpoofing", "strBindList", "iAntiDHCPSpoofing", "iAutoBind",
             "alarm_msg"});
  AntiARPSpoofing_Local record;
  record.strPolicyID = wide_at(member(value, path, "strPolicyID"), key_path(path, "strPolicyID"));
  record.iStateMask = int32_at(member(value, path, "iStateMask"), key_path(path, "iStateMask"));
  record.iAntiARPSpoofing = int32_at(member(value, path, "iAntiARPSpoofing"), key_path(path, "iAntiARPSpoofing"));
  record.strBindList = wide_at(member(value, path, "strBindList"), key_path(path, "strBindList"));
  record.iAntiDHCPSpoofing = int32_at(member(value, path, "iAntiDHCPSpoofing"), key_path(path, "iAntiDHCPSpoofing"));
  record.iAutoBind = int32_at(member(value, path, "iAutoBind"), key_path(path, "iAutoBind"));
  HString alarm;
  if (value.contains("alarm_msg")) alarm = wide_at(value.at("alarm_msg"), key_path(path, "alarm_msg"));
  out.map_alarm_msg.emplace(record.strPolicyID, alarm);  // the first record of an id speaks for it
  out.vt_policy.push_back(record);
}

void parse_policy(const json& value, AgentConfig& out) {
  array_at(value, "policy");
  out.vt_policy.clear();
  out.map_alarm_msg.clear();
  for (size_t i = 0; i < value.size(); ++i) parse_policy_record(value[i], index_path("policy", i), out);
}

void parse_agent(const json& value, AgentConfig& out) {
  const std::string path = "agent";
  object_at(value, path);
  only_keys(value, path, {"name", "online", "state", "auth_802", "core_accepts", "heartbeat_s", "syslog",
                          "alarm_command", "alarm_command_timeout_ms"});
  if (value.contains("name")) out.str_name = wide_at(value.at("name"), "agent.name");
  if (value.contains("online")) out.b_online = bool_at(value.at("online"), "agent.online");
  if (value.contains("state")) {
    out.i_state = static_cast<uint32_t>(
        integer_at(value.at("state"), "agent.state", 0, std::numeric_limits<uint32_t>::max()));
  }
  if (value.contains("auth_802")) out.b_auth_802 = bool_at(value.at("auth_802"), "agent.auth_802");
  if (value.contains("core_accepts")) out.b_core_accepts = bool_at(value.at("core_accepts"), "agent.core_accepts");
  if (value.contains("heartbeat_s")) {
    out.i_heartbeat_s = static_cast<int>(integer_at(value.at("heartbeat_s"), "agent.heartbeat_s", 1, 86400));
  }
  if (value.contains("syslog")) out.events.b_syslog = bool_at(value.at("syslog"), "agent.syslog");
  if (value.contains("alarm_command")) {
    // Run without a shell and from any folder: only a full path names one program.
    out.events.str_alarm_command = string_at(value.at("alarm_command"), "agent.alarm_command");
    if (out.events.str_alarm_command.empty() || out.events.str_alarm_command[0] != '/') {
      fail("agent.alarm_command", "not an absolute path");
    }
  }
  if (value.contains("alarm_command_timeout_ms")) {
    out.events.ui_alarm_command_timeout_ms = static_cast<uint32_t>(
        integer_at(value.at("alarm_command_timeout_ms"), "agent.alarm_command_timeout_ms", 1, 3600000));
  }
}

// Each element of the list at `key` (if given), checked and rewritten by
// entry_of(element, path).
template <typename Entry>
void parse_list(const json& object, const std::string& key, std::vector<HString>& out, Entry entry_of) {
  if (!object.contains(key)) return;
  const std::string list_path = "guard." + key;
  const json& list = array_at(object.at(key), list_path);
  for (size_t i = 0; i < list.size(); ++i) out.push_back(HFileUtil::from_utf8(entry_of(list[i], index_path(list_path, i))));
}

// "fe80::1-02:00:00:00:00:01": an IPv6 address and a MAC.
std::string ipv6_router_at(const json& value, const std::string& path) {
  std::string text = string_at(value, path);
  size_t dash = text.find('-');
  HIpv6Address address;
  if (dash == std::string::npos || !HIpv6Text::parse(text.substr(0, dash), address) || !is_mac(text.substr(dash + 1))) {
    fail(path, "not an IPv6 address and a MAC joined by \"-\" (fe80::1-02:00:00:00:00:01): \"" + text + "\"");
  }
  return HIpv6Text::format(address) + "-" + mac_at(json(text.substr(dash + 1)), path);
}

// A DUID or a MAC: 1 to 130 hex byte pairs joined by ":" or "-".
std::string dhcp6_server_at(const json& value, const std::string& path) {
  std::string text = string_at(value, path);
  bool ok = text.size() % 3 == 2 && text.size() <= 130 * 3;
  std::string out;
  for (size_t i = 0; ok && i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    ok = i % 3 == 2 ? c == ':' || c == '-' : std::isxdigit(c) != 0;
    out += i % 3 == 2 ? ':' : static_cast<char>(std::tolower(c));
  }
  if (!ok) fail(path, "neither a DUID nor a MAC (hex bytes joined by \":\"): \"" + text + "\"");
  return out;
}

void parse_guard(const json& value, AgentConfig& out) {
  const std::string path = "guard";
  object_at(value, path);
  only_keys(value, path,
            {"neighbour_watch", "repair_cache", "dhcp_servers", "ipv6", "ipv6_routers", "ipv6_remove_rogue_routes",
             "dhcp6_servers"});
  HGuardSettings& guard = out.guard;
  if (value.contains("neighbour_watch")) guard.b_neighbour_watch = bool_at(value.at("neighbour_watch"), "guard.neighbour_watch");
  if (value.contains("repair_cache")) guard.b_repair_cache = bool_at(value.at("repair_cache"), "guard.repair_cache");
  if (value.contains("ipv6")) guard.b_ipv6 = bool_at(value.at("ipv6"), "guard.ipv6");
  if (value.contains("ipv6_remove_rogue_routes")) {
    guard.b_ipv6_remove_rogue_routes = bool_at(value.at("ipv6_remove_rogue_routes"), "guard.ipv6_remove_rogue_routes");
  }
  // Each entry an IPv4 address or a MAC address.
  parse_list(value, "dhcp_servers", guard.vt_dhcp_servers, [](const json& entry, const std::string& entry_path) {
    std::string text = string_at(entry, entry_path);
    if (!is_ipv4(text) && !is_mac(text)) {
      fail(entry_path, "neither a dotted IPv4 address (without leading zeros) nor a MAC address: \"" + text + "\"");
    }
    return is_ipv4(text) ? text : mac_at(entry, entry_path);
  });
  parse_list(value, "ipv6_routers", guard.vt_ipv6_routers, ipv6_router_at);
  parse_list(value, "dhcp6_servers", guard.vt_dhcp6_servers, dhcp6_server_at);
}

void parse_language(const json& value, AgentConfig& out) {
  object_at(value, "language");
  for (auto it = value.begin(); it != value.end(); ++it) {
    const std::string& key = it.key();
    std::string path = key_path("language", key);
    bool digits = !key.empty() && key.size() <= 9 && key.find_first_not_of("0123456789") == std::string::npos;
    if (!digits) fail(path, "a text id must be a decimal number");
    out.map_language[std::stoi(key)] = wide_at(it.value(), path);
  }
}

int arp_type_of(const std::string& text, const std::string& path) {
  if (text == "static") return 4;
  if (text == "dynamic") return 3;
  if (text == "invalid") return 2;
  if (text == "other") return 1;
  fail(path, "expected one of static, dynamic, invalid, other: \"" + text + "\"");
}

AgentAdapter parse_adapter(const json& value, const std::string& path) {
  object_at(value, path);
  only_keys(value, path, {"name", "gateways"});
  AgentAdapter adapter;
  adapter.str_name = string_at(member(value, path, "name"), key_path(path, "name"));
  if (value.contains("gateways")) {
    std::string list_path = key_path(path, "gateways");
    const json& list = array_at(value.at("gateways"), list_path);
    for (size_t i = 0; i < list.size(); ++i) adapter.vt_gateway.push_back(ipv4_at(list[i], index_path(list_path, i)));
  }
  return adapter;
}

AgentArpRow parse_arp_row(const json& value, const std::string& path) {
  object_at(value, path);
  only_keys(value, path, {"ip", "mac", "type", "index"});
  AgentArpRow row;
  row.str_ip = ipv4_at(member(value, path, "ip"), key_path(path, "ip"));
  row.str_mac = mac_at(member(value, path, "mac"), key_path(path, "mac"));
  if (value.contains("type")) {
    std::string type_path = key_path(path, "type");
    row.i_type = arp_type_of(string_at(value.at("type"), type_path), type_path);
  }
  if (value.contains("index")) {
    row.i_index = static_cast<uint32_t>(
        integer_at(value.at("index"), key_path(path, "index"), 0, std::numeric_limits<uint32_t>::max()));
  }
  return row;
}

void parse_host(const json& value, AgentConfig& out) {
  const std::string path = "host";
  object_at(value, path);
  only_keys(value, path, {"main_ip", "main_mac", "adapters", "arp_table", "ipv6_routers"});
  AgentHost host;
  host.str_main_ip = ipv4_at(member(value, path, "main_ip"), "host.main_ip");
  host.str_main_mac = mac_at(member(value, path, "main_mac"), "host.main_mac");
  if (value.contains("adapters")) {
    const json& list = array_at(value.at("adapters"), "host.adapters");
    for (size_t i = 0; i < list.size(); ++i) host.vt_adapter.push_back(parse_adapter(list[i], index_path("host.adapters", i)));
  }
  if (value.contains("arp_table")) {
    const json& list = array_at(value.at("arp_table"), "host.arp_table");
    for (size_t i = 0; i < list.size(); ++i) {
      host.vt_arp_table.push_back(parse_arp_row(list[i], index_path("host.arp_table", i)));
    }
  }
  if (value.contains("ipv6_routers")) {
    const json& list = array_at(value.at("ipv6_routers"), "host.ipv6_routers");
    for (size_t i = 0; i < list.size(); ++i) {
      std::string entry_path = index_path("host.ipv6_routers", i);
      object_at(list[i], entry_path);
      only_keys(list[i], entry_path, {"router", "index"});
      AgentIpv6Router router;
      router.str_router = ipv6_router_at(member(list[i], entry_path, "router"), key_path(entry_path, "router"));
      if (list[i].contains("index")) {
        router.i_index = static_cast<int>(integer_at(list[i].at("index"), key_path(entry_path, "index"), 1, 1 << 30));
      }
      host.vt_ipv6_routers.push_back(router);
    }
  }
  out.host = host;
  out.b_has_host = true;
}


// The "IP-MAC" pairs of a bind list, as words between any characters that
// can be part of neither.
std::vector<std::string> bind_list_words(const std::string& list) {
  std::vector<std::string> words;
  std::string word;
  for (char c : list) {
    if (std::isxdigit(static_cast<unsigned char>(c)) || c == '.' || c == ':' || c == '-') {
      word += c;
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

void warn_about_bind_list(const AntiARPSpoofing_Local& record, const std::string& path,
                          std::vector<std::string>& warnings) {
  std::string list = HFileUtil::utf8(record.strBindList);
  size_t valid = 0;
  for (const std::string& word : bind_list_words(list)) {
    size_t dash = word.find('-');
    std::string ip = word.substr(0, dash);
    std::string mac = dash == std::string::npos ? std::string() : word.substr(dash + 1);
    if (is_ipv4(ip) && is_mac(mac)) {
      ++valid;
    } else {
      warnings.push_back(path + ": \"" + word + "\" is no IP-MAC pair (dotted IPv4 without leading zeros, \"-\", " +
                         "six two-digit hex groups); it never matches");
    }
  }
  if (valid == 0) warnings.push_back(path + ": holds no valid IP-MAC pair: no gateway can be checked or bound");
}

void warn_unless(bool meaningful, const std::string& path, int32_t value, const char* meanings,
                 std::vector<std::string>& warnings) {
  if (!meaningful) warnings.push_back(path + ": " + std::to_string(value) + " has no meaning (" + meanings + ")");
}

}  // namespace

std::vector<std::string> AgentConfig::warnings() const {
  std::vector<std::string> warnings;
  for (size_t i = 0; i < vt_policy.size(); ++i) {
    const AntiARPSpoofing_Local& record = vt_policy[i];
    std::string path = index_path("policy", i);
    int32_t arp = record.iAntiARPSpoofing;
    warn_unless(arp >= 0 && arp <= 2, key_path(path, "iAntiARPSpoofing"), arp, "0 off, 1 probe, 2 bind", warnings);
    warn_unless(record.iAntiDHCPSpoofing == 0 || record.iAntiDHCPSpoofing == 1, key_path(path, "iAntiDHCPSpoofing"),
                record.iAntiDHCPSpoofing, "0 off, 1 on", warnings);
    warn_unless(record.iAutoBind == 0 || record.iAutoBind == 1, key_path(path, "iAutoBind"), record.iAutoBind,
                "0 off, 1 on", warnings);
    if (arp == 2) warn_about_bind_list(record, key_path(path, "strBindList"), warnings);
  }
  return warnings;
}

AgentConfig AgentConfig::embedded_default() {
  AgentConfig config;
  AntiARPSpoofing_Local record;
  record.strPolicyID = L"default";
  record.iStateMask = 1;
  record.iAntiARPSpoofing = 1;
  record.strBindList = L"";
  record.iAntiDHCPSpoofing = 1;
  record.iAutoBind = 0;
  config.vt_policy.push_back(record);
  config.map_alarm_msg[record.strPolicyID] = L"";
  config.guard.b_neighbour_watch = true;
  config.guard.b_repair_cache = true;
  return config;
}

int AgentConfig::parse(const std::string& text, const std::string& origin, AgentConfig& out, std::string& error) {
  AgentConfig config = embedded_default();
  // A config file turns on only the protections its `guard` section names.
  config.guard = HGuardSettings();
  try {
    json root = parse_rejecting_duplicates(text);
    if (!root.is_object()) fail("top level", std::string("expected an object, got ") + type_name(root));
    only_keys(root, "", {"policy", "agent", "language", "host", "guard"});
    if (root.contains("policy")) parse_policy(root.at("policy"), config);
    if (root.contains("agent")) parse_agent(root.at("agent"), config);
    if (root.contains("language")) parse_language(root.at("language"), config);
    if (root.contains("host")) parse_host(root.at("host"), config);
    if (root.contains("guard")) parse_guard(root.at("guard"), config);
  } catch (const ConfigFault& fault) {
    error = origin + ": " + fault.text;
    return -1;
  } catch (const json::parse_error& e) {
    error = origin + ": " + syntax_error(text, e);
    return -1;
  } catch (const std::exception& e) {
    error = origin + ": " + e.what();
    return -1;
  }
  out = config;
  return 0;
}

int AgentConfig::load(const std::string& path, AgentConfig& out, std::string& error) {
  // A folder opens as a stream and reads as empty text, a FIFO blocks the
  // open, /dev/zero never ends: only a regular file of bounded size is read.
  std::error_code ignored;
  std::filesystem::file_status status = std::filesystem::status(path, ignored);
  if (std::filesystem::is_directory(status)) {
    error = path + ": cannot read: is a folder, not a file";
    return -1;
  }
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    error = path + ": cannot read: not a regular file";
    return -1;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": cannot read: " + std::strerror(errno);
    return -1;
  }
  std::string text(MAX_CONFIG_BYTES + 1, '\0');
  file.read(&text[0], static_cast<std::streamsize>(text.size()));
  if (file.bad()) {
    error = path + ": cannot read";
    return -1;
  }
  text.resize(static_cast<size_t>(file.gcount()));
  if (text.size() > MAX_CONFIG_BYTES) {
    error = path + ": cannot read: larger than " + std::to_string(MAX_CONFIG_BYTES / (1024 * 1024)) + " MiB";
    return -1;
  }
  return parse(text, path, out, error);
}
