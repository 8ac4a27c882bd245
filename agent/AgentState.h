#pragma once
// HOME/state.json: what the agent has learned, written on SIGUSR1 and at a
// clean stop, for an administrator or a script to read: when and where,
// the gateways with their learned MAC and whether it is bound, the probes
// still waiting, and the counters of the summary so far. Written whole to
// state.json.tmp in the home and renamed over state.json, so a reader sees
// the old file or the new one, never half of one.
#include <string>

#include "agent/AgentSummary.h"
#include "host/HPluginView.h"

class AgentState {
 public:
  static std::string json_text(const HPluginView& view, const AgentSummary& summary);
  // 0, or -1 with `error` saying what failed (naming the file).
  static int write(const std::string& home, const std::string& text, std::string& error);
};
