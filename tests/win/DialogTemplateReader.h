#pragma once
// A binary DLGTEMPLATEEX (as the resource compiler writes it) read back into
// plain fields. Every field is read only after its bytes are known to be
// there; classes and titles given as 0xFFFF and an ordinal keep the ordinal.
#include <cstdint>
#include <string>
#include <vector>

struct DialogItemFields {
  uint32_t ul_help_id = 0;
  uint32_t ul_ex_style = 0;
  uint32_t ul_style = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  uint32_t ul_id = 0;
  std::u16string str_class;  // empty when given by ordinal
  uint16_t us_class_ordinal = 0;
  std::u16string str_title;
  uint16_t us_title_ordinal = 0;
};

struct DialogFields {
  uint16_t us_version = 0;
  uint16_t us_signature = 0;
  uint32_t ul_help_id = 0;
  uint32_t ul_ex_style = 0;
  uint32_t ul_style = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::u16string str_menu;
  std::u16string str_class;
  std::u16string str_title;
  uint16_t us_point_size = 0;
  uint16_t us_weight = 0;
  uint8_t uc_italic = 0;
  uint8_t uc_charset = 0;
  std::u16string str_typeface;
  std::vector<DialogItemFields> vt_items;
};

// false for bytes that are no complete DLGTEMPLATEEX.
bool read_dialog_template(const unsigned char* bytes, size_t len, DialogFields& out);
