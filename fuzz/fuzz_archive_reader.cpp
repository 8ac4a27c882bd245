// The audit store's archive reader on arbitrary file bytes.
//
// Input: a mode byte, then the bytes. With an even mode the bytes are the
// whole file; with an odd one they are the payload behind a correct header
// (magic, version 173, length, checksum), so that the queue layout itself
// is explored. Whatever the store reads it must keep within its bound, and
// what it writes back must read back to the same archive. The bytes are also
// read record by record, and each record must survive its own round trip.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "frame/HAuditReportMgr.h"
#include "fuzz/Finding.h"
#include "fuzz/FuzzHome.h"
#include "host/ARPSpoofingReport_Local.h"
#include "host/HArchiveFile.h"

namespace {

constexpr int kVersion = 173;
constexpr int kMaxRecord = 300;
const wchar_t kArchiveName[] = L"arc_file\\fuzz_archive";

// The payload behind a correct header, written by the archive itself.
bool write_with_header(const std::string& path, const uint8_t* payload, size_t length) {
  HArchiveFile file;
  file.set_name(HString(path));
  file.get_mem().set_version(kVersion);
  return file.prepare_write() == 0 && file.get_mem().write_bytes(payload, length) == 0 && file.commit_write() == 0;
}

bool same_record(const ARPSpoofingReport_Local& a, const ARPSpoofingReport_Local& b) {
  return a.strPolicyID == b.strPolicyID && a.iAttackType == b.iAttackType && a.iOffline == b.iOffline &&
         a.iElapsed == b.iElapsed && a.str_desc == b.str_desc && a.mapDesc == b.mapDesc;
}

void records_round_trip(const uint8_t* data, size_t size) {
  HArchiveMem mem;
  mem.reset(std::vector<unsigned char>(data, data + size));
  for (;;) {
    ARPSpoofingReport_Local record;
    record.__inter_set_arc_obj(&mem);
    size_t before = mem.remaining();
    if (record.arc_read() != 0) {
      if (mem.remaining() > before) finding("a failed read moved backwards");
      return;
    }
    if (mem.remaining() >= before) finding("a record was read from no bytes");
    HArchiveMem copy;
    record.__inter_set_arc_obj(&copy);
    record.arc_write();
    ARPSpoofingReport_Local again;
    again.__inter_set_arc_obj(&copy);
    if (again.arc_read() != 0 || copy.remaining() != 0 || !same_record(record, again)) {
      finding("a record does not read back as written");
    }
  }
}

std::string store_round(const std::string& path) {
  HAuditReportMgr store;
  store.init(L"NetSecurity", L"AntiARPSpoofing", kArchiveName, kVersion, kMaxRecord);
  if (store.queued() > static_cast<size_t>(store.max_record())) finding("the queue read holds more than its bound");
  store.write_arc();
  return tidewell_test::read_file(path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzHome& home = FuzzHome::ins();
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  const uint8_t* bytes = data + 1;
  const size_t length = size - 1;

  records_round_trip(bytes, length);

  const std::string path = home.file("arc_file/fuzz_archive");
  mkdir(home.file("arc_file").c_str(), 0700);  // there already from the second input on
  bool stored = (mode & 1) ? write_with_header(path, bytes, length)
                            : tidewell_test::write_file(path, std::string(reinterpret_cast<const char*>(bytes), length));
  if (!stored) finding("cannot write the archive file");

  std::string written = store_round(path);
  std::string again = store_round(path);
  if (written != again) finding("the archive written back does not read back the same");
  return 0;
}
