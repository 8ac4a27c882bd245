// The Windows side of the platform and host layers where it differs from
// Linux: the dashed "arp -s" command and the system folder it starts in,
// real processes, IP Helper as the default ARP table, paths with drive
// letters, and the agent's folders.
#include <gtest/gtest.h>

#include "arpguard/ArpBind.h"
#include "host/HEnvironment.h"
#include "host/HFileUtil.h"
#include "platform/ArpCommand.h"
#include "platform/IpHelper.h"
#include "platform/Utf8.h"
#include "platform/WinProcess.h"
#include "platform/WinTime.h"
#include "platform/win/IpHelperArpTable.h"
#include "platform/win/Native.h"
#include "tests/support/arpguard_support.h"

using namespace arpguard_test;

namespace {

bool ends_with_ignoring_case(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && _wcsicmp(text.c_str() + text.size() - end.size(), end.c_str()) == 0;
}

}  // namespace

TEST(WindowsArpCommand, AddressWithoutRowIsBoundByTheDashedCommandHiddenInSystem32) {
  GuardEnv env;
  ProcessRecorder processes;
  env.table().set_rows({row(kOtherIp, kOtherMac, MIB_IPNET_TYPE_DYNAMIC, 2)});
  HBindAttempt attempt = bind_ip_mac(HString(kGatewayIp), HString(kGatewayMac), MIB_IPNET_TYPE_STATIC);
  ASSERT_EQ(HBindAttempt::Kind::kCommandStarted, attempt.kind);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(attempt.process.hProcess, 0));  // a stand-in has ended
  EXPECT_TRUE(CloseHandle(attempt.process.hProcess));
  EXPECT_TRUE(CloseHandle(attempt.process.hThread));
  std::vector<platform::ProcessLaunch> launches = processes.launches();
  ASSERT_EQ(1u, launches.size());
  ASSERT_TRUE(platform::arp_command_uses_dashes());
  EXPECT_EQ(L"arp -s 10.77.1.1 02-77-00-00-01-01", launches[0].command_line);
  EXPECT_TRUE(launches[0].application.empty());
  EXPECT_TRUE(launches[0].hidden);
  EXPECT_EQ(HEnvironment::GetWindowsSystem32Dir(false).wstr(), launches[0].current_directory);
  EXPECT_EQ(0u, env.table().set_count());
}

TEST(WindowsProcess, RealProcessStartsAndMissingProgramSaysFileNotFound) {
  platform::set_process_launcher(nullptr);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  wchar_t line[] = L"cmd.exe /c exit 3";
  ASSERT_TRUE(CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  EXPECT_NE(nullptr, pi.hProcess);
  EXPECT_NE(0u, pi.dwProcessId);
  EXPECT_TRUE(CloseHandle(pi.hThread));
  EXPECT_TRUE(CloseHandle(pi.hProcess));
  PROCESS_INFORMATION untouched{};
  wchar_t missing[] = L"tidewell-no-such-program.exe -s 1.2.3.4";
  EXPECT_FALSE(CreateProcessW(nullptr, missing, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &untouched));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
  EXPECT_EQ(nullptr, untouched.hProcess);
  EXPECT_FALSE(CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

TEST(WindowsIpHelper, WithoutAnotherTableIpHelperReadsTheSystemsTable) {
  platform::set_arp_table_backend(nullptr);
  EXPECT_NE(nullptr, dynamic_cast<platform::IpHelperArpTable*>(platform::arp_table_backend()));
  std::vector<MIB_IPNETROW> rows;
  EXPECT_EQ(NO_ERROR, platform::arp_table_backend()->read_rows(rows));
}

TEST(WindowsPaths, DriveLettersAndRootsAreAbsolute) {
  EXPECT_TRUE(HFileUtil::is_absolute(L"C:/tidewell"));
  EXPECT_TRUE(HFileUtil::is_absolute(L"z:\\tmp"));
  EXPECT_TRUE(HFileUtil::is_absolute(L"/tmp"));
  EXPECT_TRUE(HFileUtil::is_absolute(L"\\\\server\\share"));
  EXPECT_FALSE(HFileUtil::is_absolute(L"C:relative"));
  EXPECT_FALSE(HFileUtil::is_absolute(L"arc_file\\his_arp_attack"));
  EXPECT_FALSE(HFileUtil::is_absolute(L""));
  EXPECT_EQ("C:/", HFileUtil::dir_name("C:/x"));
}

TEST(WindowsEnvironment, HomeIsTheProgramsFolderUntilSetAndSystem32IsTheSystems) {
  HEnvironment::set_home(L"");  // an earlier test of this program may have set one
  std::wstring program = HFileUtil::normalize(HString(platform::native::module_file_name(nullptr))).wstr();
  std::wstring folder = program.substr(0, program.find_last_of(L'/'));
  EXPECT_EQ(folder, HEnvironment::GetMyExeFullFilePath(false).wstr());
  EXPECT_EQ(folder + L"/", HEnvironment::GetMyExeFullFilePath(true).wstr());
  HEnvironment::set_home(L"C:\\agent\\home\\");
  EXPECT_EQ(L"C:/agent/home", HEnvironment::GetMyExeFullFilePath(false).wstr());
  std::wstring system = HEnvironment::GetWindowsSystem32Dir(false).wstr();
  EXPECT_TRUE(ends_with_ignoring_case(system, L"\\system32")) << platform::wide_to_utf8(system);
  EXPECT_EQ(system + L"\\", HEnvironment::GetWindowsSystem32Dir(true).wstr());
  HEnvironment::set_home(L"");
}
