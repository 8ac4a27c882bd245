#include "agent/AgentDriver.h"

#include <cstdio>

#include "agent/AgentSetup.h"
#include "host/HEventCenter.h"
#include "host/HFileLog.h"
#include "host/HFileUtil.h"
#include "host/HWinPCapHelper.h"

int AgentDriver::run(const std::vector<std::string>& args) {
  bool done = false;
  int code = prepare(args, done);
  if (code != EXIT_OK || done) return code;
  code = set_up_capture();
  if (code != EXIT_OK) return code;
  code = start_plugin();
  if (code != EXIT_OK) return code;
  wait_for_end();
  HWinPCapHelper::instance().stop();
  // The plug-in delivers the reports it still holds before they are counted.
  HEventCenter::ins().notify_stop();
  finish();
  log_info(__LINE__, std::string(psz_program) + " stopped");
  std::string damage = HWinPCapHelper::instance().replay_damage();
  return damage.empty() ? EXIT_OK : say_error(damage, EXIT_USAGE);
}

int AgentDriver::set_up_replay() {
  const AgentHost& host = config.host;
  AgentSetup::install_virtual_host(host);
  HWinPCapHelper& helper = HWinPCapHelper::instance();
  helper.set_replay(options.str_replay, options.d_speed, str_home + "/sent.pcap", options.d_linger_s);
  if (helper.check_source() != 0) return say_error(helper.last_error(), EXIT_USAGE);
  log_info(__LINE__, "replay " + options.str_replay + " as host " + host.str_main_ip + " " + host.str_main_mac);
  return EXIT_OK;
}

int AgentDriver::start_plugin() {
  std::string error;
  if (plugin.load(str_plugin, error) != 0) {
    log_failure(__LINE__, error);
    return say_error(error, EXIT_FAILURE_RUN);
  }
  log_info(__LINE__, "plug-in loaded: " + str_plugin);
  wchar_t name_buf[64] = {0};
  wchar_t name_buf2[64] = {0};
  int ret = plugin.p_init(name_buf, name_buf2, 0);
  name_buf[63] = name_buf2[63] = L'\0';
  log_info(__LINE__, "orvoInit ret " + std::to_string(ret) + ", name " + HFileUtil::utf8(HString(name_buf)));
  ret = plugin.p_init2();
  log_info(__LINE__, "orvoInit2 ret " + std::to_string(ret));
  HWinPCapHelper& helper = HWinPCapHelper::instance();
  if (!helper.is_started() && !helper.last_error().empty()) {
    log_failure(__LINE__, helper.last_error());
    return say_error("capture did not start: " + helper.last_error(), EXIT_FAILURE_RUN);
  }
  if (!helper.is_started()) log_info(__LINE__, "the plug-in did not start capture");
  return EXIT_OK;
}

int AgentDriver::say_error(const std::string& text, int code) const {
  std::fprintf(stderr, "%s: %s\n", psz_program, text.c_str());
  return code;
}

void AgentDriver::log_info(int line, const std::string& text) const {
  HFileLog::ins().log(HFileLog::get(2, pwsz_log_source, line) << HFileUtil::from_utf8(text));
}

void AgentDriver::log_failure(int line, const std::string& text) const {
  HFileLog::ins().log(HFileLog::get(1, pwsz_log_source, line) << HFileUtil::from_utf8(text));
}
