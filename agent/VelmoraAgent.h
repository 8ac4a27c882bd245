#pragma once
// The agent: sets up its home, its data center and the capture source from
// the command line and the config, loads the plug-in, drives its exports and
// waits for the end (a signal, --run-for, or the end of a replay).
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "agent/AgentConfig.h"
#include "agent/AgentOptions.h"
#include "agent/AgentPaths.h"
#include "agent/AgentSummary.h"
#include "agent/PluginModule.h"

class VelmoraAgent {
 public:
  enum { EXIT_OK = 0, EXIT_FAILURE_RUN = 1, EXIT_USAGE = 2 };

  // Returns the exit code. Once the plug-in runs, the caller must leave with
  // _exit(): its threads never stop.
  int run(int argc, char** argv);

 private:
  int prepare(const std::vector<std::string>& args);
  int check_config();
  int set_up_home();
  void apply_config();
  void warn_at_start();
  int set_up_capture();
  int start_plugin();
  void wait_for_end();
  AgentSummary summary_so_far();
  void print_summary();
  void write_state();

  AgentOptions options;
  AgentConfig config;
  PluginModule plugin;
  std::string str_home;
  AgentPaths defaults;
  sigset_t stop_signals{};
  uint64_t ull_reports_at_start = 0;
  uint64_t ull_alarms_at_start = 0;
  double d_wall_seconds = 0;
};
