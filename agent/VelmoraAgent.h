#pragma once
// The agent: sets up its home, its data center and the capture source from
// the command line and the config, loads the plug-in, drives its exports and
// waits for the end (a signal, --run-for, or the end of a replay).
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "agent/AgentDriver.h"
#include "agent/AgentPaths.h"
#include "agent/AgentSummary.h"

class VelmoraAgent : public AgentDriver {
 public:
  VelmoraAgent() : AgentDriver("velmora-agent", L"velmora-agent") {}

 private:
  int prepare(const std::vector<std::string>& args, bool& done) override;
  int set_up_capture() override;
  void wait_for_end() override;
  void finish() override;

  int check_config();
  int set_up_home();
  void apply_config();
  void warn_at_start();
  AgentSummary summary_so_far();
  void print_summary();
  void write_state();

  AgentPaths defaults;
  sigset_t stop_signals{};
  uint64_t ull_reports_at_start = 0;
  uint64_t ull_alarms_at_start = 0;
};
