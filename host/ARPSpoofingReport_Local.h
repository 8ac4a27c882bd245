#pragma once
// The data center's attack report record. It writes itself into an attached
// archive memory and reads itself back symmetrically.
#include <cstdint>
#include <map>

#include "host/HArchiveFile.h"
#include "host/HString.h"

class ARPSpoofingReport_Local : public HArchiveNode {
 public:
  int arc_write() override;
  int arc_read() override;

  HString strPolicyID;
  int32_t iAttackType = 0;
  int32_t iOffline = 0;
  int32_t iElapsed = 0;
  HString str_desc;
  std::map<HString, HString> mapDesc;
  // The block this record travels in to the core, 0 for none. The audit
  // store sets it and archives it once per block, the core writes it once
  // per line and writes a block of an id it has written only once; it is
  // no part of the record's own archive form or JSON.
  uint64_t ull_block_id = 0;
};
