// Dialog 6011 as the resource compiler built it into Tidewell.dll from
// res/Tidewell.rc: style, size, caption, font and controls as the alarm
// window needs them, and the same as the template the window layer knows.
#include <gtest/gtest.h>

#include "res/TidewellDialogs.h"
#include "tests/win/DialogTemplateReader.h"
#include "tests/win/DllResource.h"

namespace {

constexpr uint16_t kChineseSimplified = 2052;
constexpr uint16_t kButtonClass = 0x0080;
constexpr uint16_t kEditClass = 0x0081;

std::u16string u16(const wchar_t* text) {
  std::u16string out;
  for (const wchar_t* c = text; c && *c; ++c) out += static_cast<char16_t>(*c);
  return out;
}

DialogFields read_alarm_dialog() {
  std::vector<unsigned char> bytes =
      dialog_resource_of(program_folder() + L"\\Tidewell.dll", IDD_DHCP_ALARM, kChineseSimplified);
  DialogFields fields;
  EXPECT_FALSE(bytes.empty()) << "Tidewell.dll holds no dialog 6011 in language 2052";
  EXPECT_TRUE(read_dialog_template(bytes.data(), bytes.size(), fields));
  return fields;
}

}  // namespace

TEST(AlarmDialogResource, DialogHasTheStyleSizeCaptionAndFont) {
  DialogFields d = read_alarm_dialog();
  EXPECT_EQ(0x80C808CAu, d.ul_style);
  EXPECT_EQ(0u, d.ul_ex_style);
  EXPECT_EQ(0, d.x);
  EXPECT_EQ(0, d.y);
  EXPECT_EQ(270, d.cx);
  EXPECT_EQ(99, d.cy);
  EXPECT_EQ(u"Dhcp \u6B3A\u9A97        ", d.str_title);
  EXPECT_EQ(15u, d.str_title.size());
  EXPECT_EQ(9, d.us_point_size);
  EXPECT_EQ(0, d.us_weight);
  EXPECT_EQ(0, d.uc_italic);
  EXPECT_EQ(0, d.uc_charset);
  EXPECT_EQ(u"MS Shell Dlg", d.str_typeface);
}

TEST(AlarmDialogResource, ControlsAreTheOkButtonAndTheReadOnlyEdit) {
  DialogFields d = read_alarm_dialog();
  ASSERT_EQ(2u, d.vt_items.size());
  const DialogItemFields& ok = d.vt_items[0];
  EXPECT_EQ(1u, ok.ul_id);
  EXPECT_EQ(kButtonClass, ok.us_class_ordinal);
  EXPECT_EQ(u"\u786E\u5B9A", ok.str_title);
  EXPECT_EQ(0x50010001u, ok.ul_style);
  EXPECT_EQ(110, ok.x);
  EXPECT_EQ(76, ok.y);
  EXPECT_EQ(50, ok.cx);
  EXPECT_EQ(16, ok.cy);
  const DialogItemFields& edit = d.vt_items[1];
  EXPECT_EQ(6021u, edit.ul_id);
  EXPECT_EQ(kEditClass, edit.us_class_ordinal);
  EXPECT_TRUE(edit.str_title.empty());
  EXPECT_EQ(0x50210844u, edit.ul_style);
  EXPECT_EQ(0u, edit.ul_ex_style);
  EXPECT_EQ(7, edit.x);
  EXPECT_EQ(7, edit.y);
  EXPECT_EQ(256, edit.cx);
  EXPECT_EQ(63, edit.cy);
}

TEST(AlarmDialogResource, ResourceAndTheWindowLayersTemplateAgree) {
  DialogFields d = read_alarm_dialog();
  const DLGTEMPLATEEX& t = tidewell_res::kDhcpAlarm;
  EXPECT_EQ(t.style, d.ul_style);
  EXPECT_EQ(t.exStyle, d.ul_ex_style);
  EXPECT_EQ(t.cx, d.cx);
  EXPECT_EQ(t.cy, d.cy);
  EXPECT_EQ(u16(t.title), d.str_title);
  EXPECT_EQ(t.pointsize, d.us_point_size);
  EXPECT_EQ(u16(t.typeface), d.str_typeface);
  ASSERT_EQ(t.cDlgItems, d.vt_items.size());
  for (size_t i = 0; i < d.vt_items.size(); ++i) {
    EXPECT_EQ(t.items[i].id, d.vt_items[i].ul_id);
    EXPECT_EQ(t.items[i].style, d.vt_items[i].ul_style);
    EXPECT_EQ(t.items[i].exStyle, d.vt_items[i].ul_ex_style);
    EXPECT_EQ(t.items[i].x, d.vt_items[i].x);
    EXPECT_EQ(t.items[i].cy, d.vt_items[i].cy);
    EXPECT_EQ(u16(t.items[i].title), d.vt_items[i].str_title);
  }
}

TEST(AlarmDialogResource, CutTemplateIsRefused) {
  std::vector<unsigned char> bytes =
      dialog_resource_of(program_folder() + L"\\Tidewell.dll", IDD_DHCP_ALARM, kChineseSimplified);
  ASSERT_FALSE(bytes.empty());
  DialogFields fields;
  for (size_t keep = 0; keep < bytes.size(); keep += 7) {
    EXPECT_FALSE(read_dialog_template(bytes.data(), keep, fields)) << "cut at " << keep;
  }
  EXPECT_FALSE(read_dialog_template(nullptr, bytes.size(), fields));
}
