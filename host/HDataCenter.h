#pragma once
// The agent's data center as the plug-in sees it: the policy store, the base
// record, the alarm pop-up and the delivery of reports to the agent core.
// The agent fills it from its config. The core writes every accepted block
// as one JSON line to HOME/core/reports.jsonl and every alarm to
// HOME/core/alarms.jsonl (and to standard output), each also to the system
// log; alarms also go to the administrator's alarm command.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "host/ARPSpoofingReport_Local.h"
#include "host/AntiARPSpoofing_Local.h"
#include "host/HEventSettings.h"
#include "host/HGuardSettings.h"
#include "host/HString.h"

class HDCPolicy {
 public:
  // Appends the policy records; returns 0.
  int get_AntiARPSpoofing_Local(std::vector<AntiARPSpoofing_Local>& records);
  HString get_alarm_msg_by_pid(const HString& policy_id);

  void set_policies(const std::vector<AntiARPSpoofing_Local>& records,
                    const std::map<HString, HString>& alarm_msgs);

 private:
  std::mutex mtx_policy;
  std::vector<AntiARPSpoofing_Local> vt_records;
  std::map<HString, HString> map_alarm_msg;
};

class HDCBase {
 public:
  HString str_name = L"Velmora";
};

class HDataCenter {
 public:
  static HDCPolicy* GetPolicy();
  static HDCBase* GetBase();
  // The switches of the protections beyond the policy records.
  static HGuardSettings GetGuard();
  // The alarm goes to core/alarms.jsonl, standard output, the system log
  // and the alarm command.
  static void pop_alarm_message(const HString& alarm_message, const HString& text);
  // The DHCP alarm window's alarm, with the window's title: to
  // core/alarms.jsonl, the system log and the alarm command (the window
  // shows itself). Never waits for a file.
  static void record_window_alarm(const HString& title, const HString& text);
  // `data` points to a std::vector<ARPSpoofingReport_Local>. `result` is set
  // to 0 when the core accepted the block and its line is on disk, else -1.
  // A block's id (its records' ull_block_id) ends its line as "block"; a
  // block of an id written before (also before a restart: the ids of the
  // file's last lines are read at the first delivery) is accepted without
  // a second line. Returns 0 (-1 for a null block).
  static int report_void_to_core(const HString& plug, const HString& catalogue, void* data, int reserved,
                                 int& result);

  // The plug-in tells at stop how many reports it held back (repeats,
  // floods); the agent shows it in its summary.
  static void note_suppressed_reports(uint64_t count);
  static uint64_t suppressed_reports();

  // Agent side.
  // Also makes the core read the ids written in that folder afresh.
  static void set_core_dir(const HString& folder);
  static void set_guard(const HGuardSettings& settings);
  // Where events go besides the core's files.
  static void set_events(const HEventSettings& settings);
  static void set_core_accepts(bool accepts);  // true until the agent says otherwise
  // Test seam: decides acceptance per block instead of the flag.
  static void set_core_hook(std::function<bool(const std::vector<ARPSpoofingReport_Local>&)> hook);
};
