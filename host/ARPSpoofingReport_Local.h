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
};
