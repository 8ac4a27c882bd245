#pragma once
// The pace of the main loop of the agent and of the Windows host program:
// the plug-in's heartbeat, the --run-for deadline and the linger once a
// replay is over. Times are passed in, so that a test can drive it.
#include <chrono>

class AgentLoop {
 public:
  using Clock = std::chrono::steady_clock;

  // run_for_s 0: no deadline but the linger.
  AgentLoop(Clock::time_point start, double run_for_s, int heartbeat_s, double linger_s);

  // Starts the linger when the replay is over: true the one time it does.
  bool start_linger(bool replay_over, Clock::time_point now);
  bool lingering() const { return b_lingering; }
  bool ended(Clock::time_point now) const { return now >= tp_deadline; }
  // Whether the heartbeat is due at `now`; when it is, the next one is set.
  bool heartbeat_due(Clock::time_point now);
  // How long the loop may wait before its next round: `most` at the most,
  // never past the deadline or the next heartbeat, never below zero.
  Clock::duration next_wait(Clock::time_point now, Clock::duration most) const;
  double seconds(Clock::time_point now) const;

 private:
  Clock::time_point tp_start;
  Clock::duration d_heartbeat;
  Clock::duration d_linger;
  Clock::time_point tp_next_heartbeat;
  Clock::time_point tp_deadline = Clock::time_point::max();
  bool b_lingering = false;
};
