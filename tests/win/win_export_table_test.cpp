// The export table of Tidewell.dll as the host agent sees it: a 64-bit DLL
// with exactly four exports, at the ordinals and under the names it looks
// up, each name leading to the same function as its ordinal (so no other
// name, such as the C++ one, is exported). The table is read from the
// headers of the image as the loader mapped it.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/win/DllResource.h"

namespace {

const char kSetConfigName[] = "?orvoSetConfig@@YAHPEBG0PEBDHH@Z";
const std::map<DWORD, std::string> kExports = {
    {1, "orvoHeartbeat"}, {2, "orvoInit2"}, {3, "orvoInit"}, {4, kSetConfigName}};

typedef int (*SetConfigFn)(const unsigned short*, const unsigned short*, const char*, int, int);

class ExportTable : public ::testing::Test {
 protected:
  void SetUp() override {
    module = ::LoadLibraryW((program_folder() + L"\\Tidewell.dll").c_str());
    ASSERT_NE(nullptr, module) << "LoadLibraryW failed, error " << ::GetLastError();
  }

  // What lies at `rva` in the mapped image.
  template <typename T>
  const T* at(DWORD rva) const {
    return reinterpret_cast<const T*>(reinterpret_cast<const BYTE*>(module) + rva);
  }

  template <typename Fn>
  Fn function(const char* name) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  }

  HMODULE module = nullptr;
};

}  // namespace

TEST_F(ExportTable, TidewellIsA64BitDllWithExactlyTheFourExports) {
  const IMAGE_NT_HEADERS64* headers = at<IMAGE_NT_HEADERS64>(at<IMAGE_DOS_HEADER>(0)->e_lfanew);
  EXPECT_EQ(IMAGE_FILE_MACHINE_AMD64, headers->FileHeader.Machine);
  EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR64_MAGIC, headers->OptionalHeader.Magic);
  EXPECT_NE(0, headers->FileHeader.Characteristics & IMAGE_FILE_DLL);
  const IMAGE_DATA_DIRECTORY& directory = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  ASSERT_GE(directory.Size, sizeof(IMAGE_EXPORT_DIRECTORY));
  const IMAGE_EXPORT_DIRECTORY* exports = at<IMAGE_EXPORT_DIRECTORY>(directory.VirtualAddress);
  EXPECT_STREQ("Tidewell.dll", at<char>(exports->Name));
  ASSERT_EQ(kExports.size(), exports->NumberOfFunctions);
  const DWORD* functions = at<DWORD>(exports->AddressOfFunctions);
  const DWORD* names = at<DWORD>(exports->AddressOfNames);
  const WORD* name_ordinals = at<WORD>(exports->AddressOfNameOrdinals);
  std::map<DWORD, std::string> found;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    ASSERT_LT(name_ordinals[i], exports->NumberOfFunctions);
    EXPECT_NE(0u, functions[name_ordinals[i]]) << at<char>(names[i]) << " has no function";
    found[exports->Base + name_ordinals[i]] = at<char>(names[i]);
    EXPECT_EQ(::GetProcAddress(module, at<char>(names[i])),
              ::GetProcAddress(module, MAKEINTRESOURCEA(exports->Base + name_ordinals[i])));
  }
  EXPECT_EQ(kExports, found);
}

// The other exports before start-up are frame_startup_test's, also run on
// Windows; orvoSetConfig is called here only, through its C++ name.
TEST_F(ExportTable, SetConfigAnswersZeroBeforeStartUp) {
  SetConfigFn set_config = function<SetConfigFn>(kSetConfigName);
  ASSERT_NE(nullptr, set_config);
  const unsigned short name[] = {'N', 'e', 't', 0};
  EXPECT_EQ(0, set_config(nullptr, nullptr, nullptr, 0, 0));
  EXPECT_EQ(0, set_config(name, name, "x", -1, 7));
}
