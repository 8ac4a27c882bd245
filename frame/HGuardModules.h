#pragma once
// Starts the protections that the agent adds beyond the policy records, as
// its `guard` settings switch them on. The one place where they are wired
// into the plug-in: with every switch off nothing here runs.
#include "host/HGuardSettings.h"

class HGuardModules {
 public:
  // Called once by start-up, after the guard, the callbacks and capture
  // registration exist.
  static void start(const HGuardSettings& settings);
};
