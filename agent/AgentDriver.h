#pragma once
// What velmora-agent and the Windows host program share in driving the
// plug-in: the order of the steps, a replay's capture, and the plug-in's
// start and stop. Each program brings its own options, home and main loop.
// No system call of its own: both builds compile it.
#include <string>
#include <vector>

#include "agent/AgentConfig.h"
#include "agent/AgentOptions.h"
#include "agent/PluginModule.h"

class AgentDriver {
 public:
  enum { EXIT_OK = 0, EXIT_FAILURE_RUN = 1, EXIT_USAGE = 2 };

  virtual ~AgentDriver() = default;
  AgentDriver(const AgentDriver&) = delete;
  AgentDriver& operator=(const AgentDriver&) = delete;

  // The exit code. Once the plug-in runs, the caller must end the process
  // without destroying the program: the plug-in's threads never stop.
  int run(const std::vector<std::string>& args);

 protected:
  AgentDriver(const char* program, const wchar_t* log_source) : psz_program(program), pwsz_log_source(log_source) {}

  // The options, the config and the home. `done`: the command line asked
  // only for text (the usage, the version), which has been printed.
  virtual int prepare(const std::vector<std::string>& args, bool& done) = 0;
  // A replay's capture unless the program captures live as well.
  virtual int set_up_capture() { return set_up_replay(); }
  // Until a signal, --run-for, or the end of a replay and its linger.
  virtual void wait_for_end() = 0;
  // After capture has stopped and the plug-in has delivered what it held.
  virtual void finish() = 0;

  // A replay's capture: the config's virtual host and the file.
  int set_up_replay();
  // One line on standard error for the user; returns `code`.
  int say_error(const std::string& text, int code) const;
  void log_info(int line, const std::string& text) const;
  void log_failure(int line, const std::string& text) const;

  AgentOptions options;
  AgentConfig config;
  PluginModule plugin;
  std::string str_home;
  std::string str_plugin;  // the plug-in's path, set by prepare()
  double d_wall_seconds = 0;

 private:
  int start_plugin();

  const char* psz_program;
  const wchar_t* pwsz_log_source;
};
