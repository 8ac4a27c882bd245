#pragma once
// A small host program for Tidewell.dll on Windows: sets up the agent's
// libraries from the agent's config as velmora-agent does, loads the plug-in
// with LoadLibraryW, drives its exports and replays a capture file through
// it. Live capture needs a capture driver and is refused.
#include <string>
#include <vector>

#include "agent/AgentDriver.h"

class WinReplayHost : public AgentDriver {
 public:
  WinReplayHost() : AgentDriver("tidewell-host", L"tidewell-host") {}

 private:
  int prepare(const std::vector<std::string>& args, bool& done) override;
  void wait_for_end() override;
  void finish() override;

  int set_up_home();
  void print_summary();
};
