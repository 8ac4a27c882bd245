#pragma once
// Reads what the tests need from a PE32+ file as bytes: the export table
// (names, ordinals, addresses) and the machine. Every offset and count taken
// from the file is checked against its length before it is followed.
#include <cstdint>
#include <string>
#include <vector>

struct PeExport {
  uint32_t ul_ordinal = 0;  // biased: as the loader and the host see it
  uint32_t ul_rva = 0;
  std::string str_name;     // empty for an export by ordinal only
};

class PeImage {
 public:
  static constexpr uint16_t kMachineAmd64 = 0x8664;
  static constexpr uint16_t kMagicPe32Plus = 0x20b;

  // false with error() when the bytes are no PE image or a table lies
  // outside them.
  bool parse(const std::vector<unsigned char>& bytes);
  bool load(const std::string& path);

  uint16_t machine() const { return us_machine; }
  uint16_t optional_magic() const { return us_magic; }
  bool is_dll() const { return b_dll; }
  const std::string& dll_name() const { return str_dll_name; }
  uint32_t ordinal_base() const { return ul_ordinal_base; }
  const std::vector<PeExport>& exports() const { return vt_exports; }
  const std::string& error() const { return str_error; }

 private:
  struct Section {
    uint32_t ul_rva;
    uint32_t ul_size;
    uint32_t ul_file_offset;
    uint32_t ul_file_size;
  };

  bool fail(const std::string& why);
  bool read16(size_t at, uint16_t& value) const;
  bool read32(size_t at, uint32_t& value) const;
  // File offset of an RVA, inside the bytes of its section.
  bool offset_of(uint32_t rva, size_t& offset) const;
  bool read_text(uint32_t rva, std::string& text) const;
  bool parse_sections(size_t at, uint16_t count);
  bool parse_exports(uint32_t rva, uint32_t size);

  std::vector<unsigned char> vt_bytes;
  std::vector<Section> vt_sections;
  uint16_t us_machine = 0;
  uint16_t us_magic = 0;
  bool b_dll = false;
  std::string str_dll_name;
  uint32_t ul_ordinal_base = 0;
  std::vector<PeExport> vt_exports;
  std::string str_error;
};
