#include "agent/AgentLoop.h"

#include <algorithm>

namespace {

AgentLoop::Clock::duration duration_of(double seconds) {
  return std::chrono::duration_cast<AgentLoop::Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

AgentLoop::AgentLoop(Clock::time_point start, double run_for_s, int heartbeat_s, double linger_s)
    : tp_start(start),
      d_heartbeat(std::chrono::seconds(heartbeat_s)),
      d_linger(duration_of(linger_s)),
      tp_next_heartbeat(start + d_heartbeat) {
  if (run_for_s > 0) tp_deadline = start + duration_of(run_for_s);
}

bool AgentLoop::start_linger(bool replay_over, Clock::time_point now) {
  if (b_lingering || !replay_over) return false;
  b_lingering = true;
  tp_deadline = std::min(tp_deadline, now + d_linger);
  return true;
}

bool AgentLoop::heartbeat_due(Clock::time_point now) {
  if (now < tp_next_heartbeat) return false;
  tp_next_heartbeat += d_heartbeat;
  return true;
}

AgentLoop::Clock::duration AgentLoop::next_wait(Clock::time_point now, Clock::duration most) const {
  Clock::duration wait = std::min<Clock::duration>({most, tp_deadline - now, tp_next_heartbeat - now});
  return std::max<Clock::duration>(wait, Clock::duration::zero());
}

double AgentLoop::seconds(Clock::time_point now) const { return std::chrono::duration<double>(now - tp_start).count(); }
