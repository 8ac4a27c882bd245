#include "agent/AgentState.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "host/HCoreJson.h"
#include "host/HFileUtil.h"
#include "host/HHomeDir.h"

namespace {

nlohmann::json counters_of(const AgentSummary& s) {
  const HCaptureStats& c = s.capture;
  return {{"frames_read", c.frames_read},
          {"frames_delivered", c.frames_delivered},
          {"frames_dropped", s.dropped()},
          {"frames_dropped_by_capture", c.frames_dropped},
          {"frames_dropped_by_guard_queue", c.frames_queue_dropped},
          {"frames_short", c.frames_short},
          {"frames_sent", c.frames_sent},
          {"report_blocks_accepted", s.ull_reports},
          {"alarms", s.ull_alarms},
          {"reports_suppressed", s.ull_reports_suppressed},
          {"alarm_lines_not_shown", s.ull_alarm_lines_not_shown},
          {"write_failures", s.ull_write_failures}};
}

}  // namespace

std::string AgentState::json_text(const HPluginView& view, const AgentSummary& summary) {
  HCoreJson::Stamp stamp = HCoreJson::stamp_now();
  nlohmann::json gateways = nlohmann::json::array();
  for (const HGatewayView& g : view.vt_gateways) {
    gateways.push_back({{"ip", g.str_ip}, {"learned_mac", g.str_learned_mac}, {"bound", g.b_static}});
  }
  nlohmann::json probes = nlohmann::json::array();
  for (const HProbeView& p : view.vt_probes) {
    if (p.str_kind == "arp") {
      probes.push_back({{"kind", "arp"}, {"ip", p.str_ip}, {"old_mac", p.str_old_mac}, {"new_mac", p.str_new_mac}});
    } else {
      probes.push_back(
          {{"kind", "dhcp"}, {"gateway", p.str_ip}, {"server_mac", p.str_old_mac}, {"client_mac", p.str_new_mac}});
    }
  }
  nlohmann::json state = {{"time", stamp.str_time}, {"host", stamp.str_host},  {"iface", stamp.str_iface},
                          {"gateways", gateways},   {"probes", probes},         {"counters", counters_of(summary)}};
  // Names of the system may hold any bytes: replaced, never a throw.
  return state.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

int AgentState::write(const std::string& home, const std::string& text, std::string& error) {
  const std::string path = home + "/state.json";
  const std::string tmp = path + ".tmp";
  int fd = HHomeDir::open_file(tmp, O_WRONLY | O_CREAT | O_TRUNC);
  bool ok = fd >= 0 && HFileUtil::write_all(fd, text.data(), text.size()) == 0 && ::fsync(fd) == 0;
  int failure = errno;
  if (fd >= 0) ::close(fd);
  if (ok && HHomeDir::rename_file(tmp, path) == 0) return 0;
  error = (ok ? path : tmp) + ": " + std::strerror(ok ? errno : failure);
  return -1;
}
