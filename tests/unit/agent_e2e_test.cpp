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

namespace {

using agent_test::ChildProcess;
using agent_test::count_of;
using agent_test::Frame;
using agent_test::ScratchDir;
using json = nlohmann::json;

const std::string AGENT = std::string(TIDEWELL_BIN_DIR) + "/velmora-agent";
const char* const HOST_MAC = "02:77:00:00:00:0a";
const char* const ROGUE_MAC = "02:77:00:00:00:99";
constexpr double RUN_LIMIT_S = 30;

std::string config_text(bool core_accepts) {
  return std::string(R"({
  "policy": [ {"strPolicyID": "e2e", "iStateMask": 1, "iAntiARPSpoofing": 1, "strBindList": "",
               "iAntiDHCPSpoofing": 1, "iAutoBind": 0, "alarm_msg": "end-to-end policy"} ],
  "agent": {"core_accepts": )") +
         (core_accepts ? "true" : "false") + R"(, "heartbeat_s": 30},
  "host": {"main_ip": "10.77.0.10", "main_mac": "02:77:00:00:00:0a",
           "adapters": [ {"name": "eth0", "gateways": ["10.77.0.1"]} ],
           "arp_table": [ {"ip": "10.77.0.1", "mac": "02:77:00:00:00:01", "type": "dynamic", "index": 1} ]}
})";
}

std::vector<json> json_lines(const std::string& path) {
  std::vector<json> lines;
  for (const std::string& line : tidewell_test::read_lines(path))
    if (!line.empty()) lines.push_back(json::parse(line));
  return lines;
}

using tidewell_test::file_exists;

class AgentEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!file_exists(AGENT)) GTEST_SKIP() << AGENT << " is not built";
  }

  std::string write_config(const std::string& name, const std::string& text) {
    std::string path = dir.file(name);
    agent_test::write_file(path, text);
    return path;
  }

  // Runs the agent to its end; returns the exit code.
  int run(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {AGENT};
    argv.insert(argv.end(), args.begin(), args.end());
    return agent_test::run_child(argv, dir.file("out.txt"), dir.file("err.txt"), RUN_LIMIT_S);
  }

  std::string out() { return agent_test::read_file(dir.file("out.txt")); }
  std::string err() { return agent_test::read_file(dir.file("err.txt")); }
  std::string home() { return dir.file("home"); }

  ScratchDir dir{"e2e"};
};

// A refused report waits in the archive and reaches the core exactly once,
// with the seconds it waited, on the next start that the core accepts.
TEST_F(AgentEndToEnd, QueuedReportsReachTheCoreOnceWithTheirAge) {
  std::string rogue_pcap = dir.file("rogue.pcap");
  agent_test::write_pcap(rogue_pcap, {{500.0, agent_test::dhcp_offer(ROGUE_MAC, HOST_MAC, "0.0.0.0", "")}});
  std::string quiet_pcap = dir.file("quiet.pcap");
  agent_test::write_pcap(quiet_pcap, {{500.0, agent_test::ethernet_frame(HOST_MAC, ROGUE_MAC, 0x86dd, 80)}});
  std::string refusing = write_config("refusing.json", config_text(false));
  std::string accepting = write_config("accepting.json", config_text(true));
  const std::string reports = home() + "/core/reports.jsonl";

  ASSERT_EQ(run({"--config", refusing, "--home", home(), "--replay", rogue_pcap, "--speed", "max", "--linger", "0.3"}),
            0)
      << err();
  EXPECT_NE(out().find("frames read:                     1"), std::string::npos) << out();
  EXPECT_TRUE(json_lines(reports).empty()) << "the core refused everything";
  EXPECT_TRUE(file_exists(home() + "/arc_file/his_arp_attack"));
  EXPECT_TRUE(file_exists(home() + "/log/Velmora.log"));
  EXPECT_TRUE(file_exists(home() + "/log/Attack.log"));

  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // so that the queued report has an age
  ASSERT_EQ(run({"--config", accepting, "--home", home(), "--replay", quiet_pcap, "--speed", "max", "--linger", "0.3"}),
            0)
      << err();
  ASSERT_EQ(run({"--config", accepting, "--home", home(), "--replay", quiet_pcap, "--speed", "max", "--linger", "0.3"}),
            0)
      << err();

  std::vector<json> blocks = json_lines(reports);
  // Second run: the queued start-up report, the queued DHCP report, its own
  // start-up report. Third run: its own start-up report only.
  ASSERT_EQ(blocks.size(), 4u) << agent_test::read_file(reports);
  EXPECT_TRUE(blocks[0]["records"].empty()) << "oldest first: the first run's start-up report";
  ASSERT_EQ(blocks[1]["records"].size(), 1u);
  const json& record = blocks[1]["records"][0];
  EXPECT_EQ(record["str_desc"], "AntiARP_RP_DHCP");
  EXPECT_EQ(record["strPolicyID"], "e2e");
  EXPECT_EQ(record["mapDesc"]["mac"], ROGUE_MAC);
  EXPECT_GE(record["iElapsed"].get<int>(), 1) << "delivered with the seconds it waited";
  EXPECT_LT(record["iElapsed"].get<int>(), 60);
  EXPECT_TRUE(blocks[2]["records"].empty());
  EXPECT_TRUE(blocks[3]["records"].empty());
}

// The heartbeat retries the queue while the agent is online, and only then.
TEST_F(AgentEndToEnd, HeartbeatRetriesQueuedReportsWhileOnline) {
  std::string pcap = dir.file("rogue.pcap");
  agent_test::write_pcap(pcap, {{500.0, agent_test::dhcp_offer(ROGUE_MAC, HOST_MAC, "0.0.0.0", "")}});
  for (bool online : {true, false}) {
    std::string config = config_text(false);
    config.replace(config.find("\"heartbeat_s\": 30"), 17,
                   std::string("\"heartbeat_s\": 1, \"online\": ") + (online ? "true" : "false"));
    std::string path = write_config("hb.json", config);
    std::string run_home = home() + (online ? "-online" : "-offline");
    ASSERT_EQ(run({"--config", path, "--home", run_home, "--replay", pcap, "--speed", "max", "--linger", "3.5"}), 0)
        << err();
    // The start-up report and the DHCP report try the core once each; every
    // heartbeat while online tries the queue again.
    size_t attempts = count_of(agent_test::read_file(run_home + "/log/Velmora.log"), "HAuditReportMgr::report OLD");
    if (online) {
      EXPECT_GE(attempts, 4u);
    } else {
      EXPECT_EQ(attempts, 2u);
    }
  }
}

TEST_F(AgentEndToEnd, FramesSentByThePlugInLandInSentPcap) {
  // A unicast offer that names a gateway: the DHCP probe asks for it by ARP.
  std::string pcap = dir.file("offer.pcap");
  agent_test::write_pcap(pcap, {{10.0, agent_test::dhcp_offer(ROGUE_MAC, HOST_MAC, "10.77.0.10", "10.77.0.254")}});
  std::string config = write_config("c.json", config_text(true));
  ASSERT_EQ(run({"--config", config, "--home", home(), "--replay", pcap, "--speed", "max", "--linger", "2"}), 0)
      << err();
  std::vector<agent_test::TimedFrame> sent = agent_test::read_pcap(home() + "/sent.pcap");
  ASSERT_FALSE(sent.empty()) << out();
  const Frame& request = sent[0].bytes;
  ASSERT_EQ(request.size(), 60u);
  EXPECT_EQ(request[12], 0x08);
  EXPECT_EQ(request[13], 0x06);
  EXPECT_EQ(Frame(request.begin() + 38, request.begin() + 42), (Frame{10, 77, 0, 254})) << "asks for the gateway";
}

// The demo of the legitimate-server list: the rogue's broadcast offer and
// its ACK make one report naming it; the listed server's answers none.
TEST_F(AgentEndToEnd, RogueDhcpServerOfTheDemoIsReportedOnce) {
  std::string examples = std::string(TIDEWELL_SOURCE_DIR) + "/examples/";
  ASSERT_EQ(run({"--config", examples + "dhcp-servers-demo.json", "--home", home(), "--replay",
                 examples + "dhcp-servers-demo.pcap", "--speed", "max", "--linger", "0.3"}),
            0)
      << err();
  std::vector<json> records;
  for (const json& block : json_lines(home() + "/core/reports.jsonl"))
    for (const json& record : block["records"]) records.push_back(record);
  ASSERT_EQ(records.size(), 1u) << agent_test::read_file(home() + "/core/reports.jsonl");
  EXPECT_EQ(records[0]["str_desc"], "AntiARP_RP_DHCP_SERVER");
  EXPECT_EQ(records[0]["mapDesc"], json({{"mac", "02:77:00:00:00:66"}, {"ip", "10.77.0.66"}}));
}

// The IPv6 demo under both configs: the forged advertisement for the
// router, the rogue router and the rogue DHCPv6 server make one report
// each; the router's and the listed server's own frames none. Listed, the
// router is bound; unlisted, its old MAC is probed and its answer confirms.
TEST_F(AgentEndToEnd, Ipv6DemoReportsEachAttackOnceBoundOrProbed) {
  std::string examples = std::string(TIDEWELL_SOURCE_DIR) + "/examples/";
  for (const char* config : {"ipv6-demo.json", "ipv6-demo-probe.json"}) {
    std::string run_home = dir.file(config);
    ASSERT_EQ(run({"--config", examples + config, "--home", run_home, "--replay", examples + "ipv6-demo.pcap",
                   "--speed", "max", "--linger", "0.3"}),
              0)
        << err();
    std::vector<json> records;
    for (const json& block : json_lines(run_home + "/core/reports.jsonl"))
      for (const json& record : block["records"]) records.push_back(record);
    ASSERT_EQ(records.size(), 3u) << config << agent_test::read_file(run_home + "/core/reports.jsonl");
    json rogue = {{"mac", "02:77:06:00:00:66"}, {"ip", "fe80::66"}};
    EXPECT_EQ(records[0]["str_desc"], "AntiARP_RP_ND");
    EXPECT_EQ(records[0]["mapDesc"], json({{"mac", "02:77:06:00:00:66"}, {"ip", "fe80::1"}}));
    EXPECT_EQ(records[1]["str_desc"], "AntiARP_RP_RA");
    EXPECT_EQ(records[1]["mapDesc"], rogue);
    EXPECT_EQ(records[2]["str_desc"], "AntiARP_RP_DHCP6");
    EXPECT_EQ(records[2]["iAttackType"], 2);
    EXPECT_EQ(records[2]["mapDesc"], rogue);
    std::vector<agent_test::TimedFrame> sent = agent_test::read_pcap(run_home + "/sent.pcap");
    bool probed = std::string(config) == "ipv6-demo-probe.json";
    ASSERT_EQ(sent.size(), probed ? 1u : 0u) << config;
    if (probed) {
      EXPECT_EQ(sent[0].bytes[54], 135) << "a neighbour solicitation to the router's old MAC";
    }
    bool bound = agent_test::read_file(run_home + "/log/Velmora.log").find("fe80::1 bound to 02:77:06:00:00:01") !=
                 std::string::npos;
    EXPECT_EQ(bound, !probed) << config;
  }
}

TEST_F(AgentEndToEnd, BadConfigExitsTwoNamingFileAndKey) {
  std::string config = write_config("bad.json", R"({"agent": {"heartbeat_s": "30"}})");
  EXPECT_EQ(run({"--config", config, "--home", home(), "--run-for", "1"}), 2);
  EXPECT_NE(err().find(config + ": agent.heartbeat_s: expected an integer"), std::string::npos) << err();

  EXPECT_EQ(run({"--config", dir.file("absent.json"), "--run-for", "1"}), 2);
  EXPECT_NE(err().find("absent.json"), std::string::npos) << err();
  EXPECT_FALSE(file_exists(home() + "/core/reports.jsonl")) << "nothing ran";
}

TEST_F(AgentEndToEnd, BadUsageExitsTwo) {
  EXPECT_EQ(run({"--speed", "2"}), 2);
  EXPECT_NE(err().find("--speed needs --replay"), std::string::npos) << err();
  EXPECT_EQ(run({"--frobnicate"}), 2);
  EXPECT_NE(err().find("unknown option --frobnicate"), std::string::npos) << err();
  // A replay needs the virtual host; the embedded default has none.
  std::string pcap = dir.file("x.pcap");
  agent_test::write_pcap(pcap, {});
  EXPECT_EQ(run({"--home", home(), "--replay", pcap}), 2);
  EXPECT_NE(err().find("host"), std::string::npos) << err();
  std::string config = write_config("c.json", config_text(true));
  EXPECT_EQ(run({"--config", config, "--home", home(), "--replay", dir.file("none.pcap")}), 2);
  EXPECT_NE(err().find("none.pcap"), std::string::npos) << err();
  EXPECT_EQ(run({"--help"}), 0);
  EXPECT_NE(out().find("usage: velmora-agent"), std::string::npos);
}

// Log rotation renames the log away and sends SIGHUP: the agent goes on in
// a new file; SIGTERM and SIGINT then stop it cleanly.
TEST_F(AgentEndToEnd, SighupReopensTheLogsThenSigtermAndSigintStopItCleanly) {
  std::string pcap = dir.file("slow.pcap");
  // An hour between the frames: only a signal ends this run.
  agent_test::write_pcap(pcap, {{0.0, agent_test::ethernet_frame(HOST_MAC, ROGUE_MAC, 0x0800, 60)},
                                {3600.0, agent_test::ethernet_frame(HOST_MAC, ROGUE_MAC, 0x0800, 60)}});
  std::string config = write_config("c.json", config_text(true));
  auto wait_for = [](const std::string& file, const std::string& text) {
    for (int i = 0; i < 500 && agent_test::read_file(file).find(text) == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  };
  for (int number : {SIGTERM, SIGINT}) {
    const std::string run_home = home() + std::to_string(number);
    ChildProcess agent({AGENT, "--config", config, "--home", run_home, "--replay", pcap, "--linger", "3600"},
                       dir.file("out.txt"), dir.file("err.txt"));
    ASSERT_GT(agent.pid(), 0);
    // Bounded wait until the plug-in has started capture.
    const std::string log = run_home + "/log/Velmora.log";
    wait_for(log, "orvoInit2 ret");
    ASSERT_EQ(::rename(log.c_str(), (log + ".old").c_str()), 0);
    agent.signal(SIGHUP);
    wait_for(log, "log files reopened");
    EXPECT_NE(agent_test::read_file(log).find("SIGHUP: log files reopened"), std::string::npos);
    agent.signal(number);
    EXPECT_EQ(agent.wait(10), 0) << "signal " << number << ": " << err();
    EXPECT_NE(out().find("velmora-agent summary"), std::string::npos) << out();
    EXPECT_NE(agent_test::read_file(log).find(number == SIGTERM ? "stopped by SIGTERM" : "stopped by SIGINT"),
              std::string::npos);
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
  const std::pair<std::string, std::string> damages[] = {
      {bytes.substr(0, third_caplen) + "\xff\xff\xff\x7f" + bytes.substr(third_caplen + 4), "capture length"},
      {bytes.substr(0, bytes.size() - 1), "truncated"},
  };
  const char* frames_before[] = {"after 2 frames: ", "after 3 frames: "};
  for (size_t i = 0; i < 2; ++i) {
    agent_test::write_file(pcap, damages[i].first);
    EXPECT_EQ(run({"--config", config, "--home", home(), "--replay", pcap, "--speed", i ? "100" : "max", "--linger",
                   "0"}),
              2);
    EXPECT_NE(err().find(frames_before[i]), std::string::npos) << err();
    EXPECT_NE(err().find(damages[i].second), std::string::npos) << err();
    EXPECT_NE(out().find("replay ended early:              capture file " + pcap + " is damaged " + frames_before[i]),
              std::string::npos)
        << out();
  }
}

// A capture piped in is read as a stream: the check before the start must
// not eat its header.
TEST_F(AgentEndToEnd, PipedCaptureReplaysLikeTheFile) {
  std::string pcap = std::string(TIDEWELL_SOURCE_DIR) + "/examples/arp-demo.pcap";
  std::string config = std::string(TIDEWELL_SOURCE_DIR) + "/examples/arp-mode1.json";
  for (const char* input : {"-", "/dev/stdin"}) {
    std::string command = "cat " + pcap + " | " + AGENT + " --config " + config + " --home " + home() +
                          " --speed max --linger 0.5 --replay " + input;
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
  std::string demo = std::string(TIDEWELL_SOURCE_DIR) + "/examples/";
  json config = json::parse(agent_test::read_file(demo + "arp-mode1.json"));
  std::vector<json> records[2];
  for (bool repair : {false, true}) {
    config["guard"] = {{"repair_cache", repair}};
    std::string run_home = dir.file(repair ? "on" : "off");
    std::string path = write_config(repair ? "on.json" : "off.json", config.dump());
    ASSERT_EQ(run({"--config", path, "--home", run_home, "--replay", demo + "arp-demo.pcap", "--linger", "1.5"}), 0)
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

TEST_F(AgentEndToEnd, PlugInWithoutTheExportsExitsOne) {
  std::string pcap = dir.file("x.pcap");
  agent_test::write_pcap(pcap, {});
  std::string config = write_config("c.json", config_text(true));
  std::string host_lib = std::string(TIDEWELL_BIN_DIR) + "/libvelmora_host.so";
  EXPECT_EQ(run({"--config", config, "--home", home(), "--plugin", host_lib, "--replay", pcap}), 1);
  EXPECT_NE(err().find("plug-in " + host_lib + " does not export orvoInit"), std::string::npos) << err();
  EXPECT_EQ(run({"--config", config, "--home", home(), "--plugin", dir.file("missing.so"), "--replay", pcap}), 1);
  EXPECT_NE(err().find("missing.so"), std::string::npos) << err();
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
