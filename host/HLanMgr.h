#pragma once
// The agent's language manager: texts by number, with named placeholders
// written "{name}". Built-in English texts exist for 0 to 8, 120, 769, 777
// and 779; the agent's config may override any id.
#include <map>
#include <mutex>

#include "host/HString.h"

class HLanMgr {
 public:
  static HLanMgr& ins();

  HString get(int id);
  HString get(int id, const std::map<HString, HString>& values);
  HString get(int id, const HString& k1, const HString& v1);
  HString get(int id, const HString& k1, const HString& v1, const HString& k2, const HString& v2);
  HString get(int id, const HString& k1, const HString& v1, const HString& k2, const HString& v2,
              const HString& k3, const HString& v3);

  void set_text(int id, const HString& text);

 private:
  HLanMgr();
  std::mutex mtx_texts;
  std::map<int, HString> map_texts;
};
