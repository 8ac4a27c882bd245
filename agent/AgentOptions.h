#pragma once
// The agent's command line.
#include <string>
#include <vector>

class AgentOptions {
 public:
  std::string str_config;  // empty: the embedded default
  std::string str_home;    // empty: the folder of the executable
  std::string str_plugin;  // empty: libtidewell.so beside the executable
  std::string str_iface;   // empty: the interface of the IPv4 default route
  std::string str_replay;  // empty: live capture
  double d_speed = 1;      // 0: as fast as possible
  double d_linger_s = 5;
  double d_run_for_s = 0;  // 0: until stopped
  bool b_help = false;

  // `args` without the program name. 0, or -1 with `error` naming the option.
  static int parse(const std::vector<std::string>& args, AgentOptions& out, std::string& error);
  static const char* usage();
};
