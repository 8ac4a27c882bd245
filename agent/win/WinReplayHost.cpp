#include "agent/win/WinReplayHost.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "agent/AgentLoop.h"
#include "agent/win/WinProgram.h"
#include "agent/AgentSetup.h"
#include "host/HConsoleWriter.h"
#include "host/HEnvironment.h"
#include "host/HFileLog.h"
#include "host/HFileUtil.h"
#include "host/HWinPCapHelper.h"
#include "platform/WinTime.h"
#include "platform/WinUser.h"

namespace {

constexpr DWORD POLL_MS = 200;
using Clock = std::chrono::steady_clock;

}  // namespace

int WinReplayHost::prepare(const std::vector<std::string>& args, bool& done) {
  std::string error;
  if (AgentOptions::parse(args, options, error) != 0) return say_error(error, EXIT_USAGE);
  done = options.b_help;
  if (options.b_help) {
    std::printf("usage: tidewell-host --replay FILE.pcap --config FILE [--home DIR] [--plugin Tidewell.dll] "
                "[--speed X|max] [--linger S] [--run-for S]\n");
    return EXIT_OK;
  }
  if (options.str_replay.empty()) {
    return say_error("live capture needs a capture driver, which this host does not load: --replay FILE.pcap",
                     EXIT_USAGE);
  }
  if (options.str_config.empty()) {
    config = AgentConfig::embedded_default();
  } else if (AgentConfig::load(options.str_config, config, error) != 0) {
    return say_error(error, EXIT_USAGE);
  }
  if (!config.b_has_host) return say_error(options.str_config + ": host: missing, --replay needs the virtual host", EXIT_USAGE);
  // A replay tells its user on standard output; real windows only on request.
  platform::set_windows_headless(std::getenv("TIDEWELL_SHOW_WINDOWS") == nullptr);
  int code = set_up_home();
  if (code != EXIT_OK) return code;
  AgentSetup::apply_config(config);
  return EXIT_OK;
}

int WinReplayHost::set_up_home() {
  std::string exe_folder = program_folder_utf8();
  str_plugin = options.str_plugin.empty() ? exe_folder + "/Tidewell.dll" : options.str_plugin;
  str_home = HFileUtil::native_path(HFileUtil::from_utf8(options.str_home.empty() ? exe_folder : options.str_home));
  if (HFileUtil::make_dirs(str_home) != 0) return say_error("cannot create home folder " + str_home, EXIT_USAGE);
  // The core's records go to HOME/core, the data center's default.
  HEnvironment::set_home(HFileUtil::from_utf8(str_home));
  log_info(__LINE__, "tidewell-host starting, home " + str_home + ", config " + options.str_config);
  return EXIT_OK;
}

void WinReplayHost::wait_for_end() {
  HWinPCapHelper& helper = HWinPCapHelper::instance();
  AgentLoop loop(Clock::now(), options.d_run_for_s, config.i_heartbeat_s, options.d_linger_s);
  for (;;) {
    Clock::time_point now = Clock::now();
    if (!loop.lingering() && loop.start_linger(helper.replay_done() || !helper.is_started(), now)) {
      log_info(__LINE__, "replay finished, lingering " + std::to_string(options.d_linger_s) + " s");
    }
    if (loop.ended(now)) break;
    if (loop.heartbeat_due(now)) plugin.p_heartbeat();
    Sleep(POLL_MS);
  }
  d_wall_seconds = loop.seconds(Clock::now());
}

void WinReplayHost::finish() {
  HConsoleWriter::ins().flush(std::chrono::seconds(2));
  print_summary();
}

void WinReplayHost::print_summary() {
  HCaptureStats stats = HWinPCapHelper::instance().stats();
  std::string core = str_home + "/core";
  char text[768];
  std::snprintf(text, sizeof(text),
                "tidewell-host summary: ran %.1f s\n"
                "  frames read:                     %llu\n"
                "  frames through the callbacks:    %llu\n"
                "  frames too short (dropped):      %llu\n"
                "  frames sent by the plug-in:      %llu\n"
                "  core: report blocks accepted %llu, alarms %llu\n",
                d_wall_seconds, static_cast<unsigned long long>(stats.frames_read),
                static_cast<unsigned long long>(stats.frames_delivered),
                static_cast<unsigned long long>(stats.frames_short), static_cast<unsigned long long>(stats.frames_sent),
                static_cast<unsigned long long>(AgentSetup::count_lines(core + "/reports.jsonl")),
                static_cast<unsigned long long>(AgentSetup::count_lines(core + "/alarms.jsonl")));
  std::fputs(text, stdout);
  std::fflush(stdout);
}
