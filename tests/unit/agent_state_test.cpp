// HOME/state.json: what it says, and that it is replaced whole through the
// home's own file calls.
#include <gtest/gtest.h>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "agent/AgentState.h"
#include "tests/support/TestHome.h"

namespace {

using nlohmann::json;

// The ARP probe's fields and the drops of both places added up (a live
// agent's DHCP probe, gateways and frames read are the events lab test's).
TEST(AgentState, SaysTheArpProbeAndTheDropsOfBothPlaces) {
  HPluginView view;
  view.vt_gateways.push_back({"10.79.0.1", "02:79:00:00:00:01", true});
  view.vt_probes.push_back({"arp", "10.79.0.1", "02:79:00:00:00:01", "02:79:00:00:00:66"});
  AgentSummary summary;
  summary.capture.frames_dropped = 2;
  summary.capture.frames_queue_dropped = 1;
  json state = json::parse(AgentState::json_text(view, summary));
  EXPECT_EQ(json({{"ip", "10.79.0.1"}, {"learned_mac", "02:79:00:00:00:01"}, {"bound", true}}), state["gateways"][0]);
  EXPECT_EQ(json({{"kind", "arp"}, {"ip", "10.79.0.1"}, {"old_mac", "02:79:00:00:00:01"}, {"new_mac", "02:79:00:00:00:66"}}),
            state["probes"][0]);
  EXPECT_EQ(3, state["counters"]["frames_dropped"]);
}

TEST(AgentState, ReplacesTheFileWholeAndRefusesALinkInPlaceOfItsTemporary) {
  tidewell_test::TestHome home;
  std::string error;
  ASSERT_EQ(0, AgentState::write(home.path(), "{\"old\":1}\n", error)) << error;
  ASSERT_EQ(0, AgentState::write(home.path(), "{\"new\":2}\n", error)) << error;
  EXPECT_EQ("{\"new\":2}\n", tidewell_test::read_file(home.file("state.json")));
  EXPECT_FALSE(tidewell_test::file_exists(home.file("state.json.tmp")));

  tidewell_test::write_file(home.file("victim"), "kept");
  ASSERT_EQ(0, ::symlink(home.file("victim").c_str(), home.file("state.json.tmp").c_str()));
  EXPECT_EQ(-1, AgentState::write(home.path(), "{\"third\":3}\n", error));
  EXPECT_NE(std::string::npos, error.find("state.json.tmp")) << error;
  EXPECT_EQ("kept", tidewell_test::read_file(home.file("victim")));
  EXPECT_EQ("{\"new\":2}\n", tidewell_test::read_file(home.file("state.json")));
}

}  // namespace
