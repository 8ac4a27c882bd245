// The agent's config parser: every key, the defaults, and the errors that
// must name the file and the key (or line) at fault.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "agent/AgentConfig.h"
#include "tests/support/agent_pcap.h"

namespace {

const char* const FULL_CONFIG = R"({
  "policy": [ {"strPolicyID": "p1", "iStateMask": 5, "iAntiARPSpoofing": 2, "strBindList": "10.0.0.1-02:00:00:00:00:01",
               "iAntiDHCPSpoofing": 0, "iAutoBind": 1, "alarm_msg": "ARP protection policy p1"},
              {"strPolicyID": "p2", "iStateMask": -1, "iAntiARPSpoofing": 3, "strBindList": "",
               "iAntiDHCPSpoofing": 1, "iAutoBind": 0} ],
  "agent": {"name": "Velmora Test", "online": false, "state": 4294967295, "auth_802": true, "core_accepts": false,
            "heartbeat_s": 7, "syslog": false, "alarm_command": "/usr/local/sbin/on-alarm",
            "alarm_command_timeout_ms": 2500},
  "language": {"0": "attack {mac}", "769": "burst"},
  "host": {"main_ip": "10.0.0.10", "main_mac": "02:00:00:00:00:0A",
           "adapters": [ {"name": "eth0", "gateways": ["10.0.0.1", "10.0.0.2"]}, {"name": "eth1"} ],
           "arp_table": [ {"ip": "10.0.0.1", "mac": "02-00-00-00-00-01", "type": "static", "index": 7},
                          {"ip": "10.0.0.3", "mac": "02:00:00:00:00:03", "type": "invalid"},
                          {"ip": "10.0.0.4", "mac": "02:00:00:00:00:04", "type": "other"},
                          {"ip": "10.0.0.5", "mac": "02:00:00:00:00:05"} ]}
})";

// Parses `text` expecting failure; returns the message.
std::string error_of(const std::string& text) {
  AgentConfig config;
  std::string error;
  EXPECT_EQ(AgentConfig::parse(text, "test.json", config, error), -1) << text;
  EXPECT_EQ(error.rfind("test.json: ", 0), 0u) << error;
  return error;
}

bool mentions(const std::string& error, const std::string& what) { return error.find(what) != std::string::npos; }

TEST(AgentConfigParse, FullConfigFillsEveryKey) {
  AgentConfig config;
  std::string error;
  ASSERT_EQ(AgentConfig::parse(FULL_CONFIG, "full.json", config, error), 0) << error;

  ASSERT_EQ(config.vt_policy.size(), 2u);
  const AntiARPSpoofing_Local& p1 = config.vt_policy[0];
  EXPECT_EQ(p1.strPolicyID, HString(L"p1"));
  EXPECT_EQ(p1.iStateMask, 5);
  EXPECT_EQ(p1.iAntiARPSpoofing, 2);
  EXPECT_EQ(p1.strBindList, HString(L"10.0.0.1-02:00:00:00:00:01"));
  EXPECT_EQ(p1.iAntiDHCPSpoofing, 0);
  EXPECT_EQ(p1.iAutoBind, 1);
  EXPECT_EQ(config.vt_policy[1].strPolicyID, HString(L"p2"));
  EXPECT_EQ(config.vt_policy[1].iStateMask, -1);
  EXPECT_EQ(config.map_alarm_msg.at(HString(L"p1")), HString(L"ARP protection policy p1"));
  EXPECT_EQ(config.map_alarm_msg.at(HString(L"p2")), HString(L""));

  EXPECT_EQ(config.str_name, HString(L"Velmora Test"));
  EXPECT_FALSE(config.b_online);
  EXPECT_EQ(config.i_state, 4294967295u);
  EXPECT_TRUE(config.b_auth_802);
  EXPECT_FALSE(config.b_core_accepts);
  EXPECT_EQ(config.i_heartbeat_s, 7);
  EXPECT_FALSE(config.events.b_syslog);
  EXPECT_EQ(config.events.str_alarm_command, "/usr/local/sbin/on-alarm");
  EXPECT_EQ(config.events.ui_alarm_command_timeout_ms, 2500u);

  EXPECT_EQ(config.map_language.at(0), HString(L"attack {mac}"));
  EXPECT_EQ(config.map_language.at(769), HString(L"burst"));

  ASSERT_TRUE(config.b_has_host);
  EXPECT_EQ(config.host.str_main_ip, "10.0.0.10");
  EXPECT_EQ(config.host.str_main_mac, "02:00:00:00:00:0a") << "MACs compare as text: one form only";
  ASSERT_EQ(config.host.vt_adapter.size(), 2u);
  EXPECT_EQ(config.host.vt_adapter[0].str_name, "eth0");
  EXPECT_EQ(config.host.vt_adapter[0].vt_gateway, (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
  EXPECT_TRUE(config.host.vt_adapter[1].vt_gateway.empty());
  ASSERT_EQ(config.host.vt_arp_table.size(), 4u);
  EXPECT_EQ(config.host.vt_arp_table[0].str_mac, "02:00:00:00:00:01");
  EXPECT_EQ(config.host.vt_arp_table[0].i_type, 4);
  EXPECT_EQ(config.host.vt_arp_table[0].i_index, 7u);
  EXPECT_EQ(config.host.vt_arp_table[1].i_type, 2);
  EXPECT_EQ(config.host.vt_arp_table[2].i_type, 1);
  EXPECT_EQ(config.host.vt_arp_table[3].i_type, 3) << "dynamic when no type is given";
  EXPECT_EQ(config.host.vt_arp_table[3].i_index, 1u);
}

TEST(AgentConfigParse, TextsAreDecodedFromUtf8) {
  AgentConfig config;
  std::string error;
  ASSERT_EQ(AgentConfig::parse(R"({"language": {"777": "Gef\u00e4hrlich \u7f51\u5173 \u00fc"},
                                   "agent": {"name": "Agent \u00e9"}})",
                               "utf8.json", config, error),
            0)
      << error;
  EXPECT_EQ(config.map_language.at(777), HString(std::wstring(L"Gef\u00e4hrlich \u7f51\u5173 \u00fc")));
  EXPECT_EQ(config.str_name, HString(std::wstring(L"Agent \u00e9")));
}

TEST(AgentConfigDefaults, MissingSectionsAndKeysKeepTheDefaults) {
  AgentConfig config;
  std::string error;
  ASSERT_EQ(AgentConfig::parse(R"({"agent": {"online": false}})", "partial.json", config, error), 0) << error;
  EXPECT_FALSE(config.b_online);
  EXPECT_EQ(config.i_state, 1u);
  EXPECT_TRUE(config.b_core_accepts);
  EXPECT_EQ(config.i_heartbeat_s, 30);
  EXPECT_TRUE(config.events.b_syslog);
  EXPECT_EQ(config.events.str_alarm_command, "");
  EXPECT_EQ(config.events.ui_alarm_command_timeout_ms, 10000u);
  ASSERT_EQ(config.vt_policy.size(), 1u) << "no policy key: the embedded default policy, which protects";
  EXPECT_EQ(config.vt_policy[0].strPolicyID, HString(L"default"));
  EXPECT_EQ(config.vt_policy[0].iAntiARPSpoofing, 1);
  EXPECT_EQ(config.vt_policy[0].iAntiDHCPSpoofing, 1);
  EXPECT_FALSE(config.b_has_host);

  ASSERT_EQ(AgentConfig::parse(R"({"policy": []})", "empty.json", config, error), 0) << error;
  EXPECT_TRUE(config.vt_policy.empty()) << "an empty policy list is a valid data-center answer";
  EXPECT_TRUE(config.map_alarm_msg.empty());

  ASSERT_EQ(AgentConfig::parse(R"({"host": {"main_ip": "10.0.0.10", "main_mac": "02:00:00:00:00:0a"}})",
                               "host.json", config, error),
            0)
      << error;
  EXPECT_TRUE(config.b_has_host);
  EXPECT_TRUE(config.host.vt_adapter.empty());
  EXPECT_TRUE(config.host.vt_arp_table.empty());
}

TEST(AgentConfigErrors, UnknownKeysAreNamedAtEveryLevel) {
  EXPECT_TRUE(mentions(error_of(R"({"polcy": []})"), "polcy: unknown key"));
  EXPECT_TRUE(mentions(error_of(R"({"agent": {"onlne": true}})"), "agent.onlne: unknown key"));
  EXPECT_TRUE(mentions(error_of(R"({"policy": [{"strPolicyID": "a", "iStateMask": 1, "iAntiARPSpoofing": 1,
      "strBindList": "", "iAntiDHCPSpoofing": 1, "iAutoBind": 0, "iExtra": 1}]})"),
                       "policy[0].iExtra: unknown key"));
  EXPECT_TRUE(mentions(error_of(R"({"host": {"main_ip": "10.0.0.1", "main_mac": "02:00:00:00:00:01",
      "adapters": [{"name": "eth0", "gateway": []}]}})"),
                       "host.adapters[0].gateway: unknown key"));
  EXPECT_TRUE(mentions(error_of(R"({"host": {"main_ip": "10.0.0.1", "main_mac": "02:00:00:00:00:01",
      "arp_table": [{"ip": "10.0.0.2", "mac": "02:00:00:00:00:02", "flags": 1}]}})"),
                       "host.arp_table[0].flags: unknown key"));
}

TEST(AgentConfigErrors, WrongTypesAreNamed) {
  EXPECT_TRUE(mentions(error_of(R"({"agent": {"state": "1"}})"), "agent.state: expected an integer, got a string"));
  EXPECT_TRUE(mentions(error_of(R"({"agent": {"heartbeat_s": 2.5}})"), "agent.heartbeat_s: expected an integer"));
  EXPECT_TRUE(mentions(error_of(R"({"agent": {"online": 1}})"), "agent.online: expected a boolean"));
  EXPECT_TRUE(mentions(error_of(R"({"agent": {"name": null}})"), "agent.name: expected a string, got null"));
  EXPECT_TRUE(mentions(error_of(R"({"agent": []})"), "agent: expected an object"));
  EXPECT_TRUE(mentions(error_of(R"({"policy": {}})"), "policy: expected an array"));
  EXPECT_TRUE(mentions(error_of(R"({"policy": [1]})"), "policy[0]: expected an object"));
  EXPECT_TRUE(mentions(error_of(R"({"language": {"0": 5}})"), "language.0: expected a string"));
  EXPECT_TRUE(mentions(error_of(R"({"host": {"main_ip": 10, "main_mac": "02:00:00:00:00:01"}})"),
                       "host.main_ip: expected a string"));
  EXPECT_TRUE(mentions(error_of(R"([1, 2])"), "expected an object, got an array"));
}

TEST(AgentConfigErrors, ValuesOutOfRangeOrMalformedAreNamed) {
  EXPECT_TRUE(mentions(error_of(R"({"agent": {"state": -1}})"), "agent.state: out of range"));
  EXPECT_TRUE(mentions(error_of(R"({"agent": {"state": 4294967296}})"), "agent.state: out of range"));
  EXPECT_TRUE(mentions(error_of(R"({"agent": {"heartbeat_s": 0}})"), "agent.heartbeat_s: out of range"));
  EXPECT_TRUE(mentions(error_of(R"({"agent": {"heartbeat_s": 18446744073709551615}})"), "agent.heartbeat_s: out of range"));
  // Run without a shell from any folder: a relative name would depend on the working folder.
  EXPECT_TRUE(mentions(error_of(R"({"agent": {"alarm_command": "on-alarm"}})"), "agent.alarm_command: not an absolute path"));
  EXPECT_TRUE(mentions(error_of(R"({"agent": {"alarm_command_timeout_ms": 0}})"), "agent.alarm_command_timeout_ms: out of range"));
  EXPECT_TRUE(mentions(error_of(R"({"policy": [{"strPolicyID": "a", "iStateMask": 2147483648, "iAntiARPSpoofing": 1,
      "strBindList": "", "iAntiDHCPSpoofing": 1, "iAutoBind": 0}]})"),
                       "policy[0].iStateMask: out of range"));
  EXPECT_TRUE(mentions(error_of(R"({"language": {"abc": "x"}})"), "language.abc"));
  EXPECT_TRUE(mentions(error_of(R"({"language": {"-1": "x"}})"), "language.-1"));
  const std::string host = R"({"host": {"main_ip": "10.0.0.1", "main_mac": "02:00:00:00:00:01", )";
  EXPECT_TRUE(mentions(error_of(R"({"host": {"main_ip": "10.0.0.256", "main_mac": "02:00:00:00:00:01"}})"),
                       "host.main_ip: not a dotted IPv4 address"));
  EXPECT_TRUE(mentions(error_of(R"({"host": {"main_ip": "10.0.0.1", "main_mac": "02:00:00:00:00"}})"),
                       "host.main_mac: not a MAC address"));
  EXPECT_TRUE(mentions(error_of(host + R"("adapters": [{"name": "eth0", "gateways": ["10.0.0"]}]}})"),
                       "host.adapters[0].gateways[0]: not a dotted IPv4 address"));
  EXPECT_TRUE(mentions(error_of(host + R"("arp_table": [{"ip": "10.0.0.2", "mac": "02:00:00:00:00:02",
      "type": "permanent"}]}})"),
                       "host.arp_table[0].type: expected one of static, dynamic, invalid, other"));
  EXPECT_TRUE(mentions(error_of(host + R"("arp_table": [{"ip": "10.0.0.2", "mac": "02:00:00:00:00:02",
      "index": -3}]}})"),
                       "host.arp_table[0].index: out of range"));
}

// The plug-in compares addresses as text: one written with leading zeros
// would pass and never match anything.
TEST(AgentConfigErrors, AddressWithLeadingZerosIsRefusedWithItsKey) {
  EXPECT_TRUE(mentions(error_of(R"({"host": {"main_ip": "010.077.000.010", "main_mac": "02:00:00:00:00:01"}})"),
                       "host.main_ip: not a dotted IPv4 address (0..255 without leading zeros)"));
  const std::string host = R"({"host": {"main_ip": "10.0.0.1", "main_mac": "02:00:00:00:00:01", )";
  EXPECT_TRUE(mentions(error_of(host + R"("adapters": [{"name": "eth0", "gateways": ["10.77.0.01"]}]}})"),
                       "host.adapters[0].gateways[0]: not a dotted IPv4 address"));
  EXPECT_TRUE(mentions(error_of(host + R"("arp_table": [{"ip": "10.0.00.2", "mac": "02:00:00:00:00:02"}]}})"),
                       "host.arp_table[0].ip: not a dotted IPv4 address"));
}

// Values the data center may hand out but that mean nothing are accepted
// and warned about, each with its key.
TEST(AgentConfigWarnings, MeaninglessValuesAndUnusableBindListsAreNamed) {
  auto warnings_of = [](const std::string& record) {
    AgentConfig config;
    std::string error;
    EXPECT_EQ(AgentConfig::parse(R"({"policy": [{"strPolicyID": "a", "iStateMask": 1, )" + record + "}]}",
                                 "test.json", config, error), 0) << error;
    return config.warnings();
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

// The guard's switches are the agent's own: on in the embedded default, off
// in a config file that does not name them, so a file written for the
// policy alone keeps the plug-in exactly as it was.
TEST(AgentConfigGuard, SwitchesAreOnlyWhatTheSectionSays) {
  EXPECT_TRUE(AgentConfig::embedded_default().guard.b_neighbour_watch);
  EXPECT_TRUE(AgentConfig::embedded_default().guard.b_repair_cache);
  AgentConfig config;
  std::string error;
  ASSERT_EQ(AgentConfig::parse("{}", "test.json", config, error), 0) << error;
  EXPECT_FALSE(config.guard.b_neighbour_watch);
  EXPECT_FALSE(config.guard.b_repair_cache);
  ASSERT_EQ(AgentConfig::parse(R"({"guard": {"repair_cache": true,
                                  "dhcp_servers": ["10.0.0.53", "02-00-00-00-00-D5"]}})",
                               "test.json", config, error),
            0)
      << error;
  EXPECT_FALSE(config.guard.b_neighbour_watch);
  EXPECT_TRUE(config.guard.b_repair_cache);
  ASSERT_EQ(config.guard.vt_dhcp_servers.size(), 2u);
  EXPECT_EQ(config.guard.vt_dhcp_servers[1], HString(L"02:00:00:00:00:d5"));
  EXPECT_TRUE(mentions(error_of(R"({"guard": {"watch": true}})"), "guard.watch: unknown key"));
  EXPECT_TRUE(mentions(error_of(R"({"guard": {"dhcp_servers": ["10.0.0.053"]}})"), "guard.dhcp_servers[0]"));
  EXPECT_TRUE(mentions(error_of(R"({"guard": {"repair_cache": 1}})"), "guard.repair_cache"));
}

// IPv6 entries are compared as the frames render them: the shortest address
// text, lower-case MACs and DUIDs joined by ":".
TEST(AgentConfigGuard, Ipv6KeysAreNormalisedAndBadEntriesNamed) {
  AgentConfig config;
  std::string error;
  ASSERT_EQ(AgentConfig::parse(R"({"guard": {"ipv6_routers": ["FE80:0::1-02-77-06-00-00-0A"],
                                  "ipv6_remove_rogue_routes": true, "dhcp6_servers": ["00-03-00-01-02-77-06-00-00-AB"]},
                                  "host": {"main_ip": "10.0.0.10", "main_mac": "02:00:00:00:00:0a",
                                           "ipv6_routers": [{"router": "fe80::1-02:77:06:00:00:01", "index": 4}]}})",
                               "test.json", config, error),
            0)
      << error;
  EXPECT_FALSE(config.guard.b_ipv6);
  EXPECT_TRUE(config.guard.ipv6_on()) << "a router list turns the IPv6 guard on";
  EXPECT_TRUE(config.guard.b_ipv6_remove_rogue_routes);
  EXPECT_EQ(std::vector<HString>{HString(L"fe80::1-02:77:06:00:00:0a")}, config.guard.vt_ipv6_routers);
  EXPECT_EQ(std::vector<HString>{HString(L"00:03:00:01:02:77:06:00:00:ab")}, config.guard.vt_dhcp6_servers);
  ASSERT_EQ(1u, config.host.vt_ipv6_routers.size());
  EXPECT_EQ(4, config.host.vt_ipv6_routers[0].i_index);
  EXPECT_FALSE(AgentConfig::embedded_default().guard.ipv6_on());
  EXPECT_TRUE(mentions(error_of(R"({"guard": {"ipv6_routers": ["fe80::1"]}})"), "guard.ipv6_routers[0]"));
  EXPECT_TRUE(mentions(error_of(R"({"guard": {"ipv6_routers": ["fe80:::1-02:77:06:00:00:01"]}})"),
                       "guard.ipv6_routers[0]"));
  EXPECT_TRUE(mentions(error_of(R"({"guard": {"dhcp6_servers": ["0:03"]}})"), "guard.dhcp6_servers[0]"));
  EXPECT_TRUE(mentions(error_of(R"({"guard": {"ipv6": "yes"}})"), "guard.ipv6"));
}

TEST(AgentConfigErrors, MissingRequiredKeysAreNamed) {
  EXPECT_TRUE(mentions(error_of(R"({"policy": [{"strPolicyID": "a", "iStateMask": 1, "iAntiARPSpoofing": 1,
      "strBindList": "", "iAutoBind": 0}]})"),
                       "policy[0].iAntiDHCPSpoofing: missing"));
  EXPECT_TRUE(mentions(error_of(R"({"host": {"main_ip": "10.0.0.1"}})"), "host.main_mac: missing"));
  EXPECT_TRUE(mentions(error_of(R"({"host": {"main_ip": "10.0.0.1", "main_mac": "02:00:00:00:00:01",
      "arp_table": [{"mac": "02:00:00:00:00:02"}]}})"),
                       "host.arp_table[0].ip: missing"));
}

TEST(AgentConfigErrors, SyntaxErrorNamesTheLine) {
  std::string error = error_of("{\n  \"agent\": {\n    \"online\": true,\n    \"state\": 1,\n  }\n}\n");
  EXPECT_TRUE(mentions(error, "line 5")) << error;
  error = error_of("{\"agent\": {\"online\": tru}}");
  EXPECT_TRUE(mentions(error, "line 1")) << error;
  error = error_of("");
  EXPECT_TRUE(mentions(error, "line 1")) << error;
  error = error_of("{\n\"policy\": [\n");
  EXPECT_TRUE(mentions(error, "line 3")) << error;
}

TEST(AgentConfigErrors, KeyGivenTwiceIsAnError) {
  EXPECT_TRUE(mentions(error_of(R"({"agent": {"online": true, "online": false}})"), "online: key given twice"));
  EXPECT_TRUE(mentions(error_of(R"({"agent": {}, "agent": {}})"), "agent: key given twice"));
}

TEST(AgentConfigErrors, FailedParseLeavesTheConfigUntouched) {
  AgentConfig config;
  config.i_heartbeat_s = 99;
  std::string error;
  EXPECT_EQ(AgentConfig::parse(R"({"agent": {"heartbeat_s": 5, "bogus": 1}})", "x.json", config, error), -1);
  EXPECT_EQ(config.i_heartbeat_s, 99);
}

TEST(AgentConfigLoad, FileErrorsCarryTheFileName) {
  AgentConfig config;
  std::string error;
  EXPECT_EQ(AgentConfig::load("/nonexistent/velmora.json", config, error), -1);
  EXPECT_TRUE(mentions(error, "/nonexistent/velmora.json")) << error;
  agent_test::ScratchDir dir("config");
  std::string path = dir.file("bad.json");
  agent_test::write_file(path, "{\n \"agent\": {\"core_accepts\": \"yes\"}\n}\n");
  EXPECT_EQ(AgentConfig::load(path, config, error), -1);
  EXPECT_EQ(error, path + ": agent.core_accepts: expected a boolean, got a string");
}

}  // namespace

// --check-config prints the effective config: a config that names every key
// with a value other than its default comes back as it was written, and the
// embedded default (switches on that a file leaves off) reads back as itself.
TEST(AgentConfigJson, EffectiveConfigNamesEveryKeyAndReadsBack) {
  const char* const every_key = R"({
    "policy": [{"strPolicyID": "p1", "iStateMask": 5, "iAntiARPSpoofing": 2, "strBindList": "10.0.0.1-02:00:00:00:00:01",
                "iAntiDHCPSpoofing": 0, "iAutoBind": 1, "alarm_msg": "Schutz \u00fc"}],
    "agent": {"name": "V", "online": false, "state": 4294967295, "auth_802": true, "core_accepts": false, "heartbeat_s": 7,
              "syslog": false, "alarm_command": "/usr/local/bin/on-alarm", "alarm_command_timeout_ms": 2500},
    "language": {"0": "attack {mac}", "769": "burst"},
    "host": {"main_ip": "10.0.0.10", "main_mac": "02:00:00:00:00:0a",
             "adapters": [{"name": "eth0", "gateways": ["10.0.0.1"]}],
             "arp_table": [{"ip": "10.0.0.1", "mac": "02:00:00:00:00:01", "type": "static", "index": 7}],
             "ipv6_routers": [{"router": "fe80::1-02:00:00:00:00:01", "index": 7}]},
    "guard": {"neighbour_watch": true, "repair_cache": true, "dhcp_servers": ["10.0.0.53", "02:00:00:00:00:d5"],
              "ipv6": true, "ipv6_routers": ["fe80::1-02:00:00:00:00:01"], "ipv6_remove_rogue_routes": true,
              "dhcp6_servers": ["00:01:00:01:2a:2b:2c:2d:02:00:00:00:00:d6"]}})";
  AgentConfig config;
  std::string error;
  ASSERT_EQ(AgentConfig::parse(every_key, "every.json", config, error), 0) << error;
  EXPECT_EQ(nlohmann::json::parse(config.to_json()), nlohmann::json::parse(every_key)) << config.to_json();

  std::string printed = AgentConfig::embedded_default().to_json();
  ASSERT_EQ(AgentConfig::parse(printed, "printed.json", config, error), 0) << error;
  EXPECT_EQ(config.to_json(), printed);
  EXPECT_TRUE(config.guard.b_neighbour_watch && config.guard.b_repair_cache);
}
