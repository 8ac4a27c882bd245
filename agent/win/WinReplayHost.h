#pragma once
// A small host program for Tidewell.dll on Windows: sets up the agent's
// libraries from the agent's config as velmora-agent does, loads the plug-in
// with LoadLibraryW, drives its exports and replays a capture file through
// it. Live capture needs a capture driver and is refused.
#include <string>
#include <vector>

#include "agent/AgentConfig.h"
#include "agent/AgentOptions.h"
#include "agent/PluginModule.h"

class WinReplayHost {
 public:
  enum { EXIT_OK = 0, EXIT_FAILURE_RUN = 1, EXIT_USAGE = 2 };

  // The exit code; afterwards the caller ends the process (end_process).
  int run(const std::vector<std::string>& args);

 private:
  int prepare(const std::vector<std::string>& args);
  int set_up_home();
  void apply_config();
  int set_up_capture();
  int start_plugin();
  void wait_for_end();
  void print_summary();

  AgentOptions options;
  AgentConfig config;
  PluginModule plugin;
  std::string str_home;
  std::string str_exe_folder;
  double d_wall_seconds = 0;
};
