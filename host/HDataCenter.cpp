#include "host/HDataCenter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "host/HConsoleWriter.h"
#include "host/HEnvironment.h"
#include "host/HFileLog.h"
#include "host/HFileUtil.h"
#include "host/HHomeDir.h"

namespace {

struct CoreState {
  std::recursive_mutex mtx_core;
  HString str_dir;
  bool b_accepts = true;
  uint64_t ull_suppressed = 0;
  std::function<bool(const std::vector<ARPSpoofingReport_Local>&)> hook;
};

// Never destroyed: worker threads may still report while the process exits.
CoreState& core() {
  static CoreState* state = new CoreState;
  return *state;
}

void json_string(std::string& out, const HString& text) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  const std::wstring& w = text.wstr();
  for (size_t i = 0; i < w.size(); ++i) {
    wchar_t c = w[i];
    switch (c) {
      case L'"': out += "\\\""; break;
      case L'\\': out += "\\\\"; break;
      case L'\n': out += "\\n"; break;
      case L'\r': out += "\\r"; break;
      case L'\t': out += "\\t"; break;
      case L'\b': out += "\\b"; break;
      case L'\f': out += "\\f"; break;
      default:
        if (static_cast<uint32_t>(c) < 0x20) {
          out += "\\u00";
          out += kHex[(c >> 4) & 0xF];
          out += kHex[c & 0xF];
        } else {
          i += HFileUtil::append_utf8(out, &w[i], w.size() - i) - 1;
        }
    }
  }
  out += '"';
}

void json_record(std::string& out, const ARPSpoofingReport_Local& r) {
  out += "{\"strPolicyID\":";
  json_string(out, r.strPolicyID);
  out += ",\"iAttackType\":" + std::to_string(r.iAttackType);
  out += ",\"iOffline\":" + std::to_string(r.iOffline);
  out += ",\"iElapsed\":" + std::to_string(r.iElapsed);
  out += ",\"str_desc\":";
  json_string(out, r.str_desc);
  out += ",\"mapDesc\":{";
  bool first = true;
  for (const auto& entry : r.mapDesc) {
    if (!first) out += ',';
    first = false;
    json_string(out, entry.first);
    out += ':';
    json_string(out, entry.second);
  }
  out += "}}";
}

std::string json_block(const HString& plug, const HString& catalogue,
                       const std::vector<ARPSpoofingReport_Local>& records) {
  std::string out = "{\"plug\":";
  json_string(out, plug);
  out += ",\"catalogue\":";
  json_string(out, catalogue);
  out += ",\"records\":[";
  for (size_t i = 0; i < records.size(); ++i) {
    if (i > 0) out += ',';
    json_record(out, records[i]);
  }
  out += "]}\n";
  return out;
}

std::string core_dir_locked() {
  HString dir = core().str_dir;
  HString home = HEnvironment::GetMyExeFullFilePath(false);
  if (dir.empty()) return HFileUtil::native_path(home + HString(L"/core"));
  if (!HFileUtil::is_absolute(dir)) dir = home + HString(L"/") + dir;
  return HFileUtil::native_path(dir);
}

// One write per line on an O_APPEND descriptor; with `sync` the line is on
// disk before the caller hears of success. A line that is not written whole
// is cut off again: the next one must not be glued to half a record. A
// failure is said in the log once, until the file takes a line again.
int append_line(const std::string& file, const std::string& line, bool sync) {
  int fd = HHomeDir::open_file(file, O_WRONLY | O_CREAT | O_APPEND);
  bool ok = fd >= 0 && HHomeDir::append_whole(fd, line.data(), line.size(), sync) == 0;
  int error = errno;
  if (fd >= 0) ::close(fd);
  if (ok) {
    HHomeDir::note_success(file);
    return 0;
  }
  if (HHomeDir::note_failure(file, error)) {
    HFileLog::ins().log(1, L"HDataCenter", __LINE__, L"cannot write %S: %S", file.c_str(), std::strerror(error));
  }
  return -1;
}

std::string one_line(const HString& text) {
  std::string out = HFileUtil::utf8(text);
  for (char& c : out)
    if (c == '\n' || c == '\r') c = ' ';
  return out;
}

}  // namespace

// ---- HDCPolicy

int HDCPolicy::get_AntiARPSpoofing_Local(std::vector<AntiARPSpoofing_Local>& records) {
  std::lock_guard<std::mutex> lock(mtx_policy);
  records.insert(records.end(), vt_records.begin(), vt_records.end());
  return 0;
}

HString HDCPolicy::get_alarm_msg_by_pid(const HString& policy_id) {
  std::lock_guard<std::mutex> lock(mtx_policy);
  auto it = map_alarm_msg.find(policy_id);
  return it == map_alarm_msg.end() ? HString() : it->second;
}

void HDCPolicy::set_policies(const std::vector<AntiARPSpoofing_Local>& records,
                             const std::map<HString, HString>& alarm_msgs) {
  std::lock_guard<std::mutex> lock(mtx_policy);
  vt_records = records;
  map_alarm_msg = alarm_msgs;
}

// ---- HDataCenter

HDCPolicy* HDataCenter::GetPolicy() {
  static HDCPolicy* policy = new HDCPolicy;
  return policy;
}

HDCBase* HDataCenter::GetBase() {
  static HDCBase* base = new HDCBase;
  return base;
}

void HDataCenter::pop_alarm_message(const HString& alarm_message, const HString& text) {
  std::string line = "{\"alarm_msg\":";
  json_string(line, alarm_message);
  line += ",\"text\":";
  json_string(line, text);
  line += "}\n";
  std::string shown = "ALARM [" + one_line(alarm_message) + "] " + one_line(text) + "\n";
  {
    std::lock_guard<std::recursive_mutex> lock(core().mtx_core);
    append_line(core_dir_locked() + "/alarms.jsonl", line, false);
  }
  HConsoleWriter::ins().write(std::move(shown));
}

int HDataCenter::report_void_to_core(const HString& plug, const HString& catalogue, void* data, int /*reserved*/,
                                     int& result) {
  result = -1;
  if (!data) return -1;
  const auto& records = *static_cast<const std::vector<ARPSpoofingReport_Local>*>(data);
  std::lock_guard<std::recursive_mutex> lock(core().mtx_core);
  bool accepts = core().hook ? core().hook(records) : core().b_accepts;
  if (!accepts) return 0;
  // Accepted means stored: a block that did not reach the disk stays with the caller.
  if (append_line(core_dir_locked() + "/reports.jsonl", json_block(plug, catalogue, records), true) == 0) result = 0;
  return 0;
}

void HDataCenter::note_suppressed_reports(uint64_t count) {
  std::lock_guard<std::recursive_mutex> lock(core().mtx_core);
  core().ull_suppressed = count;
}

uint64_t HDataCenter::suppressed_reports() {
  std::lock_guard<std::recursive_mutex> lock(core().mtx_core);
  return core().ull_suppressed;
}

void HDataCenter::set_core_dir(const HString& folder) {
  std::lock_guard<std::recursive_mutex> lock(core().mtx_core);
  core().str_dir = HFileUtil::normalize(folder);
}

void HDataCenter::set_core_accepts(bool accepts) {
  std::lock_guard<std::recursive_mutex> lock(core().mtx_core);
  core().b_accepts = accepts;
}

void HDataCenter::set_core_hook(std::function<bool(const std::vector<ARPSpoofingReport_Local>&)> hook) {
  std::lock_guard<std::recursive_mutex> lock(core().mtx_core);
  core().hook = std::move(hook);
}
