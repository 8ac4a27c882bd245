#include "host/HDataCenter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <sys/stat.h>
#include <string>
#include <unistd.h>
#include <unordered_set>

#include "host/HAlarmCommand.h"
#include "host/HConsoleWriter.h"
#include "host/HCoreEvents.h"
#include "host/HCoreJson.h"
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
  // The ids of the blocks written last, oldest first, and the file they
  // were read from at the first delivery (empty: not read yet).
  std::string str_ids_file;
  std::unordered_set<uint64_t> set_written;
  std::deque<uint64_t> dq_written;
};

// A sender re-offers at most its queue (300 blocks) after a restart; the
// ids of many more lines than that are remembered, and only the tail of
// the file is read for them.
constexpr size_t kRememberedBlocks = 4096;
constexpr size_t kIdTailBytes = 2u * 1024 * 1024;
// A line with a block id ends in `,"block":"` 16 hex digits `"}`.
const char kBlockKey[] = ",\"block\":\"";
constexpr size_t kBlockKeyLen = sizeof(kBlockKey) - 1;
constexpr size_t kIdDigits = 16;

// Never destroyed: worker threads may still report while the process exits.
CoreState& core() {
  static CoreState* state = new CoreState;
  return *state;
}

// Every record of a block carries its id; a block without records has none.
uint64_t block_id_of(const std::vector<ARPSpoofingReport_Local>& records) {
  return records.empty() ? 0 : records.front().ull_block_id;
}

void remember_block(uint64_t id) {
  CoreState& c = core();
  if (!c.set_written.insert(id).second) return;
  c.dq_written.push_back(id);
  if (c.dq_written.size() > kRememberedBlocks) {
    c.set_written.erase(c.dq_written.front());
    c.dq_written.pop_front();
  }
}

// The id at the end of one complete line, 0 when it has none.
uint64_t id_of_line(const std::string& tail, size_t begin, size_t end) {
  const size_t len = kBlockKeyLen + kIdDigits + 2;
  if (end - begin < len) return 0;
  size_t at = end - len;
  if (tail.compare(at, kBlockKeyLen, kBlockKey) != 0 || tail.compare(end - 2, 2, "\"}") != 0) return 0;
  uint64_t id = 0;
  for (size_t i = at + kBlockKeyLen; i < end - 2; ++i) {
    char c = tail[i];
    int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    if (digit < 0) return 0;
    id = (id << 4) | static_cast<uint64_t>(digit);
  }
  return id;
}

// The ids of the complete lines in the last bytes of the file, so that a
// block written before a restart is known after it.
void read_ids_of(const std::string& file) {
  int fd = HHomeDir::open_file(file, O_RDONLY);
  if (fd < 0) return;
  struct stat st;
  size_t size = ::fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0;
  size_t from = size > kIdTailBytes ? size - kIdTailBytes : 0;
  std::string tail(size - from, '\0');
  size_t got = 0;
  if (!tail.empty() && ::lseek(fd, static_cast<off_t>(from), SEEK_SET) >= 0) {
    while (got < tail.size()) {
      auto n = ::read(fd, &tail[got], static_cast<unsigned>(tail.size() - got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
  }
  ::close(fd);
  tail.resize(got);
  // A tail that starts inside a line skips that line.
  size_t begin = from == 0 ? 0 : tail.find('\n');
  if (begin == std::string::npos) return;
  if (from != 0) ++begin;
  for (size_t end = tail.find('\n', begin); end != std::string::npos; begin = end + 1, end = tail.find('\n', begin)) {
    uint64_t id = id_of_line(tail, begin, end);
    if (id != 0) remember_block(id);
  }
}

// The ids of the file rotated away (logrotate's "FILE.1") and then of the
// file: a block written just before a rotation is still known after it.
void read_written_blocks(const std::string& file) {
  CoreState& c = core();
  c.str_ids_file = file;
  c.set_written.clear();
  c.dq_written.clear();
  read_ids_of(file + ".1");
  read_ids_of(file);
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

namespace {

struct GuardState {
  std::mutex mtx_guard;
  HGuardSettings settings;
};

GuardState& guard_state() {
  static GuardState* state = new GuardState;
  return *state;
}

}  // namespace

HGuardSettings HDataCenter::GetGuard() {
  std::lock_guard<std::mutex> lock(guard_state().mtx_guard);
  return guard_state().settings;
}

void HDataCenter::set_guard(const HGuardSettings& settings) {
  std::lock_guard<std::mutex> lock(guard_state().mtx_guard);
  guard_state().settings = settings;
}

void HDataCenter::pop_alarm_message(const HString& alarm_message, const HString& text) {
  std::string line = HCoreJson::alarm_line("alarm", alarm_message, text, HCoreJson::stamp_now());
  {
    std::lock_guard<std::recursive_mutex> lock(core().mtx_core);
    append_line(core_dir_locked() + "/alarms.jsonl", line, false);
  }
  HConsoleWriter::ins().write(HCoreJson::alarm_text("ALARM", alarm_message, text) + "\n");
  HCoreEvents::ins().system_log(HCoreJson::alarm_text("alarm", alarm_message, text));
  HAlarmCommand::ins().push(std::move(line));
}

void HDataCenter::record_window_alarm(const HString& title, const HString& text) {
  std::string line = HCoreJson::alarm_line("window", title, text, HCoreJson::stamp_now());
  // The probe that raises it may hold a lock the capture thread takes: the
  // file, whose lock a report's sync may hold, is written by the events thread.
  HCoreEvents::ins().post([line] {
    std::lock_guard<std::recursive_mutex> lock(core().mtx_core);
    append_line(core_dir_locked() + "/alarms.jsonl", line, false);
  });
  HCoreEvents::ins().system_log(HCoreJson::alarm_text("window", title, text));
  HAlarmCommand::ins().push(std::move(line));
}

void HDataCenter::set_events(const HEventSettings& settings) {
  HCoreEvents::ins().set_system_log(settings.b_syslog);
  HAlarmCommand::ins().configure(settings.str_alarm_command, settings.ui_alarm_command_timeout_ms);
}

int HDataCenter::report_void_to_core(const HString& plug, const HString& catalogue, void* data, int /*reserved*/,
                                     int& result) {
  result = -1;
  if (!data) return -1;
  const auto& records = *static_cast<const std::vector<ARPSpoofingReport_Local>*>(data);
  std::lock_guard<std::recursive_mutex> lock(core().mtx_core);
  bool accepts = core().hook ? core().hook(records) : core().b_accepts;
  if (!accepts) return 0;
  std::string file = core_dir_locked() + "/reports.jsonl";
  uint64_t id = block_id_of(records);
  if (id != 0) {
    if (core().str_ids_file != file) read_written_blocks(file);
    // Written before the sender could forget it (a kill before its queue
    // was rewritten): stored already, so accepted without a second line.
    if (core().set_written.count(id) != 0) {
      result = 0;
      return 0;
    }
  }
  // Accepted means stored: a block that did not reach the disk stays with the caller.
  if (append_line(file, HCoreJson::block_line(plug, catalogue, records, id, HCoreJson::stamp_now()), true) == 0) {
    result = 0;
    if (id != 0) remember_block(id);
    for (const ARPSpoofingReport_Local& record : records) HCoreEvents::ins().system_log(HCoreJson::record_text(record));
  }
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
  // The ids written are read again from the folder's file at the next delivery.
  core().str_ids_file.clear();
}

void HDataCenter::set_core_accepts(bool accepts) {
  std::lock_guard<std::recursive_mutex> lock(core().mtx_core);
  core().b_accepts = accepts;
}

void HDataCenter::set_core_hook(std::function<bool(const std::vector<ARPSpoofingReport_Local>&)> hook) {
  std::lock_guard<std::recursive_mutex> lock(core().mtx_core);
  core().hook = std::move(hook);
}
