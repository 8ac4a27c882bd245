#include "host/ARPSpoofingReport_Local.h"

namespace {
// Every map entry takes at least two string lengths of four bytes.
constexpr size_t MIN_ENTRY_LEN = 8;
}  // namespace

int ARPSpoofingReport_Local::arc_write() {
  if (!p_arc_mem) return -1;
  HArchiveMem& m = *p_arc_mem;
  m.write_string(strPolicyID);
  m.write_basic(iAttackType);
  m.write_basic(iOffline);
  m.write_basic(iElapsed);
  m.write_string(str_desc);
  m.write_basic(static_cast<int>(mapDesc.size()));
  for (const auto& entry : mapDesc) {
    m.write_string(entry.first);
    m.write_string(entry.second);
  }
  return 0;
}

// Reads into a scratch record and keeps it only when the whole record was
// there, so a damaged archive never leaves a half-filled report behind.
int ARPSpoofingReport_Local::arc_read() {
  if (!p_arc_mem) return -1;
  HArchiveMem& m = *p_arc_mem;
  ARPSpoofingReport_Local r;
  int count = 0;
  if (m.read_string(r.strPolicyID) || m.read_basic(r.iAttackType) || m.read_basic(r.iOffline) ||
      m.read_basic(r.iElapsed) || m.read_string(r.str_desc) || m.read_basic(count))
    return -1;
  if (count < 0 || static_cast<size_t>(count) > m.remaining() / MIN_ENTRY_LEN) return -1;
  for (int i = 0; i < count; ++i) {
    HString key;
    HString value;
    if (m.read_string(key) || m.read_string(value)) return -1;
    r.mapDesc[key] = value;
  }
  strPolicyID = r.strPolicyID;
  iAttackType = r.iAttackType;
  iOffline = r.iOffline;
  iElapsed = r.iElapsed;
  str_desc = r.str_desc;
  mapDesc.swap(r.mapDesc);
  return 0;
}
