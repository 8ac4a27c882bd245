#include "tests/win/PeImage.h"

#include <fstream>
#include <iterator>

namespace {
constexpr size_t kDosLfanew = 0x3c;
constexpr size_t kFileHeaderLen = 20;
constexpr size_t kSectionLen = 40;
constexpr uint16_t kFileDll = 0x2000;
constexpr size_t kPe32PlusDataDirectories = 112;  // in the optional header
constexpr uint32_t kMaxExports = 65536;
constexpr size_t kMaxNameLen = 4096;
}  // namespace

bool PeImage::fail(const std::string& why) {
  str_error = why;
  return false;
}

bool PeImage::read16(size_t at, uint16_t& value) const {
  if (at > vt_bytes.size() || vt_bytes.size() - at < 2) return false;
  value = static_cast<uint16_t>(vt_bytes[at] | vt_bytes[at + 1] << 8);
  return true;
}

bool PeImage::read32(size_t at, uint32_t& value) const {
  if (at > vt_bytes.size() || vt_bytes.size() - at < 4) return false;
  value = static_cast<uint32_t>(vt_bytes[at]) | static_cast<uint32_t>(vt_bytes[at + 1]) << 8 |
          static_cast<uint32_t>(vt_bytes[at + 2]) << 16 | static_cast<uint32_t>(vt_bytes[at + 3]) << 24;
  return true;
}

bool PeImage::offset_of(uint32_t rva, size_t& offset) const {
  for (const Section& s : vt_sections) {
    if (rva >= s.ul_rva && rva - s.ul_rva < s.ul_file_size) {
      offset = static_cast<size_t>(s.ul_file_offset) + (rva - s.ul_rva);
      return offset < vt_bytes.size();
    }
  }
  return false;
}

bool PeImage::read_text(uint32_t rva, std::string& text) const {
  size_t at = 0;
  if (!offset_of(rva, at)) return false;
  text.clear();
  for (; at < vt_bytes.size() && text.size() < kMaxNameLen; ++at) {
    if (vt_bytes[at] == 0) return true;
    text += static_cast<char>(vt_bytes[at]);
  }
  return false;  // no terminating zero inside the file
}

bool PeImage::parse_sections(size_t at, uint16_t count) {
  for (uint16_t i = 0; i < count; ++i, at += kSectionLen) {
    Section s{};
    uint32_t virtual_size = 0;
    if (!read32(at + 8, virtual_size) || !read32(at + 12, s.ul_rva) || !read32(at + 16, s.ul_file_size) ||
        !read32(at + 20, s.ul_file_offset)) {
      return fail("section table cut short");
    }
    s.ul_size = virtual_size;
    if (s.ul_file_size > virtual_size && virtual_size > 0) s.ul_file_size = virtual_size;
    if (s.ul_file_offset > vt_bytes.size() || vt_bytes.size() - s.ul_file_offset < s.ul_file_size)
      return fail("section outside the file");
    vt_sections.push_back(s);
  }
  return true;
}

bool PeImage::parse_exports(uint32_t rva, uint32_t size) {
  size_t at = 0;
  if (rva == 0 || size < 40 || !offset_of(rva, at)) return fail("no export directory");
  uint32_t name_rva = 0, functions = 0, names = 0, functions_rva = 0, names_rva = 0, ordinals_rva = 0;
  if (!read32(at + 12, name_rva) || !read32(at + 16, ul_ordinal_base) || !read32(at + 20, functions) ||
      !read32(at + 24, names) || !read32(at + 28, functions_rva) || !read32(at + 32, names_rva) ||
      !read32(at + 36, ordinals_rva)) {
    return fail("export directory cut short");
  }
  if (functions > kMaxExports || names > functions) return fail("implausible export counts");
  if (!read_text(name_rva, str_dll_name)) return fail("export name of the DLL unreadable");
  size_t functions_at = 0, names_at = 0, ordinals_at = 0;
  if (functions && !offset_of(functions_rva, functions_at)) return fail("export address table outside the file");
  if (names && (!offset_of(names_rva, names_at) || !offset_of(ordinals_rva, ordinals_at)))
    return fail("export name tables outside the file");
  vt_exports.assign(functions, PeExport{});
  for (uint32_t i = 0; i < functions; ++i) {
    vt_exports[i].ul_ordinal = ul_ordinal_base + i;
    if (!read32(functions_at + 4 * static_cast<size_t>(i), vt_exports[i].ul_rva)) return fail("export address cut short");
  }
  for (uint32_t i = 0; i < names; ++i) {
    uint32_t entry_name_rva = 0;
    uint16_t index = 0;
    if (!read32(names_at + 4 * static_cast<size_t>(i), entry_name_rva) ||
        !read16(ordinals_at + 2 * static_cast<size_t>(i), index) || index >= functions) {
      return fail("export name entry cut short or out of range");
    }
    if (!read_text(entry_name_rva, vt_exports[index].str_name)) return fail("export name unreadable");
  }
  return true;
}

bool PeImage::parse(const std::vector<unsigned char>& bytes) {
  vt_bytes = bytes;
  vt_sections.clear();
  vt_exports.clear();
  uint32_t pe_at = 0;
  uint32_t signature = 0;
  if (vt_bytes.size() < 2 || vt_bytes[0] != 'M' || vt_bytes[1] != 'Z') return fail("no MZ header");
  if (!read32(kDosLfanew, pe_at) || !read32(pe_at, signature) || signature != 0x00004550) return fail("no PE header");
  size_t file_header = static_cast<size_t>(pe_at) + 4;
  uint16_t sections = 0, optional_len = 0, characteristics = 0;
  if (!read16(file_header, us_machine) || !read16(file_header + 2, sections) ||
      !read16(file_header + 16, optional_len) || !read16(file_header + 18, characteristics)) {
    return fail("file header cut short");
  }
  b_dll = (characteristics & kFileDll) != 0;
  size_t optional = file_header + kFileHeaderLen;
  if (!read16(optional, us_magic)) return fail("optional header cut short");
  if (us_magic != kMagicPe32Plus) return fail("not PE32+");
  uint32_t export_rva = 0, export_size = 0;
  if (optional_len < kPe32PlusDataDirectories + 8 || !read32(optional + kPe32PlusDataDirectories, export_rva) ||
      !read32(optional + kPe32PlusDataDirectories + 4, export_size)) {
    return fail("data directories cut short");
  }
  if (!parse_sections(optional + optional_len, sections)) return false;
  return parse_exports(export_rva, export_size);
}

bool PeImage::load(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return fail("cannot read " + path);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return parse(bytes);
}
