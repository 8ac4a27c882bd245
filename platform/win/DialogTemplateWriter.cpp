#include "platform/win/DialogTemplateWriter.h"

#include <cstring>

namespace platform {

namespace {

class TemplateBytes {
 public:
  void word(WORD value) { append(&value, sizeof(value)); }
  void dword(DWORD value) { append(&value, sizeof(value)); }
  void coordinate(short value) { append(&value, sizeof(value)); }
  void byte(BYTE value) { append(&value, sizeof(value)); }
  // A zero-terminated text, or 0xFFFF and the ordinal of an int resource;
  // null is an empty text.
  void text_or_ordinal(LPCWSTR text) {
    if (text && IS_INTRESOURCE(text)) {
      word(0xFFFF);
      word(static_cast<WORD>(reinterpret_cast<uintptr_t>(text)));
      return;
    }
    for (const wchar_t* c = text; c && *c; ++c) word(static_cast<WORD>(*c));
    word(0);
  }
  void align_dword() {
    while (vt_bytes.size() % sizeof(DWORD)) vt_bytes.push_back(0);
  }
  std::vector<DWORD> dwords() const {
    std::vector<DWORD> out((vt_bytes.size() + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    if (!vt_bytes.empty()) std::memcpy(out.data(), vt_bytes.data(), vt_bytes.size());
    return out;
  }

 private:
  void append(const void* data, size_t length) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    vt_bytes.insert(vt_bytes.end(), p, p + length);
  }
  std::vector<unsigned char> vt_bytes;
};

// The predefined control classes by ordinal, as the resource compiler
// writes them.
LPCWSTR class_ordinal(LPCWSTR window_class) {
  static const struct {
    const wchar_t* name;
    WORD ordinal;
  } kClasses[] = {{L"BUTTON", 0x0080}, {L"EDIT", 0x0081}, {L"STATIC", 0x0082}};
  if (!window_class || IS_INTRESOURCE(window_class)) return window_class;
  for (const auto& known : kClasses) {
    const wchar_t* a = known.name;
    const wchar_t* b = window_class;
    while (*a && (*b == *a || *b == *a + (L'a' - L'A'))) ++a, ++b;
    if (!*a && !*b) return MAKEINTRESOURCEW(known.ordinal);
  }
  return window_class;
}

void write_item(TemplateBytes& out, const DLGITEMTEMPLATEEX& item) {
  out.align_dword();
  out.dword(item.helpID);
  out.dword(item.exStyle);
  out.dword(item.style);
  out.coordinate(item.x);
  out.coordinate(item.y);
  out.coordinate(item.cx);
  out.coordinate(item.cy);
  out.dword(item.id);
  out.text_or_ordinal(class_ordinal(item.windowClass));
  out.text_or_ordinal(item.title);
  out.word(0);  // no creation data
}

}  // namespace

std::vector<DWORD> write_dialog_template(const DLGTEMPLATEEX& dialog_template) {
  TemplateBytes out;
  out.word(1);
  out.word(0xFFFF);
  out.dword(dialog_template.helpID);
  out.dword(dialog_template.exStyle);
  out.dword(dialog_template.style);
  WORD count = dialog_template.items ? dialog_template.cDlgItems : 0;
  out.word(count);
  out.coordinate(dialog_template.x);
  out.coordinate(dialog_template.y);
  out.coordinate(dialog_template.cx);
  out.coordinate(dialog_template.cy);
  out.word(0);  // no menu
  out.word(0);  // the dialog class
  out.text_or_ordinal(dialog_template.title);
  if (dialog_template.style & DS_SETFONT) {
    out.word(dialog_template.pointsize);
    out.word(dialog_template.weight);
    out.byte(dialog_template.italic);
    out.byte(dialog_template.charset);
    out.text_or_ordinal(dialog_template.typeface);
  }
  for (WORD i = 0; i < count; ++i) write_item(out, dialog_template.items[i]);
  return out.dwords();
}

}  // namespace platform
