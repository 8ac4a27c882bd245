#pragma once
// Puts one policy record where the plug-in reads it: the data center, the
// global state's copy, the agent online, and the audit store opened in the
// current home.
#include "host/AntiARPSpoofing_Local.h"

namespace tidewell_test {

void install_policy(const AntiARPSpoofing_Local& policy);

}  // namespace tidewell_test
