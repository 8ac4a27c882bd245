#include "agent/AgentSummary.h"

#include <algorithm>
#include <cstdio>

namespace {

unsigned long long ull(uint64_t value) { return static_cast<unsigned long long>(value); }

// Frames that reached the plug-in but that the host ignores, by reason.
std::string not_judged(const HCaptureStats& c) {
  return "malformed DHCP/IPv4 " + std::to_string(c.frames_bad_dhcp) + ", not DHCP " +
         std::to_string(c.frames_not_dhcp) + ", bad ARP header " + std::to_string(c.frames_bad_arp) +
         ", malformed IPv6 " + std::to_string(c.frames_bad_ipv6) + ", other VLAN " + std::to_string(c.frames_other_vlan);
}

}  // namespace

double AgentSummary::rate() const {
  return capture.seconds > 0 ? static_cast<double>(capture.frames_delivered) / capture.seconds : 0.0;
}

uint64_t AgentSummary::dropped() const { return capture.frames_dropped + capture.frames_queue_dropped; }

std::string AgentSummary::text() const {
  char out[2048];
  int n = std::snprintf(out, sizeof(out),
                        "velmora-agent summary: ran %.1f s\n"
                        "  frames read:                     %llu\n"
                        "  frames through the callbacks:    %llu (%.1f per second over %.3f s of capture)\n"
                        "  frames dropped:                  %llu (capture %llu, guard queue %llu)\n"
                        "  frames too short (dropped):      %llu\n"
                        "  frames not judged:               %s\n"
                        "  claims not judged at stop:       %llu (still queued for the guard)\n"
                        "  frames sent by the plug-in:      %llu\n"
                        "  reports suppressed:              %llu (repeats, floods)\n"
                        "  alarm lines not shown:           %llu (standard output did not keep up)\n"
                        "  core: report blocks accepted %llu, alarms %llu\n",
                        d_wall_seconds, ull(capture.frames_read), ull(capture.frames_delivered), rate(),
                        capture.seconds, ull(dropped()), ull(capture.frames_dropped),
                        ull(capture.frames_queue_dropped), ull(capture.frames_short), not_judged(capture).c_str(),
                        ull(capture.claims_not_judged_at_stop), ull(capture.frames_sent), ull(ull_reports_suppressed),
                        ull(ull_alarm_lines_not_shown),
                        ull(ull_reports), ull(ull_alarms));
  std::string text = n > 0 ? std::string(out, std::min(static_cast<size_t>(n), sizeof(out) - 1)) : std::string();
  if (!str_replay_damage.empty()) text += "  replay ended early:              " + str_replay_damage + "\n";
  if (ull_write_failures > 0) text += "  " + write_failures() + "\n";
  return text;
}

std::string AgentSummary::write_failures() const {
  return "write failures: " + std::to_string(ull_write_failures) + " (first: " + str_first_write_failure + ")";
}

std::string AgentSummary::log_line() const {
  return "frames read " + std::to_string(capture.frames_read) + ", delivered " +
         std::to_string(capture.frames_delivered) + ", per second " + std::to_string(static_cast<uint64_t>(rate())) +
         ", dropped " + std::to_string(capture.frames_dropped) + ", dropped by the guard queue " +
         std::to_string(capture.frames_queue_dropped) + ", short " + std::to_string(capture.frames_short) +
         ", sent " + std::to_string(capture.frames_sent) + ", core reports " + std::to_string(ull_reports) +
         ", alarms " + std::to_string(ull_alarms) + ", reports suppressed " + std::to_string(ull_reports_suppressed) +
         ", alarm lines not shown " + std::to_string(ull_alarm_lines_not_shown) + ", not judged: " +
         not_judged(capture) + ", claims not judged at stop " + std::to_string(capture.claims_not_judged_at_stop) +
         (str_replay_damage.empty() ? "" : ", replay ended early: " + str_replay_damage) +
         (ull_write_failures > 0 ? ", " + write_failures() : std::string());
}
