// The Windows test programs' main: GoogleTest's, but the process ends
// without the DLL detach phase of ExitProcess. A test may end while a thread
// the plug-in started is still on its way out (an alarm window closing, a
// probe thread past its last reference). ExitProcess kills such a thread
// wherever it is and then runs every DLL's detach code; when the killed
// thread held a lock that code takes (the heap's, the thread library's),
// the process never ends. The results are written by then, so the process
// is ended as a whole instead.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  std::fflush(stdout);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
  return result;
}
