#include "frame/HAuditReportMgr.h"

#include <chrono>
#include <cstdint>
#include <random>

#include "host/HDataCenter.h"
#include "host/HEventCenter.h"
#include "host/HFileLog.h"
#include "platform/WinTime.h"

namespace {

const wchar_t kSource[] = L"HAuditReportMgr";

// Records of one entry beyond this are taken as damage, not as a report.
constexpr int kMaxRecordsPerEntry = 5000000;
// Reports older than 90 days are delivered with no age.
constexpr int32_t kMaxAgeSeconds = 7776000;
// The smallest entry in the archive is its record count.
constexpr size_t kMinEntryBytes = 4;
// An entry with a block id starts with this tag and the id's two halves,
// then goes on as one without; no record count is negative, so entries of
// archives written before ids read as they always did.
constexpr int kBlockIdTag = static_cast<int>(0xB10C1D00u);

// Low 32 bits of the seconds since 1970, as the records carry them.
int32_t now_stamp() {
  return static_cast<int32_t>(static_cast<uint32_t>(_time64(nullptr)));
}

// Seconds between the stamp and now; 0 when the clock went back or the
// stamp is older than 90 days.
int32_t age_of(int32_t stamp, int32_t now) {
  int32_t age = static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(stamp));
  if (age < 0 || age > kMaxAgeSeconds) return 0;
  return age;
}

// 64 random bits per block: unique across restarts and lost archives, which
// a counter would not be. Called under the store's lock.
uint64_t new_block_id() {
  static std::mt19937_64 generator = [] {
    std::random_device device;
    uint64_t now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                   static_cast<uint64_t>(_time64(nullptr));
    std::seed_seq seed{device(), device(), device(), device(), static_cast<unsigned>(now),
                       static_cast<unsigned>(now >> 32)};
    return std::mt19937_64(seed);
  }();
  uint64_t id = 0;
  while (id == 0) id = generator();  // 0 stands for no id
  return id;
}

// The core writes a block of a known id only once: a block delivered just
// before a kill, and offered again from the archive after it, is not doubled.
void name_block(ReportVector& block) {
  if (block.empty()) return;
  uint64_t id = new_block_id();
  for (ARPSpoofingReport_Local& record : block) record.ull_block_id = id;
}

uint64_t block_id_of(const ReportVector& block) { return block.empty() ? 0 : block.front().ull_block_id; }

}  // namespace

int HAuditReportMgr::init(const HString& plug_name, const HString& cata_name, const HString& arc_file_name,
                          int arc_ver, int max_record) {
  HIEUtil::RecMutex::Lock lock(rec_mutex);
  str_plug_name = plug_name;
  str_cata_name = cata_name;
  str_arc_file = arc_file_name;
  i_arc_ver = arc_ver;
  i_max_record = (max_record < 3 || max_record > 10000) ? 100 : max_record;
  b_init = true;
  arc_file.set_name(str_arc_file);
  arc_file.get_mem().set_version(i_arc_ver);
  read_arc();
  HFileLog::ins().log(2, kSource, __LINE__,
                      L"HAuditReportMgr::init str_plug_name %s, str_cata_name %s, str_arc_file %s, i_arc_ver %d, "
                      L"i_max_record %d, read lt_vt_report_stack size %d",
                      str_plug_name.wc_str(), str_cata_name.wc_str(), str_arc_file.wc_str(), i_arc_ver, i_max_record,
                      static_cast<int>(lt_vt_report_stack.size()));
  return 0;
}

size_t HAuditReportMgr::queued() const {
  HIEUtil::RecMutex::Lock lock(rec_mutex);
  return lt_vt_report_stack.size();
}

int HAuditReportMgr::deliver(ReportVector& entry) {
  int result = -1;
  HDataCenter::report_void_to_core(str_plug_name, str_cata_name, &entry, 0, result);
  return result == 0 ? 0 : -1;
}

// Offers queued entries oldest first, each with its age, until the core
// refuses one; returns how many it took.
int HAuditReportMgr::deliver_queue(bool& b_refused) {
  int delivered = 0;
  b_refused = false;
  int32_t now = now_stamp();
  for (const ReportVector& entry : lt_vt_report_stack) {
    ReportVector copy = entry;
    for (ARPSpoofingReport_Local& record : copy) record.iElapsed = age_of(record.iElapsed, now);
    if (deliver(copy) != 0) {
      b_refused = true;
      break;
    }
    ++delivered;
  }
  return delivered;
}

int HAuditReportMgr::report(ReportVector* p_report) {
  HIEUtil::RecMutex::Lock lock(rec_mutex);
  if (!b_init) return -1;
  if (p_report) name_block(*p_report);
  if (!p_report && lt_vt_report_stack.empty()) return 0;
  if (!p_report && !HEventCenter::ins().b_online) return 0;

  int total = static_cast<int>(lt_vt_report_stack.size());
  bool b_refused = false;
  int delivered = deliver_queue(b_refused);
  HFileLog::ins().log(2, kSource, __LINE__,
                      L"HAuditReportMgr::report OLD (p_report == %p, %s::%s) total size %d, report ok size %d",
                      static_cast<void*>(p_report), str_plug_name.wc_str(), str_cata_name.wc_str(), total, delivered);
  for (int i = 0; i < delivered; ++i) queue_pop_front();

  if (!p_report) {
    if (delivered > 0) write_arc();
    return 0;
  }
  // Queued reports go first: a new one waits behind a refused entry.
  if (b_refused || deliver(*p_report) != 0) {
    push_back(p_report);
    return 0;
  }
  if (delivered > 0) write_arc();
  return 0;
}

int HAuditReportMgr::push_back(ReportVector* p_report) {
  bool b_write = false;
  // An empty vector right behind another adds nothing; filtering it before
  // making room keeps the oldest report from being dropped for nothing.
  if (p_report->empty() && !lt_vt_report_stack.empty() && lt_vt_report_stack.back().empty()) {
    HFileLog::ins().log(2, kSource, __LINE__, L"HAuditReportMgr::push_back::filter the repeat empty vector, b_write %d",
                        b_write ? 1 : 0);
    return 0;
  }
  if (lt_vt_report_stack.size() >= static_cast<size_t>(i_max_record)) {
    queue_pop_front();
    b_write = true;
  }
  int32_t now = now_stamp();
  for (ARPSpoofingReport_Local& record : *p_report) record.iElapsed = now;
  queue_append(*p_report);
  write_arc();
  return 0;
}

void HAuditReportMgr::queue_append(const ReportVector& entry) {
  lt_vt_report_stack.push_back(entry);
  lt_arc_entry.push_back(archive_form(entry));
}

void HAuditReportMgr::queue_pop_front() {
  lt_vt_report_stack.pop_front();
  lt_arc_entry.pop_front();
}

void HAuditReportMgr::queue_clear() {
  lt_vt_report_stack.clear();
  lt_arc_entry.clear();
}

std::vector<unsigned char> HAuditReportMgr::archive_form(const ReportVector& entry) {
  arc_entry_mem.clear();
  uint64_t id = block_id_of(entry);
  if (id != 0) {
    arc_entry_mem.write_basic(kBlockIdTag);
    arc_entry_mem.write_basic(static_cast<int>(static_cast<uint32_t>(id)));
    arc_entry_mem.write_basic(static_cast<int>(static_cast<uint32_t>(id >> 32)));
  }
  arc_entry_mem.write_basic(static_cast<int>(entry.size()));
  for (const ARPSpoofingReport_Local& queued : entry) {
    ARPSpoofingReport_Local record = queued;  // writing attaches the record to the memory
    record.__inter_set_arc_obj(&arc_entry_mem);
    record.arc_write();
  }
  std::vector<unsigned char> bytes = arc_entry_mem.data();
  arc_entry_mem.clear();
  return bytes;
}

int HAuditReportMgr::write_arc() {
  HIEUtil::RecMutex::Lock lock(rec_mutex);
  if (!b_init) return -1;
  HFileLog::ins().log(2, kSource, __LINE__, L"HAuditReportMgr::write_arc size %d",
                      static_cast<int>(lt_vt_report_stack.size()));
  if (arc_file.prepare_write() != 0) return -1;
  HArchiveMem& mem = arc_file.get_mem();
  mem.write_basic(static_cast<int>(lt_vt_report_stack.size()));
  for (const std::vector<unsigned char>& entry : lt_arc_entry) {
    if (!mem.b_write_ready) continue;
    mem.write_bytes(entry.data(), entry.size());
  }
  if (arc_file.commit_write() != 0) {
    HFileLog::ins().log(1, kSource, __LINE__, L"HAuditReportMgr::write_arc commit failed, size %d",
                        static_cast<int>(lt_vt_report_stack.size()));
    return -1;
  }
  return 0;
}

int HAuditReportMgr::read_arc() {
  HIEUtil::RecMutex::Lock lock(rec_mutex);
  if (!b_init) return -1;
  queue_clear();
  if (arc_file.prepare_read() != 0) return -1;
  HArchiveMem& mem = arc_file.get_mem();
  int count = 0;
  if (mem.read_basic(count) != 0) {
    HFileLog::ins().log(1, kSource, __LINE__, L"HAuditReportMgr::read_arc no entry count");
  } else if (count < 0 || static_cast<size_t>(count) > mem.remaining() / kMinEntryBytes) {
    HFileLog::ins().log(1, kSource, __LINE__, L"HAuditReportMgr::read_arc implausible entry count %d", count);
  } else {
    read_entries(count);
  }
  arc_file.commit_read();
  return 0;
}

// An archive never holds more than the queue's bound; one that does (a
// damaged count, or a bound lowered since) keeps its newest entries, as
// push_back would have.
void HAuditReportMgr::read_entries(int count) {
  int dropped = 0;
  for (int i = 0; i < count; ++i) {
    ReportVector entry;
    if (read_entry(entry) != 0) {
      HFileLog::ins().log(1, kSource, __LINE__, L"HAuditReportMgr::read_arc damaged at entry %d of %d, kept %d", i,
                          count, static_cast<int>(lt_vt_report_stack.size()));
      break;
    }
    queue_append(entry);
    if (lt_vt_report_stack.size() > static_cast<size_t>(i_max_record)) {
      queue_pop_front();
      ++dropped;
    }
  }
  if (dropped > 0) {
    HFileLog::ins().log(1, kSource, __LINE__,
                        L"HAuditReportMgr::read_arc %d entries beyond i_max_record %d, oldest %d dropped", count,
                        i_max_record, dropped);
  }
}

int HAuditReportMgr::read_entry(ReportVector& entry) {
  HArchiveMem& mem = arc_file.get_mem();
  int records = 0;
  if (mem.read_basic(records) != 0) return -1;
  uint64_t id = 0;
  if (records == kBlockIdTag) {
    int low = 0;
    int high = 0;
    if (mem.read_basic(low) != 0 || mem.read_basic(high) != 0 || mem.read_basic(records) != 0) return -1;
    id = static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32 | static_cast<uint32_t>(low);
  }
  if (records < 1 || records > kMaxRecordsPerEntry) return 0;
  // Records are appended one by one as they read: nothing is reserved from
  // a count that the file claims.
  for (int i = 0; i < records; ++i) {
    ARPSpoofingReport_Local record;
    record.__inter_set_arc_obj(&mem);
    if (record.arc_read() != 0) return -1;
    record.ull_block_id = id;
    entry.push_back(std::move(record));
  }
  return 0;
}
