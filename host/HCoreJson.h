#pragma once
// The JSON lines that the core writes: one per accepted report block to
// core/reports.jsonl, one per alarm to core/alarms.jsonl, and the text of the
// same events for the system log. Every line says when (RFC 3339 with the
// local zone), on which host and for which interface it was written; a
// block's id stays the last key of its line, where the core looks for it.
// The schema of both files is res/schema/.
#include <cstdint>
#include <string>
#include <vector>

#include "host/ARPSpoofingReport_Local.h"
#include "host/HString.h"

class HCoreJson {
 public:
  struct Stamp {
    std::string str_time;
    std::string str_host;
    std::string str_iface;
  };
  // Now, this machine's name and the capture's interface.
  static Stamp stamp_now();
  // The text in UTF-8 on one line: the system log and standard output take
  // no breaks.
  static std::string one_line(const HString& text);
  // "2026-12-07T05:20:11.123+01:00" for `unix_ms` at `offset_min` east of UTC.
  static std::string rfc3339(int64_t unix_ms, int offset_min);

  // The text as a JSON string, quotes included, appended to `out`.
  static void append_string(std::string& out, const HString& text);
  // A block's line, newline included; `block_id` 0 writes no id.
  static std::string block_line(const HString& plug, const HString& catalogue,
                                const std::vector<ARPSpoofingReport_Local>& records, uint64_t block_id,
                                const Stamp& stamp);
  // An alarm's line, newline included; `kind` "alarm" for the agent's
  // pop-up, "window" for the DHCP alarm window.
  static std::string alarm_line(const char* kind, const HString& alarm_message, const HString& text,
                                const Stamp& stamp);

  // One line per record for the system log: the report id and its values.
  static std::string record_text(const ARPSpoofingReport_Local& record);
  // An alarm for the system log: "alarm [message] text" on one line.
  static std::string alarm_text(const char* kind, const HString& alarm_message, const HString& text);
};
