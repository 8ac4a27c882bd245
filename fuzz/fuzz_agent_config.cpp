// The agent's config parser on arbitrary text. It must answer every text
// with 0, or -1 and one message headed by the file's name, and never throw.
#include <cstddef>
#include <cstdint>
#include <string>

#include "agent/AgentConfig.h"
#include "fuzz/Finding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string origin = "fuzz.json";
  AgentConfig config;
  std::string error;
  int rc = AgentConfig::parse(text, origin, config, error);
  if (rc != 0 && rc != -1) finding("parse returned " + std::to_string(rc));
  if (rc == -1 && error.compare(0, origin.size() + 2, origin + ": ") != 0) {
    finding("error not headed by the file: " + error);
  }
  if (rc == 0 && !error.empty()) finding("success with an error message: " + error);
  if (rc == 0 && config.host.vt_arp_table.size() > text.size()) finding("more table rows than the text could hold");
  return 0;
}
