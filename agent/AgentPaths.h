#pragma once
// The agent's defaults for its config, home and plug-in. In the build tree
// everything lives beside the executable and the config is the embedded
// one; an installed agent (its executable in the install's sbin folder)
// reads the config under /etc, keeps its home under /var/lib and loads the
// plug-in from its private library folder.
#include <string>

struct AgentPaths {
  std::string str_config;  // empty: the embedded default
  std::string str_home;
  std::string str_plugin;

  static AgentPaths defaults_for(const std::string& exe_folder);
};
