#pragma once
// What the agent and the Windows host program both do with the config before
// the plug-in starts: the agent's libraries set from it, the virtual host of
// a replay installed. No system call of its own: both builds compile it.
#include <cstdint>
#include <string>

#include "agent/AgentConfig.h"

class AgentSetup {
 public:
  // Policies, alarm texts, online state, 802.1X and texts into the agent's
  // libraries.
  static void apply_config(const AgentConfig& config);
  // The replay's host: its address, adapters with their gateways, and the
  // ARP table that the plug-in reads instead of the system's.
  static void install_virtual_host(const AgentHost& host);
  // Lines in a file (the core's records); 0 when it cannot be read.
  static uint64_t count_lines(const std::string& path);
};
