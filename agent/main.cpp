#include <cstdio>
#include <unistd.h>

#include "agent/VelmoraAgent.h"
#include "host/HFileLog.h"

int main(int argc, char** argv) {
  // Static, so that nothing of the agent is destroyed under the plug-in's
  // threads; they never stop, so the process leaves with _exit().
  static VelmoraAgent agent;
  int code = agent.run(argc, argv);
  // Lines that a batch of frames gathered must not stay behind.
  HFileLog::flush_all();
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(code);
}
