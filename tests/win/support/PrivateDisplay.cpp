// Windows build of the tests: the window layer's windows are Win32 dialogs,
// real in every mode; there is no GTK and no X server to start, so the cases
// written for GTK windows do not run here.
#include "tests/support/PrivateDisplay.h"

namespace dhcpguard_test {

bool start_private_display() { return false; }

}  // namespace dhcpguard_test
