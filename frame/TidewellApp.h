#pragma once
// The module's application object: one global instance, built when the
// module is loaded. It has no behaviour of its own.
#include "platform/WinTypes.h"

class TidewellApp {
 public:
  TidewellApp() = default;
  BOOL InitInstance();
};
