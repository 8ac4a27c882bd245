// The agent's config parser: every key read back, the defaults, and the
// errors that must name the file and the key (or line) at fault.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "agent/AgentConfig.h"

namespace {

AgentConfig parsed(const std::string& text) {
  AgentConfig config;
  std::string error;
  EXPECT_EQ(AgentConfig::parse(text, "test.json", config, error), 0) << error;
  return config;
}

// Parses `text` expecting failure, which leaves the config untouched;
// returns the message (headed by the file's name: the config fuzzer checks).
std::string error_of(const std::string& text) {
  AgentConfig config;
  config.i_heartbeat_s = 99;
  std::string error;
  EXPECT_EQ(AgentConfig::parse(text, "test.json", config, error), -1) << text;
  EXPECT_EQ(config.i_heartbeat_s, 99) << text;
  return error;
}

bool mentions(const std::string& error, const std::string& what) { return error.find(what) != std::string::npos; }

// --check-config prints the effective config: a config that names every key
// with a value other than its default comes back as it was written, and the
// embedded default (switches on that a file leaves off) reads back as itself.
TEST(AgentConfigJson, EffectiveConfigNamesEveryKeyAndReadsBack) {
  const char* const every_key = R"({
    "policy": [{"strPolicyID": "p1", "iStateMask": 5, "iAntiARPSpoofing": 2, "strBindList": "10.0.0.1-02:00:00:00:00:01",
                "iAntiDHCPSpoofing": 0, "iAutoBind": 1, "alarm_msg": "Schutz \u00fc"}],
    "agent": {"name": "V \u7f51\u5173", "online": false, "state": 4294967295, "auth_802": true, "core_accepts": false,
              "heartbeat_s": 7, "syslog": false, "alarm_command": "/usr/local/bin/on-alarm",
              "alarm_command_timeout_ms": 2500},
    "language": {"0": "attack {mac}", "769": "burst"},
    "host": {"main_ip": "10.0.0.10", "main_mac": "02:00:00:00:00:0a",
             "adapters": [{"name": "eth0", "gateways": ["10.0.0.1"]}],
             "arp_table": [{"ip": "10.0.0.1", "mac": "02:00:00:00:00:01", "type": "static", "index": 7},
                           {"ip": "10.0.0.3", "mac": "02:00:00:00:00:03", "type": "invalid", "index": 1},
                           {"ip": "10.0.0.4", "mac": "02:00:00:00:00:04", "type": "other", "index": 1}],
             "ipv6_routers": [{"router": "fe80::1-02:00:00:00:00:01", "index": 7}]},
    "guard": {"neighbour_watch": true, "repair_cache": true, "dhcp_servers": ["10.0.0.53", "02:00:00:00:00:d5"],
              "ipv6": true, "ipv6_routers": ["fe80::1-02:00:00:00:00:01"], "ipv6_remove_rogue_routes": true,
              "dhcp6_servers": ["00:01:00:01:2a:2b:2c:2d:02:00:00:00:00:d6"]}})";
  AgentConfig config = parsed(every_key);
  EXPECT_EQ(nlohmann::json::parse(config.to_json()), nlohmann::json::parse(every_key)) << config.to_json();
  // What the plug-in and the replay's tables are handed, texts decoded from UTF-8.
  EXPECT_EQ(config.vt_policy.at(0).iAntiARPSpoofing, 2);
  EXPECT_EQ(config.map_alarm_msg.at(HString(L"p1")), HString(std::wstring(L"Schutz \u00fc")));
  EXPECT_EQ(config.str_name, HString(std::wstring(L"V \u7f51\u5173")));
  EXPECT_EQ(config.i_state, 4294967295u);
  EXPECT_EQ(config.map_language.at(769), HString(L"burst"));
  EXPECT_EQ(config.host.vt_arp_table.at(0).i_type, 4);

  std::string printed = AgentConfig::embedded_default().to_json();
  config = parsed(printed);
  EXPECT_EQ(config.to_json(), printed);
  EXPECT_TRUE(config.guard.b_neighbour_watch && config.guard.b_repair_cache);
}

// Addresses are compared as text, in the forms the frames render: MACs and
// DUIDs lower case joined by ":", the shortest IPv6 text.
TEST(AgentConfigParse, AddressesAreNormalisedToOneForm) {
  AgentConfig config = parsed(R"({"host": {"main_ip": "10.0.0.10", "main_mac": "02:00:00:00:00:0A",
                                           "arp_table": [{"ip": "10.0.0.1", "mac": "02-00-00-00-00-01"}]},
                                  "guard": {"dhcp_servers": ["02-00-00-00-00-D5"],
                                            "ipv6_routers": ["FE80:0::1-02-77-06-00-00-0A"],
                                            "dhcp6_servers": ["00-03-00-01-02-77-06-00-00-AB"]}})");
  EXPECT_EQ(config.host.str_main_mac, "02:00:00:00:00:0a");
  EXPECT_EQ(config.host.vt_arp_table.at(0).str_mac, "02:00:00:00:00:01");
  EXPECT_EQ(config.host.vt_arp_table.at(0).i_type, 3) << "dynamic when no type is given";
  EXPECT_EQ(config.guard.vt_dhcp_servers.at(0), HString(L"02:00:00:00:00:d5"));
  EXPECT_EQ(config.guard.vt_ipv6_routers.at(0), HString(L"fe80::1-02:77:06:00:00:0a"));
  EXPECT_EQ(config.guard.vt_dhcp6_servers.at(0), HString(L"00:03:00:01:02:77:06:00:00:ab"));
  EXPECT_TRUE(config.guard.ipv6_on()) << "a router list turns the IPv6 guard on";
  EXPECT_FALSE(config.guard.b_neighbour_watch || config.guard.b_repair_cache) << "on in the default, not named here";
  EXPECT_FALSE(AgentConfig::embedded_default().guard.ipv6_on());
}

TEST(AgentConfigDefaults, MissingPolicyProtectsAnEmptyOneDoesNotAndTheGuardIsOff) {
  AgentConfig config = parsed(R"({"agent": {"online": false}})");
  ASSERT_EQ(config.vt_policy.size(), 1u) << "no policy key: the embedded default policy, which protects";
  EXPECT_EQ(config.vt_policy[0].iAntiARPSpoofing, 1);
  EXPECT_EQ(config.vt_policy[0].iAntiDHCPSpoofing, 1);
  EXPECT_FALSE(config.b_has_host);
  EXPECT_FALSE(config.guard.b_neighbour_watch || config.guard.b_repair_cache) << "no guard section: switches off";
  config = parsed(R"({"policy": []})");
  EXPECT_TRUE(config.vt_policy.empty()) << "an empty policy list is a valid data-center answer";
  EXPECT_TRUE(config.map_alarm_msg.empty());
}

// Each bad config and the text its error must hold: the key at fault, or
// the line of a syntax error.
TEST(AgentConfigErrors, EachErrorNamesTheKeyOrLineAtFault) {
  const std::string host = R"({"host": {"main_ip": "10.0.0.1", "main_mac": "02:00:00:00:00:01", )";
  const std::string policy =
      R"({"policy": [{"strPolicyID": "a", "iAntiARPSpoofing": 1, "strBindList": "", "iAutoBind": 0, )";
  const std::pair<std::string, std::string> cases[] = {
      {R"({"polcy": []})", "polcy: unknown key"},
      {R"({"agent": {"onlne": true}})", "agent.onlne: unknown key"},
      {policy + R"("iStateMask": 1, "iAntiDHCPSpoofing": 1, "iExtra": 1}]})", "policy[0].iExtra: unknown key"},
      {host + R"("adapters": [{"name": "eth0", "gateway": []}]}})", "host.adapters[0].gateway: unknown key"},
      {host + R"("arp_table": [{"ip": "10.0.0.2", "mac": "02:00:00:00:00:02", "flags": 1}]}})",
       "host.arp_table[0].flags: unknown key"},
      {R"({"guard": {"watch": true}})", "guard.watch: unknown key"},
      {R"({"agent": {"state": "1"}})", "agent.state: expected an integer, got a string"},
      {R"({"agent": {"heartbeat_s": 2.5}})", "agent.heartbeat_s: expected an integer"},
      {R"({"agent": {"online": 1}})", "agent.online: expected a boolean"},
      {R"({"agent": {"name": null}})", "agent.name: expected a string, got null"},
      {R"({"agent": []})", "agent: expected an object"},
      {R"({"policy": {}})", "policy: expected an array"},
      {R"({"policy": [1]})", "policy[0]: expected an object"},
      {R"({"language": {"0": 5}})", "language.0: expected a string"},
      {R"([1, 2])", "expected an object, got an array"},
      {R"({"agent": {"state": -1}})", "agent.state: out of range"},
      {R"({"agent": {"state": 4294967296}})", "agent.state: out of range"},
      {R"({"agent": {"heartbeat_s": 0}})", "agent.heartbeat_s: out of range"},
      {R"({"agent": {"heartbeat_s": 18446744073709551615}})", "agent.heartbeat_s: out of range"},
      // Run without a shell from any folder: a relative name would depend on the working folder.
      {R"({"agent": {"alarm_command": "on-alarm"}})", "agent.alarm_command: not an absolute path"},
      {R"({"agent": {"alarm_command_timeout_ms": 0}})", "agent.alarm_command_timeout_ms: out of range"},
      {policy + R"("iStateMask": 2147483648, "iAntiDHCPSpoofing": 1}]})", "policy[0].iStateMask: out of range"},
      {R"({"language": {"abc": "x"}})", "language.abc"},
      {R"({"language": {"-1": "x"}})", "language.-1"},
      {R"({"host": {"main_ip": "10.0.0.1", "main_mac": "02:00:00:00:00"}})", "host.main_mac: not a MAC address"},
      {host + R"("arp_table": [{"ip": "10.0.0.2", "mac": "02:00:00:00:00:02", "type": "permanent"}]}})",
       "host.arp_table[0].type: expected one of static, dynamic, invalid, other"},
      {host + R"("arp_table": [{"ip": "10.0.0.2", "mac": "02:00:00:00:00:02", "index": -3}]}})",
       "host.arp_table[0].index: out of range"},
      // The plug-in compares addresses as text: one written with leading
      // zeros would pass and never match anything.
      {R"({"host": {"main_ip": "010.077.000.010", "main_mac": "02:00:00:00:00:01"}})",
       "host.main_ip: not a dotted IPv4 address (0..255 without leading zeros)"},
      {host + R"("adapters": [{"name": "eth0", "gateways": ["10.77.0.01"]}]}})",
       "host.adapters[0].gateways[0]: not a dotted IPv4 address"},
      {R"({"guard": {"dhcp_servers": ["10.0.0.053"]}})", "guard.dhcp_servers[0]"},
      {R"({"guard": {"ipv6_routers": ["fe80::1"]}})", "guard.ipv6_routers[0]"},
      {R"({"guard": {"ipv6_routers": ["fe80:::1-02:77:06:00:00:01"]}})", "guard.ipv6_routers[0]"},
      {R"({"guard": {"dhcp6_servers": ["0:03"]}})", "guard.dhcp6_servers[0]"},
      {policy + R"("iStateMask": 1}]})", "policy[0].iAntiDHCPSpoofing: missing"},
      {R"({"host": {"main_ip": "10.0.0.1"}})", "host.main_mac: missing"},
      {host + R"("arp_table": [{"mac": "02:00:00:00:00:02"}]}})", "host.arp_table[0].ip: missing"},
      {R"({"agent": {"online": true, "online": false}})", "online: key given twice"},
      {R"({"agent": {}, "agent": {}})", "agent: key given twice"},
      {"{\n  \"agent\": {\n    \"online\": true,\n    \"state\": 1,\n  }\n}\n", "line 5"},
      {"{\n\"policy\": [\n", "line 3"},
      {"", "line 1"},
  };
  for (const auto& [text, what] : cases) EXPECT_TRUE(mentions(error_of(text), what)) << what;
}

// Values the data center may hand out but that mean nothing are accepted
// and warned about, each with its key.
TEST(AgentConfigWarnings, MeaninglessValuesAndUnusableBindListsAreNamed) {
  auto warnings_of = [](const std::string& record) {
    return parsed(R"({"policy": [{"strPolicyID": "a", "iStateMask": 1, )" + record + "}]}").warnings();
  };
  typedef std::vector<std::string> Texts;
  EXPECT_EQ(Texts{}, warnings_of(R"("iAntiARPSpoofing": 2, "strBindList": "10.0.0.1-02:00:00:00:00:01, 10.0.1.1-02-00-00-00-01-01",
                                 "iAntiDHCPSpoofing": 1, "iAutoBind": 1)"));
  EXPECT_EQ((Texts{"policy[0].iAntiARPSpoofing: 7 has no meaning (0 off, 1 probe, 2 bind)",
                   "policy[0].iAntiDHCPSpoofing: 2 has no meaning (0 off, 1 on)",
                   "policy[0].iAutoBind: -1 has no meaning (0 off, 1 on)"}),
            warnings_of(R"("iAntiARPSpoofing": 7, "strBindList": "", "iAntiDHCPSpoofing": 2, "iAutoBind": -1)"));
  Texts bad = warnings_of(R"("iAntiARPSpoofing": 2, "strBindList": "010.0.0.1-02:00:00:00:00:01;10.0.0.2-02:00:00:00:00",
                            "iAntiDHCPSpoofing": 0, "iAutoBind": 1)");
  ASSERT_EQ(3u, bad.size());
  EXPECT_TRUE(mentions(bad[0], "policy[0].strBindList: \"010.0.0.1-02:00:00:00:00:01\" is no IP-MAC pair"));
  EXPECT_TRUE(mentions(bad[1], "\"10.0.0.2-02:00:00:00:00\" is no IP-MAC pair"));
  EXPECT_EQ("policy[0].strBindList: holds no valid IP-MAC pair: no gateway can be checked or bound", bad[2]);
  EXPECT_EQ(Texts{}, warnings_of(R"("iAntiARPSpoofing": 1, "strBindList": "", "iAntiDHCPSpoofing": 0, "iAutoBind": 0)"));
}

}  // namespace
