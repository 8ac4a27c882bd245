#include "tests/win/DialogTemplateReader.h"

namespace {

constexpr uint16_t kDsSetFont = 0x40;

class Cursor {
 public:
  Cursor(const unsigned char* bytes, size_t len) : p_bytes(bytes), ul_len(len) {}
  bool u16(uint16_t& v) {
    if (!can(2)) return false;
    v = static_cast<uint16_t>(p_bytes[ul_at] | p_bytes[ul_at + 1] << 8);
    ul_at += 2;
    return true;
  }
  bool s16(int16_t& v) {
    uint16_t u = 0;
    if (!u16(u)) return false;
    v = static_cast<int16_t>(u);
    return true;
  }
  bool u32(uint32_t& v) {
    uint16_t low = 0, high = 0;
    if (!u16(low) || !u16(high)) return false;
    v = static_cast<uint32_t>(low) | static_cast<uint32_t>(high) << 16;
    return true;
  }
  bool u8(uint8_t& v) {
    if (!can(1)) return false;
    v = p_bytes[ul_at++];
    return true;
  }
  bool text(std::u16string& out) {
    out.clear();
    for (uint16_t c = 0; u16(c);) {
      if (c == 0) return true;
      out += static_cast<char16_t>(c);
    }
    return false;
  }
  // Text, or 0xFFFF followed by an ordinal.
  bool text_or_ordinal(std::u16string& out, uint16_t& ordinal) {
    uint16_t first = 0;
    if (!can(2)) return false;
    first = static_cast<uint16_t>(p_bytes[ul_at] | p_bytes[ul_at + 1] << 8);
    if (first == 0xFFFF) {
      ul_at += 2;
      out.clear();
      return u16(ordinal);
    }
    return text(out);
  }
  bool align_dword() {
    size_t aligned = (ul_at + 3) & ~static_cast<size_t>(3);
    if (aligned > ul_len) return false;
    ul_at = aligned;
    return true;
  }

 private:
  bool can(size_t n) const { return ul_at <= ul_len && ul_len - ul_at >= n; }
  const unsigned char* p_bytes;
  size_t ul_len;
  size_t ul_at = 0;
};

bool read_item(Cursor& in, DialogItemFields& item) {
  uint16_t extra = 0;
  return in.align_dword() && in.u32(item.ul_help_id) && in.u32(item.ul_ex_style) && in.u32(item.ul_style) &&
         in.s16(item.x) && in.s16(item.y) && in.s16(item.cx) && in.s16(item.cy) && in.u32(item.ul_id) &&
         in.text_or_ordinal(item.str_class, item.us_class_ordinal) &&
         in.text_or_ordinal(item.str_title, item.us_title_ordinal) && in.u16(extra) && extra == 0;
}

}  // namespace

bool read_dialog_template(const unsigned char* bytes, size_t len, DialogFields& out) {
  if (!bytes) return false;
  Cursor in(bytes, len);
  uint16_t count = 0;
  uint16_t menu_ordinal = 0, class_ordinal = 0;
  if (!in.u16(out.us_version) || !in.u16(out.us_signature) || out.us_version != 1 || out.us_signature != 0xFFFF)
    return false;
  if (!in.u32(out.ul_help_id) || !in.u32(out.ul_ex_style) || !in.u32(out.ul_style) || !in.u16(count) ||
      !in.s16(out.x) || !in.s16(out.y) || !in.s16(out.cx) || !in.s16(out.cy) ||
      !in.text_or_ordinal(out.str_menu, menu_ordinal) || !in.text_or_ordinal(out.str_class, class_ordinal) ||
      !in.text(out.str_title)) {
    return false;
  }
  if (out.ul_style & kDsSetFont) {
    if (!in.u16(out.us_point_size) || !in.u16(out.us_weight) || !in.u8(out.uc_italic) || !in.u8(out.uc_charset) ||
        !in.text(out.str_typeface)) {
      return false;
    }
  }
  out.vt_items.assign(count, DialogItemFields{});
  for (DialogItemFields& item : out.vt_items) {
    if (!read_item(in, item)) return false;
  }
  return true;
}
