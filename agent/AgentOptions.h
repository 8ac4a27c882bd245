#pragma once
// The agent's command line.
#include <string>
#include <vector>

#include "agent/AgentPaths.h"

class AgentOptions {
 public:
  std::string str_config;  // empty: the default of AgentPaths
  std::string str_home;    // empty: the default of AgentPaths
  std::string str_plugin;  // empty: the default of AgentPaths
  std::string str_iface;   // empty: the interface of the IPv4 default route
  std::string str_replay;  // empty: live capture
  double d_speed = 1;      // 0: as fast as possible
  double d_linger_s = 5;
  double d_run_for_s = 0;  // 0: until stopped
  bool b_help = false;
  bool b_version = false;
  bool b_check_config = false;

  // `args` without the program name. 0, or -1 with `error` naming the option.
  static int parse(const std::vector<std::string>& args, AgentOptions& out, std::string& error);
  static const char* usage();
  // One line per option, then one per section of the config; `defaults`
  // are the paths the agent takes without --config, --home and --plugin.
  static std::string help(const AgentPaths& defaults);
};
