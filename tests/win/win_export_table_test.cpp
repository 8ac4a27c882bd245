// The export table of Tidewell.dll as the host agent sees it: exactly four
// exports, at the ordinals and under the names it looks up, and each name
// leading to the same function as its ordinal.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/win/DllResource.h"
#include "tests/win/PeImage.h"

namespace {

const char kSetConfigName[] = "?orvoSetConfig@@YAHPEBG0PEBDHH@Z";

std::string dll_path() {
  std::wstring wide = program_folder() + L"\\Tidewell.dll";
  return std::string(wide.begin(), wide.end());
}

std::map<uint32_t, std::string> expected_exports() {
  return {{1, "orvoHeartbeat"}, {2, "orvoInit2"}, {3, "orvoInit"}, {4, kSetConfigName}};
}

typedef int (*SetConfigFn)(const unsigned short*, const unsigned short*, const char*, int, int);
typedef int (*PlainFn)();

}  // namespace

TEST(ExportTable, TidewellIsA64BitDllWithExactlyTheFourExports) {
  PeImage image;
  ASSERT_TRUE(image.load(dll_path())) << image.error();
  EXPECT_EQ(PeImage::kMachineAmd64, image.machine());
  EXPECT_EQ(PeImage::kMagicPe32Plus, image.optional_magic());
  EXPECT_TRUE(image.is_dll());
  EXPECT_EQ("Tidewell.dll", image.dll_name());
  EXPECT_EQ(1u, image.ordinal_base());
  std::map<uint32_t, std::string> found;
  for (const PeExport& e : image.exports()) {
    EXPECT_NE(0u, e.ul_rva) << "ordinal " << e.ul_ordinal << " has no function";
    found[e.ul_ordinal] = e.str_name;
  }
  EXPECT_EQ(expected_exports(), found);
}

TEST(ExportTable, EachNameLeadsToTheFunctionOfItsOrdinal) {
  HMODULE module = ::LoadLibraryW((program_folder() + L"\\Tidewell.dll").c_str());
  ASSERT_NE(nullptr, module) << "LoadLibraryW failed, error " << ::GetLastError();
  for (const auto& entry : expected_exports()) {
    FARPROC by_name = ::GetProcAddress(module, entry.second.c_str());
    FARPROC by_ordinal = ::GetProcAddress(module, MAKEINTRESOURCEA(entry.first));
    ASSERT_NE(nullptr, by_name) << entry.second;
    EXPECT_EQ(by_name, by_ordinal) << entry.second << " is not ordinal " << entry.first;
  }
  // The C++ name of the function is not exported beside the MSVC one.
  EXPECT_EQ(nullptr, ::GetProcAddress(module, "_Z13orvoSetConfigPKtS0_PKcii"));
  EXPECT_EQ(nullptr, ::GetProcAddress(module, MAKEINTRESOURCEA(5)));
}

TEST(ExportTable, SetConfigAndHeartbeatAnswerZeroBeforeStartUp) {
  HMODULE module = ::LoadLibraryW((program_folder() + L"\\Tidewell.dll").c_str());
  ASSERT_NE(nullptr, module);
  SetConfigFn set_config = reinterpret_cast<SetConfigFn>(reinterpret_cast<void*>(::GetProcAddress(module, kSetConfigName)));
  PlainFn heartbeat = reinterpret_cast<PlainFn>(reinterpret_cast<void*>(::GetProcAddress(module, "orvoHeartbeat")));
  PlainFn init2 = reinterpret_cast<PlainFn>(reinterpret_cast<void*>(::GetProcAddress(module, "orvoInit2")));
  ASSERT_NE(nullptr, set_config);
  ASSERT_NE(nullptr, heartbeat);
  ASSERT_NE(nullptr, init2);
  const unsigned short name[] = {'N', 'e', 't', 0};
  EXPECT_EQ(0, set_config(nullptr, nullptr, nullptr, 0, 0));
  EXPECT_EQ(0, set_config(name, name, "x", -1, 7));
  EXPECT_EQ(0, heartbeat());
  EXPECT_EQ(0, init2());
}

TEST(PeReader, DamagedImagesAreRefusedWithoutReadingPastTheEnd) {
  std::vector<unsigned char> bytes;
  {
    std::FILE* file = std::fopen(dll_path().c_str(), "rb");
    ASSERT_NE(nullptr, file);
    unsigned char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), file)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
  }
  // Cut inside the headers, inside the section table, and just before the end.
  for (size_t keep : {size_t{0}, size_t{64}, size_t{300}, size_t{600}, bytes.size() / 2}) {
    std::vector<unsigned char> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keep));
    PeImage damaged;
    EXPECT_FALSE(damaged.parse(cut)) << "cut at " << keep;
  }
  // A PE header said to lie beyond the file.
  std::vector<unsigned char> beyond = bytes;
  beyond[0x3c] = 0x00;
  beyond[0x3d] = 0xff;
  beyond[0x3e] = 0xff;
  beyond[0x3f] = 0x7f;
  PeImage damaged;
  EXPECT_FALSE(damaged.parse(beyond));
}
