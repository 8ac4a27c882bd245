#include "agent/AgentOptions.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr double MAX_SECONDS = 30.0 * 24 * 3600;
constexpr double MAX_SPEED = 1e6;

// A plain decimal number (no hex, no inf/nan) within [low, high].
bool number_in(const std::string& text, double low, double high, double& out) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (end == nullptr || *end != '\0' || !std::isfinite(value) || value < low || value > high) return false;
  out = value;
  return true;
}

}  // namespace

const char* AgentOptions::usage() {
  return "usage: velmora-agent [--config FILE] [--home DIR] [--plugin FILE] [--iface NAME] "
         "[--replay FILE.pcap [--speed X|max] [--linger S]] [--run-for S]";
}

int AgentOptions::parse(const std::vector<std::string>& args, AgentOptions& out, std::string& error) {
  AgentOptions options;
  bool speed_given = false;
  bool linger_given = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool has_value = false;
    size_t equals = name.find('=');
    if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      has_value = true;
    }
    if (name == "--help" || name == "-h") {
      options.b_help = true;
      continue;
    }
    bool known = name == "--config" || name == "--home" || name == "--plugin" || name == "--iface" ||
                 name == "--replay" || name == "--speed" || name == "--linger" || name == "--run-for";
    if (!known) {
      error = "unknown option " + name;
      return -1;
    }
    if (!has_value) {
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return -1;
      }
      value = args[++i];
    }
    if (value.empty()) {
      error = name + " needs a value";
      return -1;
    }
    if (name == "--config") {
      options.str_config = value;
    } else if (name == "--home") {
      options.str_home = value;
    } else if (name == "--plugin") {
      options.str_plugin = value;
    } else if (name == "--iface") {
      options.str_iface = value;
    } else if (name == "--replay") {
      options.str_replay = value;
    } else if (name == "--speed") {
      speed_given = true;
      if (value == "max") {
        options.d_speed = 0;
      } else if (!number_in(value, 0, MAX_SPEED, options.d_speed) || options.d_speed <= 0) {
        error = "--speed takes a number above 0 or max, not " + value;
        return -1;
      }
    } else if (name == "--linger") {
      linger_given = true;
      if (!number_in(value, 0, MAX_SECONDS, options.d_linger_s)) {
        error = "--linger takes seconds (0 or more), not " + value;
        return -1;
      }
    } else if (!number_in(value, 0, MAX_SECONDS, options.d_run_for_s) || options.d_run_for_s <= 0) {
      error = "--run-for takes seconds above 0, not " + value;
      return -1;
    }
  }
  if ((speed_given || linger_given) && options.str_replay.empty()) {
    error = std::string(speed_given ? "--speed" : "--linger") + " needs --replay";
    return -1;
  }
  if (!options.str_replay.empty() && !options.str_iface.empty()) {
    error = "--iface and --replay exclude each other";
    return -1;
  }
  out = options;
  return 0;
}
