// The alarm dialog exists twice: as the Windows resource script and as the
// template the window layer builds from. Both must describe the same
// dialog, with the styles of the original resource.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>

#include "platform/Utf8.h"
#include "res/TidewellDialogs.h"
#include "tests/support/dhcpguard_support.h"

using namespace dhcpguard_test;

namespace {

const std::map<std::string, DWORD> kStyleNames = {
    {"WS_POPUP", WS_POPUP},           {"WS_CHILD", WS_CHILD},         {"WS_VISIBLE", WS_VISIBLE},
    {"WS_CAPTION", WS_CAPTION},       {"WS_BORDER", WS_BORDER},       {"WS_VSCROLL", WS_VSCROLL},
    {"WS_SYSMENU", WS_SYSMENU},       {"WS_TABSTOP", WS_TABSTOP},     {"DS_SYSMODAL", DS_SYSMODAL},
    {"DS_FIXEDSYS", DS_FIXEDSYS},     {"DS_SETFONT", DS_SETFONT},     {"DS_MODALFRAME", DS_MODALFRAME},
    {"DS_CENTER", DS_CENTER},         {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
    {"ES_MULTILINE", ES_MULTILINE},   {"ES_AUTOVSCROLL", ES_AUTOVSCROLL}, {"ES_READONLY", ES_READONLY},
};

std::string trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r");
  size_t end = text.find_last_not_of(" \t\r");
  return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(trim(part));
  return parts;
}

// "A | B | NOT C" applied to the resource compiler's default style.
DWORD styles(const std::string& expression, DWORD style) {
  for (const std::string& term : split(expression, '|')) {
    bool negated = term.rfind("NOT ", 0) == 0;
    std::string name = trim(negated ? term.substr(4) : term);
    EXPECT_EQ(1u, kStyleNames.count(name)) << "unknown style " << name;
    DWORD bit = kStyleNames.count(name) ? kStyleNames.at(name) : 0;
    style = negated ? (style & ~bit) : (style | bit);
  }
  return style;
}

struct ScriptControl {
  DWORD id = 0;
  std::wstring window_class;
  std::wstring text;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
};

struct Script {
  std::map<std::string, DWORD> defines = {{"IDOK", 1}};
  WORD language = 0;
  DWORD dialog_id = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  DWORD style = 0;
  std::wstring caption;
  WORD pointsize = 0;
  std::wstring typeface;
  std::vector<ScriptControl> controls;
};

void read_defines(Script& script) {
  std::regex define(R"(#define\s+(\w+)\s+(\d+))");
  std::istringstream in(read_file(std::string(TIDEWELL_SOURCE_DIR) + "/res/resource.h"));
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_search(line, m, define)) script.defines[m[1]] = static_cast<DWORD>(std::stoul(m[2]));
  }
}

short number(const std::string& text) { return static_cast<short>(std::stoi(text)); }

void read_control(Script& script, const std::string& line) {
  std::smatch m;
  ScriptControl control;
  if (std::regex_match(line, m, std::regex(R"(\s*DEFPUSHBUTTON\s+\"([^\"]*)\",(\w+),(\d+),(\d+),(\d+),(\d+)\s*)"))) {
    control.window_class = L"BUTTON";
    control.text = platform::utf8_to_wide(m[1].str().c_str());
    control.id = script.defines.at(m[2]);
    control.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON;
    control.x = number(m[3]), control.y = number(m[4]), control.cx = number(m[5]), control.cy = number(m[6]);
  } else if (std::regex_match(line, m, std::regex(R"(\s*EDITTEXT\s+(\w+),(\d+),(\d+),(\d+),(\d+),(.*))"))) {
    control.window_class = L"EDIT";
    control.id = script.defines.at(m[1]);
    control.x = number(m[2]), control.y = number(m[3]), control.cx = number(m[4]), control.cy = number(m[5]);
    control.style = styles(m[6], WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER);
  } else {
    ADD_FAILURE() << "unexpected control line: " << line;
    return;
  }
  script.controls.push_back(control);
}

Script read_script() {
  Script script;
  read_defines(script);
  std::istringstream in(read_file(std::string(TIDEWELL_SOURCE_DIR) + "/res/Tidewell.rc"));
  bool in_body = false;
  for (std::string line; std::getline(in, line);) {
    line = trim(line);
    std::smatch m;
    if (line == "BEGIN") in_body = true;
    else if (line == "END") in_body = false;
    else if (in_body) read_control(script, line);
    else if (line == "LANGUAGE LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED") script.language = (0x02 << 10) | 0x04;
    else if (std::regex_match(line, m, std::regex(R"((\w+) DIALOGEX (\d+), (\d+), (\d+), (\d+))"))) {
      script.dialog_id = script.defines.at(m[1]);
      script.x = number(m[2]), script.y = number(m[3]), script.cx = number(m[4]), script.cy = number(m[5]);
    } else if (line.rfind("STYLE ", 0) == 0) {
      script.style = styles(line.substr(6), 0);
    } else if (std::regex_match(line, m, std::regex(R"(CAPTION \"(.*)\")"))) {
      script.caption = platform::utf8_to_wide(m[1].str().c_str());
    } else if (std::regex_match(line, m, std::regex(R"(FONT (\d+), \"([^\"]*)\".*)"))) {
      script.pointsize = static_cast<WORD>(std::stoi(m[1]));
      script.typeface = platform::utf8_to_wide(m[2].str().c_str());
    }
  }
  return script;
}

TEST(DialogTemplate, ScriptAndTemplateDescribeTheSameAlarmDialog) {
  Script script = read_script();
  const DLGTEMPLATEEX& dialog = tidewell_res::kDhcpAlarm;
  ASSERT_EQ(&dialog, tidewell_res::find_dialog(script.dialog_id));
  EXPECT_EQ(6011u, script.dialog_id);
  EXPECT_EQ(2052, script.language);
  EXPECT_EQ(tidewell_res::kDialogLanguage, script.language);

  EXPECT_EQ(0x80C808CAu, script.style);
  EXPECT_EQ(script.style, dialog.style);
  EXPECT_EQ(0u, dialog.exStyle);
  EXPECT_EQ(script.cx, dialog.cx);
  EXPECT_EQ(script.cy, dialog.cy);
  EXPECT_EQ(270, dialog.cx);
  EXPECT_EQ(99, dialog.cy);
  EXPECT_EQ(L"Dhcp \u6b3a\u9a97        ", script.caption);
  EXPECT_EQ(15u, script.caption.size());
  EXPECT_EQ(script.caption, dialog.title);
  EXPECT_EQ(script.pointsize, dialog.pointsize);
  EXPECT_EQ(script.typeface, dialog.typeface);

  ASSERT_EQ(script.controls.size(), dialog.cDlgItems);
  const DWORD kOriginalStyles[] = {0x50010001u, 0x50210844u};
  for (size_t i = 0; i < script.controls.size(); ++i) {
    const ScriptControl& c = script.controls[i];
    const DLGITEMTEMPLATEEX& item = dialog.items[i];
    SCOPED_TRACE(utf8(c.window_class));
    EXPECT_EQ(kOriginalStyles[i], c.style);
    EXPECT_EQ(c.style, item.style);
    EXPECT_EQ(c.id, item.id);
    EXPECT_EQ(c.window_class, item.windowClass);
    EXPECT_EQ(c.text, item.title);
    EXPECT_EQ(c.x, item.x);
    EXPECT_EQ(c.y, item.y);
    EXPECT_EQ(c.cx, item.cx);
    EXPECT_EQ(c.cy, item.cy);
  }
  EXPECT_EQ(6021u, dialog.items[1].id);
}

TEST(DialogTemplate, OnlyThePluginModuleFindsIt) {
  EXPECT_EQ(nullptr, tidewell_res::find_dialog(6012));
  // The process's own module state holds no dialog: a dialog run outside
  // the plug-in's state fails instead of showing something else.
  CDialog outside(6011, nullptr);
  EXPECT_EQ(-1, outside.DoModal());
  AFX_MAINTAIN_STATE2 state(tidewell_res::module_state());
  EXPECT_EQ(&tidewell_res::kDhcpAlarm, AfxGetModuleState()->m_pfnFindDialog(6011));
}

}  // namespace
