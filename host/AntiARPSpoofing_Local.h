#pragma once
// The data center's ARP protection policy record.
#include <cstdint>

#include "host/HString.h"

struct AntiARPSpoofing_Local {
  HString strPolicyID;
  int32_t iStateMask = 0;
  int32_t iAntiARPSpoofing = 0;
  HString strBindList;
  int32_t iAntiDHCPSpoofing = 0;
  int32_t iAutoBind = 0;
};
