#include "agent/AgentOptions.h"

#include <cmath>
#include <cstdlib>
#include <set>

namespace {

constexpr double MAX_SECONDS = 30.0 * 24 * 3600;
constexpr double MAX_SPEED = 1e6;

struct OptionInfo {
  const char* name;
  const char* value;  // nullptr: a switch
  const char* meaning;
};

// Every option, in the order --help shows them; "{config}", "{home}" and
// "{plugin}" stand for the defaults.
const OptionInfo OPTIONS[] = {
    {"--config", "FILE", "the agent's config (default: {config})"},
    {"--home", "DIR", "the agent's home: log/, core/, arc_file/ (default: {home})"},
    {"--plugin", "FILE", "the plug-in module (default: {plugin})"},
    {"--iface", "NAME", "live capture interface (default: the interface of the IPv4 default route)"},
    {"--replay", "FILE.pcap", "frames from an Ethernet capture file (-: standard input) as the config's host"},
    {"--speed", "X|max", "replay pace: time stamps divided by X; max: as fast as possible (default: 1)"},
    {"--linger", "S", "seconds to stay after the last replayed frame (default: 5)"},
    {"--run-for", "S", "stop after S seconds (default: run until stopped)"},
    {"--check-config", nullptr, "check the config, print it in full as JSON; exit 0 when valid, 2 when not"},
    {"--version", nullptr, "print the agent's version and libpcap's"},
    {"--help", nullptr, "print this help (also -h)"},
};

const char* const CONFIG_SECTIONS =
    "config sections (velmora-agent(8) describes every key):\n"
    "  policy    the policy records of the data center, in order (the first one counts)\n"
    "  agent     name, online, state, auth_802, core_accepts, heartbeat_s, syslog,\n"
    "            alarm_command, alarm_command_timeout_ms\n"
    "  language  overrides of the localised texts by number\n"
    "  host      the virtual host of a replay: main_ip, main_mac, adapters, arp_table,\n"
    "            ipv6_routers\n"
    "  guard     neighbour_watch, repair_cache, dhcp_servers, ipv6, ipv6_routers,\n"
    "            ipv6_remove_rogue_routes, dhcp6_servers\n";

const OptionInfo* find_option(const std::string& name) {
  for (const OptionInfo& option : OPTIONS) {
    if (name == option.name) return &option;
  }
  return name == "-h" ? find_option("--help") : nullptr;
}

void replace_all(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// A plain decimal number (no hex, no inf/nan) within [low, high].
bool number_in(const std::string& text, double low, double high, double& out) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (end == nullptr || *end != '\0' || !std::isfinite(value) || value < low || value > high) return false;
  out = value;
  return true;
}

// The value of one option into `options`; -1 with `error` when it is bad.
int take_value(const std::string& name, const std::string& value, AgentOptions& options, std::string& error) {
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
    if (value == "max") {
      options.d_speed = 0;
    } else if (!number_in(value, 0, MAX_SPEED, options.d_speed) || options.d_speed <= 0) {
      error = "--speed takes a number above 0 or max, not " + value;
      return -1;
    }
  } else if (name == "--linger") {
    if (!number_in(value, 0, MAX_SECONDS, options.d_linger_s)) {
      error = "--linger takes seconds (0 or more), not " + value;
      return -1;
    }
  } else if (!number_in(value, 0, MAX_SECONDS, options.d_run_for_s) || options.d_run_for_s <= 0) {
    error = "--run-for takes seconds above 0, not " + value;
    return -1;
  }
  return 0;
}

void take_switch(const std::string& name, AgentOptions& options) {
  if (name == "--help") options.b_help = true;
  if (name == "--version") options.b_version = true;
  if (name == "--check-config") options.b_check_config = true;
}

}  // namespace

const char* AgentOptions::usage() {
  return "usage: velmora-agent [--config FILE] [--home DIR] [--plugin FILE] [--iface NAME] "
         "[--replay FILE.pcap [--speed X|max] [--linger S]] [--run-for S] [--check-config] [--version] [--help]";
}

std::string AgentOptions::help(const AgentPaths& defaults) {
  std::string text = std::string(usage()) + "\n\noptions:\n";
  for (const OptionInfo& option : OPTIONS) {
    std::string left = std::string(option.name) + (option.value ? std::string(" ") + option.value : "");
    text += "  " + left + std::string(left.size() < 20 ? 20 - left.size() : 1, ' ') + option.meaning + "\n";
  }
  replace_all(text, "{config}", defaults.str_config.empty() ? "the embedded default" : defaults.str_config);
  replace_all(text, "{home}", defaults.str_home);
  replace_all(text, "{plugin}", defaults.str_plugin);
  return text + "\n" + CONFIG_SECTIONS;
}

int AgentOptions::parse(const std::vector<std::string>& args, AgentOptions& out, std::string& error) {
  AgentOptions options;
  std::set<std::string> given;
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
    const OptionInfo* option = find_option(name);
    if (option == nullptr) {
      error = "unknown option " + name;
      return -1;
    }
    if (!given.insert(option->name).second) {
      error = std::string(option->name) + " given twice";
      return -1;
    }
    if (option->value == nullptr) {
      if (has_value) {
        error = std::string(option->name) + " takes no value";
        return -1;
      }
      take_switch(option->name, options);
      continue;
    }
    if (!has_value && i + 1 < args.size()) {
      value = args[++i];
      // "--replay --home x" would otherwise replay a file named --home.
      if (value.rfind("--", 0) == 0) {
        error = name + " needs " + option->value + ", not the option " + value;
        return -1;
      }
    }
    if (value.empty()) {
      error = name + " needs a value";
      return -1;
    }
    if (take_value(name, value, options, error) != 0) return -1;
  }
  bool speed_given = given.count("--speed") != 0;
  if ((speed_given || given.count("--linger") != 0) && options.str_replay.empty()) {
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
