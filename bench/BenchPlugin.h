#pragma once
// The plug-in started in-process for the micro-benchmarks, as the agent
// starts it for a replay: a scratch home, the benchmark segment's guarded
// host as the virtual host, its gateway in an in-memory ARP table, one policy
// (mode 1 or 2, DHCP protection on), orvoInit. Capture is not started; the
// benchmarks hand frames to the callbacks themselves. The home is removed by
// the destructor; the plug-in's objects live until the process ends.
#include <string>

#include "bench/BenchSegment.h"

class BenchPlugin {
 public:
  BenchPlugin(const BenchSegment& segment, int mode);
  ~BenchPlugin();
  BenchPlugin(const BenchPlugin&) = delete;
  BenchPlugin& operator=(const BenchPlugin&) = delete;

  const std::string& home() const { return str_home; }

 private:
  std::string str_home;
};
