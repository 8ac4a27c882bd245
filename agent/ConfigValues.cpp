#include "agent/ConfigValues.h"

#include <algorithm>
#include <limits>

#include "host/HFileUtil.h"
#include "wire/HIpv4Text.h"
#include "wire/HMacText.h"

namespace config_values {

void fail(const std::string& path, const std::string& what) { throw ConfigFault{path + ": " + what}; }

std::string key_path(const std::string& parent, const std::string& key) {
  return parent.empty() ? key : parent + "." + key;
}

std::string index_path(const std::string& parent, size_t index) {
  return parent + "[" + std::to_string(index) + "]";
}

const char* type_name(const json& value) {
  switch (value.type()) {
    case json::value_t::null: return "null";
    case json::value_t::boolean: return "a boolean";
    case json::value_t::string: return "a string";
    case json::value_t::array: return "an array";
    case json::value_t::object: return "an object";
    case json::value_t::number_float: return "a fractional number";
    default: return "a number";
  }
}

void require(bool ok, const json& value, const std::string& path, const char* expected) {
  if (!ok) fail(path, std::string("expected ") + expected + ", got " + type_name(value));
}

// Every key of `object` must be one of `known`.
void only_keys(const json& object, const std::string& path, const std::set<std::string>& known) {
  for (auto it = object.begin(); it != object.end(); ++it) {
    if (known.count(it.key()) == 0) fail(key_path(path, it.key()), "unknown key");
  }
}

const json& object_at(const json& value, const std::string& path) {
  require(value.is_object(), value, path, "an object");
  return value;
}

const json& array_at(const json& value, const std::string& path) {
  require(value.is_array(), value, path, "an array");
  return value;
}

std::string string_at(const json& value, const std::string& path) {
  require(value.is_string(), value, path, "a string");
  return value.get<std::string>();
}

bool bool_at(const json& value, const std::string& path) {
  require(value.is_boolean(), value, path, "a boolean");
  return value.get<bool>();
}

int64_t integer_at(const json& value, const std::string& path, int64_t low, int64_t high) {
  require(value.is_number_integer(), value, path, "an integer");
  if (value.is_number_unsigned() && value.get<uint64_t>() > static_cast<uint64_t>(high)) {
    fail(path, "out of range " + std::to_string(low) + ".." + std::to_string(high));
  }
  int64_t number = value.get<int64_t>();
  if (number < low || number > high) fail(path, "out of range " + std::to_string(low) + ".." + std::to_string(high));
  return number;
}

int32_t int32_at(const json& value, const std::string& path) {
  return static_cast<int32_t>(
      integer_at(value, path, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Four numbers 0..255 joined by dots, without leading zeros: the plug-in
// compares addresses as text in exactly this form, so "10.0.0.01" would
// never match anything.
bool is_ipv4(const std::string& text) {
  uint32_t address = 0;
  return HIpv4Text::parse(text, address);
}

std::string ipv4_at(const json& value, const std::string& path) {
  std::string text = string_at(value, path);
  if (!is_ipv4(text)) fail(path, "not a dotted IPv4 address (0..255 without leading zeros): \"" + text + "\"");
  return text;
}

bool is_mac(const std::string& text) {
  unsigned char bytes[6];
  return HMacText::parse(text, bytes);
}

// Six two-digit hex groups, ":" or "-" separated; given back in the form
// that frames are rendered in (lower case, ":"), since MACs compare as text.
std::string mac_at(const json& value, const std::string& path) {
  std::string text = string_at(value, path);
  unsigned char bytes[6];
  if (!HMacText::parse(text, bytes)) fail(path, "not a MAC address (aa:bb:cc:dd:ee:ff): \"" + text + "\"");
  return HMacText::text(bytes);
}

HString wide_at(const json& value, const std::string& path) { return HFileUtil::from_utf8(string_at(value, path)); }

const json& member(const json& object, const std::string& path, const char* key) {
  if (!object.contains(key)) fail(key_path(path, key), "missing");
  return object.at(key);
}

// A key given twice in one object would otherwise be silently overwritten.
json parse_rejecting_duplicates(const std::string& text) {
  std::vector<std::set<std::string>> open_objects;
  json::parser_callback_t check = [&open_objects](int, json::parse_event_t event, json& parsed) {
    if (event == json::parse_event_t::object_start) {
      open_objects.emplace_back();
    } else if (event == json::parse_event_t::object_end && !open_objects.empty()) {
      open_objects.pop_back();
    } else if (event == json::parse_event_t::key && !open_objects.empty()) {
      std::string key = parsed.get<std::string>();
      if (!open_objects.back().insert(key).second) fail(key, "key given twice");
    }
    return true;
  };
  return json::parse(text, check);
}

std::string syntax_error(const std::string& text, const json::parse_error& e) {
  size_t end = std::min<size_t>(e.byte == 0 ? 0 : e.byte - 1, text.size());
  size_t line = 1;
  size_t column = 1;
  for (size_t i = 0; i < end; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  std::string why = e.what();
  size_t cut = why.find(": ", why.find("column"));
  if (cut != std::string::npos) why = why.substr(cut + 2);
  return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + why;
}

}  // namespace config_values
