#pragma once
// What the agent and the Windows host program both do with the config before
// the plug-in starts: the agent's libraries set from it, the virtual host of
// a replay installed, the plug-in started and stopped. No system call of its
// own: both builds compile it.
#include <cstdint>
#include <string>

#include "agent/AgentConfig.h"
#include "agent/PluginModule.h"

class AgentSetup {
 public:
  // Policies, alarm texts, online state, 802.1X and texts into the agent's
  // libraries.
  static void apply_config(const AgentConfig& config);
  // The replay's host: its address, adapters with their gateways, and the
  // ARP table that the plug-in reads instead of the system's.
  static void install_virtual_host(const AgentHost& host);
  // Loads the plug-in at `path` and starts it (orvoInit, orvoInit2), each
  // step logged under `source`: 0, or -1 with `error` for the user when it
  // cannot be loaded or its capture did not start.
  static int start_plugin(PluginModule& plugin, const std::string& path, const wchar_t* source, std::string& error);
  // Stops capture and lets the plug-in deliver the reports it still holds,
  // so that they are counted.
  static void stop_plugin();
  // Lines in a file (the core's records); 0 when it cannot be read.
  static uint64_t count_lines(const std::string& path);
};
