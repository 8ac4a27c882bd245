// CreateProcessW over posix_spawn: the program is found as Windows would find
// it, runs hidden in the given directory with only the standard handles, and
// is never left a zombie.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "platform/WinProcess.h"
#include "platform/WinTime.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHome.h"
#include "tests/support/TestHome.h"

using tidewell_test::eventually;

namespace {

// Long enough for a loaded machine, bounded all the same.
constexpr int kWaitMs = 10000;

// True once the process is gone from the process table (reaped).
bool reaped(DWORD pid) { return ::access(("/proc/" + std::to_string(pid) + "/stat").c_str(), F_OK) != 0; }

class PlatformProcessTest : public ::testing::Test {
 protected:
  void script(const std::string& name, const std::string& body) {
    std::string path = str_dir + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    ::chmod(path.c_str(), 0755);
  }

  BOOL start(const std::wstring& command_line, PROCESS_INFORMATION& info, bool hidden = true) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = hidden ? STARTF_USESHOWWINDOW : 0;
    si.wShowWindow = SW_HIDE;
    std::vector<wchar_t> line(command_line.begin(), command_line.end());
    line.push_back(L'\0');
    std::wstring dir(str_dir.begin(), str_dir.end());
    return CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &info);
  }

  // The file once the child has written it completely (it ends with "end").
  std::string wait_for_file(const std::string& name) {
    std::string path = str_dir + "/" + name;
    bool done = eventually([&] { return tidewell_test::read_file(path).find("end\n") != std::string::npos; }, kWaitMs);
    return done ? tidewell_test::read_file(path) : "<timeout>";
  }

  tidewell_test::TempDir tmp_dir{"platform-process"};
  const std::string str_dir = tmp_dir.path();
};

TEST_F(PlatformProcessTest, HiddenProgramWritesToNowhereAndInheritsNoHandle) {
  int fd = ::open("/dev/null", O_RDONLY);  // no close-on-exec
  ASSERT_GE(fd, 0);
  ASSERT_EQ(50, ::dup2(fd, 50));
  script("tw-fds",
         "out=$(readlink /proc/$$/fd/1); err=$(readlink /proc/$$/fd/2); "
         "if [ -e /proc/$$/fd/50 ]; then inherited=inherited; fi; "
         "printf '%s\\n%s\\n%send\\n' \"$out\" \"$err\" \"$inherited\" > out.txt");
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(start(L"tw-fds", info));
  EXPECT_EQ("/dev/null\n/dev/null\nend\n", wait_for_file("out.txt"));
  ::close(50);
  ::close(fd);
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
}

TEST_F(PlatformProcessTest, MissingProgramFailsAndLeavesTheInformationAlone) {
  PROCESS_INFORMATION info{};
  info.dwProcessId = 77;
  SetLastError(0);
  EXPECT_FALSE(start(L"tw-no-such-program-here 1 2", info));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
  EXPECT_EQ(77u, info.dwProcessId);
  EXPECT_EQ(nullptr, info.hProcess);
  EXPECT_FALSE(start(L"   ", info));
}

TEST_F(PlatformProcessTest, ChildIsReapedWhetherOrNotItsHandlesAreClosed) {
  PROCESS_INFORMATION closed{};
  ASSERT_TRUE(start(L"true", closed));
  EXPECT_TRUE(CloseHandle(closed.hProcess));
  EXPECT_TRUE(CloseHandle(closed.hThread));
  PROCESS_INFORMATION kept{};
  ASSERT_TRUE(start(L"true", kept));
  EXPECT_TRUE(eventually([&] { return reaped(closed.dwProcessId) && reaped(kept.dwProcessId); }, kWaitMs));
}

// A command that hangs is ended by TerminateProcess and reaped by the time
// the wait returns; one that ends on its own gives its exit code.
TEST_F(PlatformProcessTest, HangingChildIsKilledAndReapedAndExitCodesAreKept) {
  PROCESS_INFORMATION hanging{};
  ASSERT_TRUE(start(L"sleep 30", hanging));
  DWORD code = 0;
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hanging.hProcess, 0));
  EXPECT_TRUE(GetExitCodeProcess(hanging.hProcess, &code));
  EXPECT_EQ(STILL_ACTIVE, code);
  EXPECT_TRUE(TerminateProcess(hanging.hProcess, 9));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hanging.hProcess, 10000));
  EXPECT_TRUE(reaped(hanging.dwProcessId));
  EXPECT_TRUE(GetExitCodeProcess(hanging.hProcess, &code));
  EXPECT_EQ(9u, code);
  EXPECT_FALSE(TerminateProcess(hanging.hProcess, 9));

  PROCESS_INFORMATION ending{};
  ASSERT_TRUE(start(L"sh -c \"exit 3\"", ending));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ending.hThread, INFINITE));
  EXPECT_TRUE(GetExitCodeProcess(ending.hProcess, &code));
  EXPECT_EQ(3u, code);
  for (HANDLE handle : {hanging.hProcess, hanging.hThread, ending.hProcess, ending.hThread}) CloseHandle(handle);
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(ending.hProcess, 0));
  EXPECT_FALSE(TerminateProcess(ending.hProcess, 1));
}

TEST(PlatformCommandLineTest, WordsSplitAsWindowsSplitsThem) {
  typedef std::vector<std::wstring> Words;
  EXPECT_EQ((Words{L"arp", L"-s", L"10.77.1.1", L"02:77:00:00:01:01"}),
            platform::split_command_line(L"  arp  -s\t10.77.1.1 02:77:00:00:01:01 "));
  EXPECT_EQ((Words{L"a b", L"c"}), platform::split_command_line(L"\"a b\" c"));
  EXPECT_EQ((Words{L"a\"b"}), platform::split_command_line(L"a\\\"b"));
  EXPECT_EQ((Words{L"a\\b"}), platform::split_command_line(L"a\\b"));
  EXPECT_EQ((Words{L"a\\", L"b"}), platform::split_command_line(L"\"a\\\\\" b"));
  EXPECT_EQ((Words{L""}), platform::split_command_line(L"\"\""));
  EXPECT_TRUE(platform::split_command_line(L"").empty());
}

}  // namespace
