#include "tests/support/frame_support.h"

#include "host/HArchiveFile.h"
#include "platform/WinTime.h"

namespace frame_test {

FakeClock::FakeClock(int64_t now) : i_now(now) {
  platform::set_time_source([this]() {
    std::lock_guard<std::mutex> lock(mtx_now);
    return static_cast<__time64_t>(i_now);
  });
}

FakeClock::~FakeClock() { platform::set_time_source(nullptr); }

void FakeClock::set(int64_t now) {
  std::lock_guard<std::mutex> lock(mtx_now);
  i_now = now;
}

ARPSpoofingReport_Local make_record(const std::string& policy, const std::string& desc, const std::string& mac,
                                    int32_t elapsed) {
  ARPSpoofingReport_Local record;
  record.strPolicyID = HString(policy);
  record.iAttackType = 1;
  record.iElapsed = elapsed;
  record.str_desc = HString(desc);
  record.mapDesc[HString("mac")] = HString(mac);
  return record;
}

size_t log_size() { return tidewell_test::general_log().size(); }

std::string log_since(size_t offset) {
  std::string all = tidewell_test::general_log();
  return offset < all.size() ? all.substr(offset) : std::string();
}

ArchiveWriter::ArchiveWriter(const std::string& path, int version) : str_path(path), i_version(version) {}

ArchiveWriter& ArchiveWriter::value(int v) {
  vt_items.push_back(Item{true, v, ARPSpoofingReport_Local()});
  return *this;
}

ArchiveWriter& ArchiveWriter::record(ARPSpoofingReport_Local record) {
  vt_items.push_back(Item{false, 0, std::move(record)});
  return *this;
}

ArchiveWriter& ArchiveWriter::queue(const std::vector<Block>& entries) {
  value(static_cast<int>(entries.size()));
  for (const Block& entry : entries) {
    // A block with an id: its tag (0xB10C1D00) and the id's two halves first.
    uint64_t id = entry.empty() ? 0 : entry.front().ull_block_id;
    if (id != 0) value(static_cast<int>(0xB10C1D00u)).value(static_cast<int>(id)).value(static_cast<int>(id >> 32));
    value(static_cast<int>(entry.size()));
    for (const ARPSpoofingReport_Local& r : entry) record(r);
  }
  return *this;
}

int ArchiveWriter::commit() {
  HArchiveFile file;
  file.set_name(HString(str_path));
  file.get_mem().set_version(i_version);
  if (file.prepare_write() != 0) return -1;
  HArchiveMem& mem = file.get_mem();
  for (Item& item : vt_items) {
    if (item.b_value) {
      mem.write_basic(item.value);
    } else {
      item.record.__inter_set_arc_obj(&mem);
      item.record.arc_write();
    }
  }
  return file.commit_write();
}

}  // namespace frame_test
