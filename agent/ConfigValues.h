#pragma once
// Typed reads of the agent's JSON config: each names the path of the value
// at fault ("host.adapters[1].gateways[0]: ..."), so that a bad config is
// refused with one message an administrator can act on.
#include <cstdint>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "host/HString.h"

namespace config_values {

using json = nlohmann::json;

// Raised inside the parser only; AgentConfig::parse() turns it into its
// error text.
struct ConfigFault {
  std::string text;
};

[[noreturn]] void fail(const std::string& path, const std::string& what);
std::string key_path(const std::string& parent, const std::string& key);
std::string index_path(const std::string& parent, size_t index);
// "a string", "an array", ...: what a value of the wrong type was.
const char* type_name(const json& value);

// Every key of `object` must be one of `known`.
void only_keys(const json& object, const std::string& path, const std::set<std::string>& known);
const json& member(const json& object, const std::string& path, const char* key);
const json& object_at(const json& value, const std::string& path);
const json& array_at(const json& value, const std::string& path);
std::string string_at(const json& value, const std::string& path);
HString wide_at(const json& value, const std::string& path);
bool bool_at(const json& value, const std::string& path);
int64_t integer_at(const json& value, const std::string& path, int64_t low, int64_t high);
int32_t int32_at(const json& value, const std::string& path);

bool is_ipv4(const std::string& text);
bool is_mac(const std::string& text);
std::string ipv4_at(const json& value, const std::string& path);
// The MAC in the form frames are rendered in (lower case, ":").
std::string mac_at(const json& value, const std::string& path);

// The text parsed, a key given twice in one object refused.
json parse_rejecting_duplicates(const std::string& text);
// "line L, column C: why" for a syntax error.
std::string syntax_error(const std::string& text, const json::parse_error& e);

}  // namespace config_values
