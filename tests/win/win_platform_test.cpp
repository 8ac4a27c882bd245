// The Windows side of the platform and host layers where it differs from
// Linux: the dashed "arp -s" command and the system folder it starts in,
// real processes, IP Helper as the default ARP table, paths with drive
// letters, UTF-16 text, the agent's folders, and the clock behind _time64.
#include <gtest/gtest.h>

#include <filesystem>

#include "arpguard/ArpBind.h"
#include "host/ARPSpoofingReport_Local.h"
#include "host/HArchiveFile.h"
#include "host/HDataCenter.h"
#include "host/HEnvironment.h"
#include "host/HFileLog.h"
#include "host/HFileUtil.h"
#include "platform/ArpCommand.h"
#include "platform/IpHelper.h"
#include "platform/MemoryArpTable.h"
#include "platform/Utf8.h"
#include "platform/WinProcess.h"
#include "platform/WinString.h"
#include "platform/WinTime.h"
#include "platform/win/IpHelperArpTable.h"
#include "platform/win/Native.h"
#include "tests/support/TestHome.h"
#include "tests/support/arpguard_support.h"

using namespace arpguard_test;

namespace {

bool ends_with_ignoring_case(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && _wcsicmp(text.c_str() + text.size() - end.size(), end.c_str()) == 0;
}

STARTUPINFOW hidden_start() {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  return si;
}

}  // namespace

TEST(WindowsArpCommand, AddressWithoutRowIsBoundByTheDashedCommandHiddenInSystem32) {
  GuardEnv env;
  ProcessRecorder processes;
  DebugRecorder debug;
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
  EXPECT_TRUE(ends_with_ignoring_case(launches[0].current_directory, L"\\system32"));
  EXPECT_EQ(1u, debug.count_containing("arp -s 10.77.1.1 02-77-00-00-01-01"));
  EXPECT_EQ(0u, env.table().set_count());
}

TEST(WindowsArpCommand, ReplayTableTakesTheWindowsCommandLineAndGivesHandlesToClose) {
  MIB_IPNETROW gateway = row(kGatewayIp, kSpooferMac, MIB_IPNET_TYPE_DYNAMIC, 3);
  platform::install_virtual_arp_table({gateway});
  wchar_t line[] = L"C:\\Windows\\System32\\ARP.EXE -s 10.77.1.1 02-77-00-00-01-01";
  STARTUPINFOW si = hidden_start();
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  EXPECT_NE(0u, pi.dwProcessId);
  EXPECT_TRUE(CloseHandle(pi.hProcess));
  EXPECT_TRUE(CloseHandle(pi.hThread));
  EXPECT_FALSE(CloseHandle(nullptr));
  ULONG size = platform::ip_net_table_size(1);
  std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
  ASSERT_EQ(NO_ERROR, GetIpNetTable(reinterpret_cast<PMIB_IPNETTABLE>(buffer.data()), &size, FALSE));
  MIB_IPNETTABLE* table = reinterpret_cast<PMIB_IPNETTABLE>(buffer.data());
  ASSERT_EQ(1u, table->dwNumEntries);
  EXPECT_EQ(MIB_IPNET_TYPE_STATIC, table->table[0].dwType);
  EXPECT_EQ(kGatewayMac, mac_of(table->table[0]));
  // Anything but "arp -s IP MAC" is not run against the replay's table.
  wchar_t other[] = L"notarp -s 10.77.1.1 02-77-00-00-01-01";
  EXPECT_FALSE(CreateProcessW(nullptr, other, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  DWORD address = 0;
  BYTE mac[6];
  EXPECT_FALSE(platform::parse_arp_set_command(L"arp -s 10.77.1.256 02-77-00-00-01-01", address, mac));
  EXPECT_FALSE(platform::parse_arp_set_command(L"arp -s 10.77.1 02-77-00-00-01-01", address, mac));
  EXPECT_FALSE(platform::parse_arp_set_command(L"arp -s 010.077.001.0001 02-77-00-00-01-01", address, mac));
  EXPECT_TRUE(platform::parse_arp_set_command(L"Arp -s 10.77.1.9 02:77:00:00:01:0A", address, mac));
  EXPECT_EQ(0x09014d0au, address);
  platform::set_process_launcher(nullptr);
  platform::set_arp_table_backend(nullptr);
}

TEST(WindowsProcess, RealProcessStartsAndMissingProgramSaysFileNotFound) {
  platform::set_process_launcher(nullptr);
  STARTUPINFOW si = hidden_start();
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

TEST(WindowsIpHelper, IpHelperIsTheTableUnlessAnotherIsInstalled) {
  platform::set_arp_table_backend(nullptr);
  EXPECT_NE(nullptr, dynamic_cast<platform::IpHelperArpTable*>(platform::arp_table_backend()));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetIpNetTable(nullptr, nullptr, FALSE));
  ULONG size = 0;
  DWORD ret = GetIpNetTable(nullptr, &size, FALSE);
  ASSERT_TRUE(ret == ERROR_INSUFFICIENT_BUFFER || ret == ERROR_NO_DATA) << ret;
  if (ret == ERROR_INSUFFICIENT_BUFFER) {
    std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
    ASSERT_EQ(NO_ERROR, GetIpNetTable(reinterpret_cast<PMIB_IPNETTABLE>(buffer.data()), &size, TRUE));
    EXPECT_LE(platform::ip_net_table_size(buffer[0]), size);
  }
  std::vector<MIB_IPNETROW> rows;
  EXPECT_EQ(NO_ERROR, platform::arp_table_backend()->read_rows(rows));
  platform::MemoryArpTable memory({row(kGatewayIp, kGatewayMac, MIB_IPNET_TYPE_DYNAMIC)});
  platform::set_arp_table_backend(&memory);
  EXPECT_EQ(&memory, platform::arp_table_backend());
  platform::set_arp_table_backend(nullptr);
}

TEST(WindowsPaths, DriveLettersAndRootsAreAbsoluteAndKeepFilesWhereNamed) {
  EXPECT_TRUE(HFileUtil::is_absolute(L"C:/tidewell"));
  EXPECT_TRUE(HFileUtil::is_absolute(L"z:\\tmp"));
  EXPECT_TRUE(HFileUtil::is_absolute(L"/tmp"));
  EXPECT_TRUE(HFileUtil::is_absolute(L"\\\\server\\share"));
  EXPECT_FALSE(HFileUtil::is_absolute(L"C:relative"));
  EXPECT_FALSE(HFileUtil::is_absolute(L"arc_file\\his_arp_attack"));
  EXPECT_FALSE(HFileUtil::is_absolute(L""));
  EXPECT_EQ("C:/", HFileUtil::dir_name("C:/x"));

  tidewell_test::TestHome home("win-paths");
  tidewell_test::TempDir elsewhere("win-paths-elsewhere");
  ASSERT_TRUE(HFileUtil::is_absolute(HString(elsewhere.path())));
  HArchiveFile archive;
  archive.set_name(HString(elsewhere.file("arc\\queue")));
  archive.get_mem().set_version(173);
  ASSERT_EQ(0, archive.prepare_write());
  archive.get_mem().write_basic(42);
  ASSERT_EQ(0, archive.commit_write());
  // Written twice: the second rename replaces the first archive.
  ASSERT_EQ(0, archive.prepare_write());
  archive.get_mem().write_basic(43);
  ASSERT_EQ(0, archive.commit_write());
  EXPECT_TRUE(std::filesystem::exists(elsewhere.file("arc/queue")));
  ASSERT_EQ(0, archive.prepare_read());
  int value = 0;
  EXPECT_EQ(0, archive.get_mem().read_basic(value));
  EXPECT_EQ(43, value);

  HDataCenter::set_core_dir(HString(elsewhere.file("core")));
  std::vector<ARPSpoofingReport_Local> block(1);
  block[0].strPolicyID = L"p1";
  int result = -1;
  HDataCenter::report_void_to_core(L"NetSecurity", L"AntiARPSpoofing", &block, 0, result);
  EXPECT_EQ(0, result);
  EXPECT_TRUE(std::filesystem::exists(elsewhere.file("core/reports.jsonl")));
  EXPECT_FALSE(std::filesystem::exists(home.file("core/reports.jsonl")));
}

TEST(WindowsEnvironment, HomeIsTheProgramsFolderUntilSetAndSystem32IsTheSystems) {
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
