// Programs for events are not started on Windows: the host agent there
// has its own ways to hand alarms on. A start says so, and the runner logs
// it as a failed run.
#include "host/HChildProcess.h"

HChildProcess::~HChildProcess() = default;

int HChildProcess::start(const std::string& /*program*/, const std::string& /*input*/, std::string& error) {
  error = "alarm commands are not run on Windows";
  return -1;
}

bool HChildProcess::poll(std::string& outcome) {
  outcome.clear();
  return true;
}

void HChildProcess::kill_and_reap() { l_pid = 0; }
