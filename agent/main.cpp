#include <cstdio>
#include <unistd.h>

#include "agent/VelmoraAgent.h"

int main(int argc, char** argv) {
  // Static, so that nothing of the agent is destroyed under the plug-in's
  // threads; they never stop, so the process leaves with _exit().
  static VelmoraAgent agent;
  int code = agent.run(argc, argv);
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(code);
}
