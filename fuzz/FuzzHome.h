#pragma once
// The agent's home for a fuzz target: the tests' home (a private folder made
// the home and the core's folder, removed when the process ends), with
// alarm windows headless and the agent's standard output (alarm echoes)
// silenced. scripts/fuzz.sh puts it in /dev/shm, so that the store's fsyncs
// cost nothing.
#include <string>

#include "tests/support/TestHome.h"

class FuzzHome {
 public:
  // The one home of this process, made on first use.
  static FuzzHome& ins();

  std::string file(const std::string& relative) const { return home.file(relative); }
  // Empties the core's files every so many calls, so that a long run does
  // not fill the disk with accepted reports and alarms.
  void trim_core(unsigned every);

 private:
  FuzzHome();
  tidewell_test::TestHome home{"tidewell-fuzz"};
  unsigned u_calls = 0;
};
