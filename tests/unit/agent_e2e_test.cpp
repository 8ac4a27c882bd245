// The built agent with the built plug-in, driven from the outside as a user
// or a supervisor would: replays, the archive across runs, exit codes.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "tests/support/agent_pcap.h"
#include "tests/support/agent_process.h"
#include "tests/support/dhcpguard_support.h"

namespace {

using agent_test::AGENT;
using agent_test::ChildProcess;
using agent_test::count_of;
using agent_test::Frame;
using agent_test::EXAMPLES;
using agent_test::RUN_LIMIT_S;
using json = nlohmann::json;

const char* const HOST_MAC = "02:77:00:00:00:0a";
const char* const ROGUE_MAC = "02:77:00:00:00:99";

// The policy on a virtual host; `agent_keys` go on in the agent section.
std::string config_text(bool core_accepts, const std::string& agent_keys = "") {
  return std::string(R"({
  "policy": [ {"strPolicyID": "e2e", "iStateMask": 1, "iAntiARPSpoofing": 1, "strBindList": "",
               "iAntiDHCPSpoofing": 1, "iAutoBind": 0, "alarm_msg": "end-to-end policy"} ],
  "agent": {"core_accepts": )") + (core_accepts ? "true" : "false") + agent_keys + R"(},
  "host": {"main_ip": "10.77.0.10", "main_mac": "02:77:00:00:00:0a",
           "adapters": [ {"name": "eth0", "gateways": ["10.77.0.1"]} ],
           "arp_table": [ {"ip": "10.77.0.1", "mac": "02:77:00:00:00:01", "type": "dynamic", "index": 1} ]}
})";
}

// A DHCP offer from the rogue to this host of `yiaddr` ("0.0.0.0": none),
// naming `routers`.
Frame rogue_offer(const std::string& yiaddr, const std::vector<std::string>& routers) {
  dhcpguard_test::DhcpFields offer;
  offer.eth_dst = HOST_MAC;
  offer.eth_src = ROGUE_MAC;
  offer.yiaddr = yiaddr;
  offer.options = dhcpguard_test::options(2, routers);
  return dhcpguard_test::dhcp_frame(offer);
}

std::vector<json> json_lines(const std::string& path) {
  std::vector<json> lines;
  for (const std::string& line : tidewell_test::read_lines(path))
    if (!line.empty()) lines.push_back(json::parse(line));
  return lines;
}

using tidewell_test::file_exists;

class AgentEndToEnd : public agent_test::AgentRunTest {
 protected:
  std::string write_config(const std::string& name, const std::string& text) {
    std::string path = dir.file(name);
    agent_test::write_file(path, text);
    return path;
  }

  // The records of every block that reached the core, oldest first.
  static std::vector<json> records_of(const std::string& run_home) {
    std::vector<json> records;
    for (const json& block : json_lines(run_home + "/core/reports.jsonl"))
      for (const json& record : block["records"]) records.push_back(record);
    return records;
  }

  std::string home() const { return dir.file("home"); }
};

// A refused report waits in the archive and reaches the core exactly once,
// with the seconds it waited, on the next start that the core accepts.
TEST_F(AgentEndToEnd, QueuedReportsReachTheCoreOnceWithTheirAge) {
  std::string rogue_pcap = dir.file("rogue.pcap");
  agent_test::write_pcap(rogue_pcap, {{500.0, rogue_offer("0.0.0.0", {})}});
  std::string quiet_pcap = dir.file("quiet.pcap");
  agent_test::write_pcap(quiet_pcap, {{500.0, agent_test::ethernet_frame(HOST_MAC, ROGUE_MAC, 0x86dd, 80)}});
  std::string refusing = write_config("refusing.json", config_text(false));
  std::string accepting = write_config("accepting.json", config_text(true));

  ASSERT_EQ(run(replay_args(refusing, rogue_pcap, home())), 0) << err();
  EXPECT_TRUE(json_lines(home() + "/core/reports.jsonl").empty()) << "the core refused everything";
  EXPECT_TRUE(file_exists(home() + "/arc_file/his_arp_attack"));
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // so that the queued report has an age
  ASSERT_EQ(run(replay_args(accepting, quiet_pcap, home())), 0) << err();
  ASSERT_EQ(run(replay_args(accepting, quiet_pcap, home())), 0) << err();

  // Second run: the queued start-up report, the queued DHCP report, its own
  // start-up report. Third run: its own start-up report only.
  std::vector<json> blocks = json_lines(home() + "/core/reports.jsonl");
  ASSERT_EQ(blocks.size(), 4u) << agent_test::read_file(home() + "/core/reports.jsonl");
  EXPECT_TRUE(blocks[0]["records"].empty()) << "oldest first: the first run's start-up report";
  ASSERT_EQ(blocks[1]["records"].size(), 1u);
  const json& record = blocks[1]["records"][0];
  EXPECT_EQ(record["str_desc"], "AntiARP_RP_DHCP");
  EXPECT_EQ(record["mapDesc"]["mac"], ROGUE_MAC);
  EXPECT_GE(record["iElapsed"].get<int>(), 1) << "delivered with the seconds it waited";
  EXPECT_LT(record["iElapsed"].get<int>(), 60);
  EXPECT_TRUE(blocks[2]["records"].empty() && blocks[3]["records"].empty());
}

// The heartbeat retries the queue only while the agent is online (the full
// disk of the files lab test shows the retry online).
TEST_F(AgentEndToEnd, HeartbeatLeavesQueuedReportsAloneWhileOffline) {
  std::string pcap = dir.file("rogue.pcap");
  agent_test::write_pcap(pcap, {{500.0, rogue_offer("0.0.0.0", {})}});
  std::string config = config_text(false, ", \"heartbeat_s\": 1, \"online\": false");
  ASSERT_EQ(run(replay_args(write_config("hb.json", config), pcap, home(), "3.5")), 0) << err();
  // The start-up report and the DHCP report try the core once each.
  EXPECT_EQ(count_of(agent_test::read_file(home() + "/log/Velmora.log"), "HAuditReportMgr::report OLD"), 2u);
}

// The demos of examples/ report each attack once and the legitimate peers'
// frames never. dhcp-servers: the rogue's broadcast offer and its ACK make
// one report, the listed server's answers none. IPv6: the forged
// advertisement for the router, the rogue router and the rogue DHCPv6
// server one each; listed, the router is bound; unlisted, its old MAC is
// probed by a neighbour solicitation and its answer confirms.
TEST_F(AgentEndToEnd, DemosReportEachAttackOnceBoundOrProbed) {
  const std::string rogue6 = R"({"ip":"fe80::66","mac":"02:77:06:00:00:66"})";
  const std::vector<std::string> ipv6_reports = {"AntiARP_RP_ND {\"ip\":\"fe80::1\",\"mac\":\"02:77:06:00:00:66\"}",
                                                 "AntiARP_RP_RA " + rogue6, "AntiARP_RP_DHCP6 " + rogue6};
  const struct {
    std::string config, pcap;
    std::vector<std::string> reports;
    bool bound, probed;
  } demos[] = {
      {"dhcp-servers-demo", "dhcp-servers-demo",
       {R"(AntiARP_RP_DHCP_SERVER {"ip":"10.77.0.66","mac":"02:77:00:00:00:66"})"}, false, false},
      {"ipv6-demo", "ipv6-demo", ipv6_reports, true, false},
      {"ipv6-demo-probe", "ipv6-demo", ipv6_reports, false, true},
  };
  for (const auto& demo : demos) {
    std::string run_home = dir.file(demo.config);
    ASSERT_EQ(run(replay_args(EXAMPLES + demo.config + ".json", EXAMPLES + demo.pcap + ".pcap", run_home)), 0)
        << err();
    std::vector<std::string> reports;
    for (const json& record : records_of(run_home))
      reports.push_back(record["str_desc"].get<std::string>() + " " + record["mapDesc"].dump());
    EXPECT_EQ(reports, demo.reports) << demo.config;
    std::vector<agent_test::TimedFrame> sent = agent_test::read_pcap(run_home + "/sent.pcap");
    ASSERT_EQ(sent.size(), demo.probed ? 1u : 0u) << demo.config;
    if (demo.probed) {
      EXPECT_EQ(sent[0].bytes[54], 135) << "a neighbour solicitation to the router's old MAC";
    }
    EXPECT_EQ(count_of(agent_test::read_file(run_home + "/log/Velmora.log"), "fe80::1 bound to 02:77:06:00:00:01"),
              demo.bound ? 1u : 0u)
        << demo.config;
  }
}

// A start that cannot go on exits with its code (2 for what the user gave,
// 1 for what the machine lacks) and names the cause; nothing runs.
TEST_F(AgentEndToEnd, BadStartsExitWithTheirCodeNamingTheCause) {
  std::string pcap = dir.file("x.pcap");
  agent_test::write_pcap(pcap, {});
  std::string bad = write_config("bad.json", R"({"agent": {"heartbeat_s": "30"}})");
  std::string config = write_config("c.json", config_text(true));
  std::string host_lib = std::string(TIDEWELL_BIN_DIR) + "/libvelmora_host.so";
  const struct {
    std::vector<std::string> args;
    int code;
    std::string cause;
  } cases[] = {
      {{"--config", bad, "--home", home(), "--run-for", "1"}, 2, bad + ": agent.heartbeat_s: expected an integer"},
      {{"--config", dir.file("absent.json"), "--run-for", "1"}, 2, "absent.json"},
      {{"--speed", "2"}, 2, "--speed needs --replay"},
      // A replay needs the virtual host; the embedded default has none.
      {{"--home", home(), "--replay", pcap}, 2, "host"},
      {{"--config", config, "--home", home(), "--replay", dir.file("none.pcap")}, 2, "none.pcap"},
      {{"--config", config, "--home", home(), "--plugin", host_lib, "--replay", pcap}, 1,
       "plug-in " + host_lib + " does not export orvoInit"},
      {{"--config", config, "--home", home(), "--plugin", dir.file("missing.so"), "--replay", pcap}, 1, "missing.so"},
  };
  for (const auto& bad_start : cases) {
    EXPECT_EQ(run(bad_start.args), bad_start.code) << bad_start.cause;
    EXPECT_NE(err().find(bad_start.cause), std::string::npos) << err();
  }
  EXPECT_FALSE(file_exists(home() + "/core/reports.jsonl")) << "nothing ran";
  EXPECT_EQ(run({"--help"}), 0);
  EXPECT_NE(out().find("usage: velmora-agent"), std::string::npos);
}

// Log rotation renames the log away and sends SIGHUP: the agent goes on in
// a new file; SIGTERM and SIGINT then stop it cleanly, though the paced
// replay's next frame is an hour away.
TEST_F(AgentEndToEnd, SighupReopensTheLogsThenSigtermAndSigintStopItCleanly) {
  std::string pcap = dir.file("slow.pcap");
  // An hour between the frames: only a signal ends this run.
  Frame frame = agent_test::ethernet_frame(HOST_MAC, ROGUE_MAC, 0x0800, 60);
  agent_test::write_pcap(pcap, {{0.0, frame}, {3600.0, frame}});
  std::string config = write_config("c.json", config_text(true));
  auto wait_for = [](const std::string& file, const std::string& text) {
    return tidewell_test::eventually([&] { return agent_test::read_file(file).find(text) != std::string::npos; });
  };
  for (const char* name : {"SIGTERM", "SIGINT"}) {
    const std::string log = home() + name + "/log/Velmora.log";
    ChildProcess agent({AGENT, "--config", config, "--home", home() + name, "--replay", pcap, "--linger", "3600"},
                       dir.file("out.txt"), dir.file("err.txt"));
    ASSERT_TRUE(wait_for(log, "orvoInit2 ret")) << "capture never started";
    ASSERT_EQ(::rename(log.c_str(), (log + ".old").c_str()), 0);
    agent.signal(SIGHUP);
    EXPECT_TRUE(wait_for(log, "SIGHUP: log files reopened"));
    agent.signal(std::string(name) == "SIGTERM" ? SIGTERM : SIGINT);
    EXPECT_EQ(agent.wait(10), 0) << name << ": " << err();
    EXPECT_NE(out().find("velmora-agent summary"), std::string::npos) << out();
    EXPECT_NE(agent_test::read_file(log).find(std::string("stopped by ") + name), std::string::npos);
  }
}

// A damaged record, or a file cut inside its last one, ends the replay: the
// frames read before and libpcap's reason are said, and the exit code is 2.
TEST_F(AgentEndToEnd, DamagedCaptureExitsTwoSayingFramesReadAndWhy) {
  std::string pcap = dir.file("damaged.pcap");
  Frame frame = agent_test::ethernet_frame(HOST_MAC, ROGUE_MAC, 0x0800, 60);
  agent_test::write_pcap(pcap, {{1.0, frame}, {1.1, frame}, {1.2, frame}, {1.3, frame}});
  std::string bytes = agent_test::read_file(pcap);
  const size_t third_caplen = 24 + 2 * (16 + 60) + 8;
  std::string config = write_config("c.json", config_text(true));
  const struct {
    std::string bytes, speed, frames_before, reason;
  } damages[] = {
      {bytes.substr(0, third_caplen) + "\xff\xff\xff\x7f" + bytes.substr(third_caplen + 4), "max", "after 2 frames: ",
       "capture length"},
      {bytes.substr(0, bytes.size() - 1), "100", "after 3 frames: ", "truncated"},
  };
  for (const auto& damage : damages) {
    agent_test::write_file(pcap, damage.bytes);
    EXPECT_EQ(run({"--config", config, "--home", home(), "--replay", pcap, "--speed", damage.speed, "--linger", "0"}),
              2);
    EXPECT_NE(err().find(damage.reason), std::string::npos) << err();
    EXPECT_NE(out().find("replay ended early:              capture file " + pcap + " is damaged " +
                         damage.frames_before),
              std::string::npos)
        << out();
  }
}

// A capture piped in is read as a stream: the check before the start must
// not eat its header.
TEST_F(AgentEndToEnd, PipedCaptureReplaysLikeTheFile) {
  for (const char* input : {"-", "/dev/stdin"}) {
    std::string command = "cat " + EXAMPLES + "arp-demo.pcap | " + AGENT + " --config " + EXAMPLES + "arp-mode1.json" +
                          " --home " + home() + " --speed max --linger 0.5 --replay " + input;
    EXPECT_EQ(agent_test::run_child({"/bin/sh", "-c", command}, dir.file("out.txt"), dir.file("err.txt"), RUN_LIMIT_S),
              0)
        << input << ": " << err();
    EXPECT_TRUE(std::regex_search(out(), std::regex("\n  frames read: +4\n"))) << input << ": " << out();
  }
}

// The probing demo at its own pace: with guard.repair_cache the spoof the
// probe confirms puts the gateway's MAC back into the replay's ARP table;
// without it nothing is restored; the reports are the same either way.
TEST_F(AgentEndToEnd, ProbingDemoRestoresTheGatewayEntryOnlyWithRepairCache) {
  json config = json::parse(agent_test::read_file(EXAMPLES + "arp-mode1.json"));
  std::vector<json> records[2];
  for (bool repair : {false, true}) {
    config["guard"] = {{"repair_cache", repair}};
    std::string run_home = dir.file(repair ? "on" : "off");
    std::string path = write_config(repair ? "on.json" : "off.json", config.dump());
    ASSERT_EQ(run({"--config", path, "--home", run_home, "--replay", EXAMPLES + "arp-demo.pcap", "--linger", "1.5"}), 0)
        << err();
    std::string log = agent_test::read_file(run_home + "/log/Velmora.log");
    EXPECT_EQ(count_of(log, "restored 10.77.0.1 to 02:77:00:00:00:01"), repair ? 1u : 0u) << log;
    for (json block : json_lines(run_home + "/core/reports.jsonl")) records[repair].push_back(block["records"]);
  }
  ASSERT_EQ(records[1].size(), 2u);
  EXPECT_EQ(records[0], records[1]);
}

TEST_F(AgentEndToEnd, RunForEndsALiveRun) {
  if (::geteuid() != 0) GTEST_SKIP() << "live capture needs root";
  EXPECT_EQ(run({"--home", home(), "--iface", "lo", "--run-for", "0.5"}), 0) << err();
  EXPECT_NE(out().find("velmora-agent summary"), std::string::npos);
}

// Without CAP_NET_RAW live capture cannot open: one clear line, exit 1.
TEST_F(AgentEndToEnd, LiveCaptureWithoutCapNetRawExitsOneWithOneLine) {
  std::vector<std::string> argv;
  if (::geteuid() == 0) {
    if (!file_exists("/usr/bin/setpriv")) GTEST_SKIP() << "setpriv missing";
    argv = {"/usr/bin/setpriv", "--inh-caps=-net_raw", "--bounding-set=-net_raw"};
  }
  argv.insert(argv.end(), {AGENT, "--home", home(), "--iface", "lo", "--run-for", "5"});
  EXPECT_EQ(agent_test::run_child(argv, dir.file("out.txt"), dir.file("err.txt"), RUN_LIMIT_S), 1);
  std::string error = err();
  EXPECT_NE(error.find("CAP_NET_RAW"), std::string::npos) << error;
  EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << error;
}

}  // namespace
