#include "agent/VelmoraAgent.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

#include "agent/AgentLoop.h"
#include "agent/AgentSetup.h"
#include "agent/AgentState.h"
#include "agent/AgentSummary.h"
#include "agent/DefaultRoute.h"
#include "host/HConsoleWriter.h"
#include "host/HCoreEvents.h"
#include "host/HDataCenter.h"
#include "host/HEnvironment.h"
#include "host/HEventCenter.h"
#include "host/HFileLog.h"
#include "host/HFileUtil.h"
#include "host/HHomeDir.h"
#include "host/HPrivileges.h"
#include "host/HSysInfoMgr.h"
#include "host/HWinPCapHelper.h"
#include "platform/Utf8.h"
#include "platform/WinUser.h"

namespace {

constexpr auto MAX_WAIT = std::chrono::milliseconds(200);
// How long the stop waits for standard output, twice: SIGTERM must end the
// agent within a second even when nobody reads it.
constexpr auto SUMMARY_WAIT = std::chrono::milliseconds(150);
constexpr auto EVENTS_WAIT = std::chrono::milliseconds(100);
using Clock = std::chrono::steady_clock;

std::string exe_folder() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return ".";
  std::string folder = HFileUtil::dir_name(std::string(buf, static_cast<size_t>(n)));
  return folder.empty() ? "." : folder;
}

std::string absolute(const std::string& path) {
  char buf[PATH_MAX];
  if (::realpath(path.c_str(), buf) != nullptr) return buf;
  return path;
}

// The folders of the home that the agent and the plug-in write to.
const char* const HOME_FOLDERS[] = {"", "log", "core", "arc_file"};
// The files that they write there: a link or a special file in their place
// is refused before anything is opened.
const char* const HOME_FILES[] = {"log/Velmora.log", "log/Velmora.log.1", "log/Attack.log", "log/Attack.log.1",
                                  "core/reports.jsonl", "core/alarms.jsonl", "arc_file/his_arp_attack",
                                  "arc_file/his_arp_attack.tmp", "sent.pcap", "state.json",
                                  "state.json.tmp"};

// Why the home cannot be used ("" when it can): the agent runs as root, so a
// home that others can write to, or links in it, would let them have it
// write over any file; a home that takes no file would lose every log line,
// report and archive in silence.
std::string home_problem() {
  std::string problem;
  for (const char* folder : HOME_FOLDERS) {
    if (problem.empty()) problem = HHomeDir::check_folder(folder);
  }
  if (problem.empty()) problem = HHomeDir::lock_home();
  for (const char* file : HOME_FILES) {
    if (problem.empty()) problem = HHomeDir::check_file(file);
  }
  return problem;
}

}  // namespace

void VelmoraAgent::finish() {
  // The window alarms' lines and the system log's lines still queued go
  // out before the summary counts the alarms (bounded: a stuck system log
  // must not hold the stop).
  HCoreEvents::ins().flush(EVENTS_WAIT);
  print_summary();
  write_state();
}

int VelmoraAgent::prepare(const std::vector<std::string>& args, bool& done) {
  std::string error;
  if (AgentOptions::parse(args, options, error) != 0) {
    return say_error(error + " (velmora-agent --help shows the usage)", EXIT_USAGE);
  }
  defaults = AgentPaths::defaults_for(exe_folder());
  done = options.b_help || options.b_version || options.b_check_config;
  if (options.b_help) {
    std::printf("%s", AgentOptions::help(defaults).c_str());
    return EXIT_OK;
  }
  if (options.b_version) {
    std::printf("velmora-agent %s\n%s\n", TIDEWELL_VERSION, HWinPCapHelper::library_version().c_str());
    return EXIT_OK;
  }
  if (options.str_config.empty()) options.str_config = defaults.str_config;
  str_plugin = options.str_plugin.empty() ? defaults.str_plugin : options.str_plugin;
  if (options.str_config.empty()) {
    config = AgentConfig::embedded_default();
  } else if (AgentConfig::load(options.str_config, config, error) != 0) {
    return say_error(error, EXIT_USAGE);
  }
  if (!options.str_replay.empty() && !config.b_has_host) {
    std::string origin = options.str_config.empty() ? "the embedded default config" : options.str_config;
    return say_error(origin + ": host: missing, --replay needs the virtual host", EXIT_USAGE);
  }
  if (options.b_check_config) return check_config();
  // The home is checked while SIGINT and SIGTERM still end the agent: a
  // check that hangs must not make it unstoppable.
  int code = set_up_home();
  if (code != EXIT_OK) return code;
  // Signals are taken by the main loop only: blocked here, before any thread
  // exists, so that every thread inherits the mask.
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGHUP);
  sigaddset(&stop_signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  // What the alarm window shows goes the alarms' way to standard output.
  platform::set_window_echo_sink(
      [](const std::wstring& line) { HConsoleWriter::ins().write(platform::wide_to_utf8(line) + "\n"); });
  apply_config();
  warn_at_start();
  return EXIT_OK;
}

// The config as the agent would run it, for a unit's ExecStartPre= and for
// the administrator: its warnings on standard error, the whole on standard
// output.
int VelmoraAgent::check_config() {
  for (const std::string& warning : config.warnings()) {
    std::fprintf(stderr, "velmora-agent: warning: %s\n", warning.c_str());
  }
  std::printf("%s\n", config.to_json().c_str());
  return EXIT_OK;
}

// What would silently keep the policy from working: values without meaning,
// a bind list without a usable pair, and binding without the right to
// change the ARP table (a replay binds in its own table).
void VelmoraAgent::warn_at_start() {
  std::vector<std::string> warnings = config.warnings();
  bool binds = !config.vt_policy.empty() && config.vt_policy[0].iAntiARPSpoofing == 2;
  if (binds && options.str_replay.empty() && !HPrivileges::can_change_arp_table()) {
    warnings.push_back(std::string("the agent lacks ") + HPrivileges::arp_table_right() +
                       ": iAntiARPSpoofing 2 cannot bind gateways in the ARP table; bindings will be reported as failed");
  }
  for (const std::string& warning : warnings) {
    std::fprintf(stderr, "velmora-agent: warning: %s\n", warning.c_str());
    log_failure(__LINE__, "warning: " + warning);
  }
}

int VelmoraAgent::set_up_home() {
  std::string home = options.str_home.empty() ? defaults.str_home : options.str_home;
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  struct stat info {};
  if (::lstat(home.c_str(), &info) != 0) {
    std::string parent = HFileUtil::dir_name(home);
    if ((!parent.empty() && HFileUtil::make_dirs(parent) != 0) || ::mkdir(home.c_str(), 0700) != 0) {
      return say_error("cannot create home folder " + home, EXIT_USAGE);
    }
  }
  // The home's own path, its link refused rather than resolved.
  str_home = S_ISLNK(info.st_mode) ? home : absolute(home);
  std::string problem = HHomeDir::open_home(str_home);
  if (problem.empty()) problem = home_problem();
  if (!problem.empty()) return say_error("home " + str_home + " refused: " + problem, EXIT_USAGE);
  HEnvironment::set_home(HFileUtil::from_utf8(str_home));
  std::string core = str_home + "/core";
  HDataCenter::set_core_dir(HFileUtil::from_utf8(core));
  ull_reports_at_start = AgentSetup::count_lines(core + "/reports.jsonl");
  ull_alarms_at_start = AgentSetup::count_lines(core + "/alarms.jsonl");
  log_info(__LINE__, "velmora-agent starting, home " + str_home + ", config " +
                         (options.str_config.empty() ? std::string("embedded default") : options.str_config));
  return EXIT_OK;
}

void VelmoraAgent::apply_config() {
  AgentSetup::apply_config(config);
  log_info(__LINE__, "policies " + std::to_string(config.vt_policy.size()) + ", online " +
                         std::to_string(config.b_online) + ", state " + std::to_string(config.i_state) +
                         ", 802.1X " + std::to_string(config.b_auth_802) + ", core accepts " +
                         std::to_string(config.b_core_accepts));
}

int VelmoraAgent::set_up_capture() {
  if (!options.str_replay.empty()) return set_up_replay();
  HWinPCapHelper& helper = HWinPCapHelper::instance();
  std::string iface = options.str_iface.empty() ? DefaultRoute::interface_name() : options.str_iface;
  if (iface.empty()) return say_error("no IPv4 default route: name the interface with --iface", EXIT_FAILURE_RUN);
  HSysInfoMgr::ins().set_interface(HFileUtil::from_utf8(iface));
  helper.set_live(iface);
  if (helper.check_source() != 0) {
    log_failure(__LINE__, helper.last_error());
    return say_error(helper.last_error(), EXIT_FAILURE_RUN);
  }
  log_info(__LINE__, "live capture on " + iface);
  return EXIT_OK;
}

void VelmoraAgent::wait_for_end() {
  HWinPCapHelper& helper = HWinPCapHelper::instance();
  const bool replay = !options.str_replay.empty();
  AgentLoop loop(Clock::now(), options.d_run_for_s, config.i_heartbeat_s, options.d_linger_s);
  for (;;) {
    Clock::time_point now = Clock::now();
    if (replay && !loop.lingering() && loop.start_linger(helper.replay_done() || !helper.is_started(), now)) {
      log_info(__LINE__, "replay finished, lingering " + std::to_string(options.d_linger_s) + " s");
    }
    if (loop.ended(now)) {
      log_info(__LINE__, loop.lingering() ? "linger over" : "--run-for elapsed");
      break;
    }
    if (loop.heartbeat_due(now)) plugin.p_heartbeat();
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(loop.next_wait(now, MAX_WAIT));
    timespec timeout{static_cast<time_t>(ns.count() / 1000000000), static_cast<long>(ns.count() % 1000000000)};
    int caught = sigtimedwait(&stop_signals, nullptr, &timeout);
    if (caught == SIGUSR1) {
      write_state();
      continue;
    }
    if (caught == SIGHUP) {
      // Log rotation: the files renamed away are followed by new ones.
      HFileLog::reopen_all();
      log_info(__LINE__, "SIGHUP: log files reopened");
      continue;
    }
    if (caught == SIGINT || caught == SIGTERM) {
      log_info(__LINE__, std::string("stopped by ") + (caught == SIGINT ? "SIGINT" : "SIGTERM"));
      break;
    }
  }
  d_wall_seconds = loop.seconds(Clock::now());
}

AgentSummary VelmoraAgent::summary_so_far() {
  AgentSummary summary;
  summary.capture = HWinPCapHelper::instance().stats();
  std::string core = str_home + "/core";
  uint64_t reports = AgentSetup::count_lines(core + "/reports.jsonl");
  uint64_t alarms = AgentSetup::count_lines(core + "/alarms.jsonl");
  summary.ull_reports = reports >= ull_reports_at_start ? reports - ull_reports_at_start : reports;
  summary.ull_alarms = alarms >= ull_alarms_at_start ? alarms - ull_alarms_at_start : alarms;
  summary.d_wall_seconds = d_wall_seconds;
  summary.ull_reports_suppressed = HDataCenter::suppressed_reports();
  summary.str_replay_damage = HWinPCapHelper::instance().replay_damage();
  summary.ull_write_failures = HHomeDir::failures(summary.str_first_write_failure);
  summary.ull_alarm_lines_not_shown = HConsoleWriter::ins().dropped();
  return summary;
}

// The signal only woke the main loop: the file is written here, on the
// main thread, never in a handler.
void VelmoraAgent::write_state() {
  HPluginView view;
  HEventCenter::ins().plugin_view(view);
  std::string error;
  if (AgentState::write(str_home, AgentState::json_text(view, summary_so_far()), error) == 0) {
    log_info(__LINE__, "state written to " + str_home + "/state.json");
  } else {
    log_failure(__LINE__, "cannot write the state: " + error);
  }
}

void VelmoraAgent::print_summary() {
  AgentSummary summary = summary_so_far();
  // The lines still queued for standard output go before the summary, which
  // takes the same way: a standard output that blocks cannot hold the stop.
  HConsoleWriter& console = HConsoleWriter::ins();
  console.flush(SUMMARY_WAIT);
  summary.ull_alarm_lines_not_shown = console.dropped();
  console.write(summary.text());
  if (!console.flush(SUMMARY_WAIT)) log_info(__LINE__, "standard output blocks: the summary may not be shown");
  log_info(__LINE__, summary.log_line());
  if (summary.ull_write_failures > 0) say_error(summary.write_failures(), EXIT_OK);
}
