#include "host/HCoreJson.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "host/HFileUtil.h"
#include "host/HSysInfoMgr.h"
#include "platform/SystemLog.h"

namespace {

constexpr int64_t kMinutesPerDay = 24 * 60;

// Minutes east of UTC of the local zone at `seconds`, from the two broken
// down times (no tm_gmtoff on every system).
int local_offset_min(std::time_t seconds, struct tm& local) {
  struct tm utc {};
  ::localtime_r(&seconds, &local);
  ::gmtime_r(&seconds, &utc);
  int64_t days = local.tm_year != utc.tm_year ? (local.tm_year > utc.tm_year ? 1 : -1) : local.tm_yday - utc.tm_yday;
  return static_cast<int>(days * kMinutesPerDay + (local.tm_hour - utc.tm_hour) * 60 + (local.tm_min - utc.tm_min));
}

const std::string& host_name() {
  static const std::string* name = new std::string(platform::machine_name());
  return *name;
}

void append_stamp(std::string& out, const HCoreJson::Stamp& stamp) {
  out += ",\"time\":\"" + stamp.str_time + "\",\"host\":";
  HCoreJson::append_string(out, HFileUtil::from_utf8(stamp.str_host));
  out += ",\"iface\":";
  HCoreJson::append_string(out, HFileUtil::from_utf8(stamp.str_iface));
}

void append_record(std::string& out, const ARPSpoofingReport_Local& r) {
  out += "{\"strPolicyID\":";
  HCoreJson::append_string(out, r.strPolicyID);
  out += ",\"iAttackType\":" + std::to_string(r.iAttackType);
  out += ",\"iOffline\":" + std::to_string(r.iOffline);
  out += ",\"iElapsed\":" + std::to_string(r.iElapsed);
  out += ",\"str_desc\":";
  HCoreJson::append_string(out, r.str_desc);
  out += ",\"mapDesc\":{";
  bool first = true;
  for (const auto& entry : r.mapDesc) {
    if (!first) out += ',';
    first = false;
    HCoreJson::append_string(out, entry.first);
    out += ':';
    HCoreJson::append_string(out, entry.second);
  }
  out += "}}";
}

}  // namespace

std::string HCoreJson::one_line(const HString& text) {
  std::string out = HFileUtil::utf8(text);
  for (char& c : out)
    if (c == '\n' || c == '\r') c = ' ';
  return out;
}

HCoreJson::Stamp HCoreJson::stamp_now() {
  using namespace std::chrono;
  int64_t ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  struct tm local {};
  int offset = local_offset_min(static_cast<std::time_t>(ms / 1000), local);
  return Stamp{rfc3339(ms, offset), host_name(), HFileUtil::utf8(HSysInfoMgr::ins().interface_name())};
}

std::string HCoreJson::rfc3339(int64_t unix_ms, int offset_min) {
  int64_t local_ms = unix_ms + static_cast<int64_t>(offset_min) * 60000;
  std::time_t seconds = static_cast<std::time_t>(local_ms >= 0 ? local_ms / 1000 : (local_ms - 999) / 1000);
  int millis = static_cast<int>(local_ms - static_cast<int64_t>(seconds) * 1000);
  struct tm t {};
  ::gmtime_r(&seconds, &t);
  int zone = offset_min < 0 ? -offset_min : offset_min;
  char text[64];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, millis, offset_min < 0 ? '-' : '+', zone / 60, zone % 60);
  return text;
}

void HCoreJson::append_string(std::string& out, const HString& text) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  const std::wstring& w = text.wstr();
  for (size_t i = 0; i < w.size(); ++i) {
    wchar_t c = w[i];
    switch (c) {
      case L'"': out += "\\\""; break;
      case L'\\': out += "\\\\"; break;
      case L'\n': out += "\\n"; break;
      case L'\r': out += "\\r"; break;
      case L'\t': out += "\\t"; break;
      case L'\b': out += "\\b"; break;
      case L'\f': out += "\\f"; break;
      default:
        if (static_cast<uint32_t>(c) < 0x20) {
          out += "\\u00";
          out += kHex[(c >> 4) & 0xF];
          out += kHex[c & 0xF];
        } else {
          i += HFileUtil::append_utf8(out, &w[i], w.size() - i) - 1;
        }
    }
  }
  out += '"';
}

std::string HCoreJson::block_line(const HString& plug, const HString& catalogue,
                                  const std::vector<ARPSpoofingReport_Local>& records, uint64_t block_id,
                                  const Stamp& stamp) {
  std::string out = "{\"plug\":";
  append_string(out, plug);
  out += ",\"catalogue\":";
  append_string(out, catalogue);
  out += ",\"records\":[";
  for (size_t i = 0; i < records.size(); ++i) {
    if (i > 0) out += ',';
    append_record(out, records[i]);
  }
  out += ']';
  append_stamp(out, stamp);
  if (block_id != 0) {
    char id[17];
    std::snprintf(id, sizeof(id), "%016llx", static_cast<unsigned long long>(block_id));
    out += ",\"block\":\"" + std::string(id) + '"';
  }
  out += "}\n";
  return out;
}

std::string HCoreJson::alarm_line(const char* kind, const HString& alarm_message, const HString& text,
                                  const Stamp& stamp) {
  std::string out = "{\"alarm_msg\":";
  append_string(out, alarm_message);
  out += ",\"text\":";
  append_string(out, text);
  out += ",\"kind\":\"" + std::string(kind) + '"';
  append_stamp(out, stamp);
  out += "}\n";
  return out;
}

std::string HCoreJson::record_text(const ARPSpoofingReport_Local& record) {
  std::string out = "report " + one_line(record.str_desc) + " policy=" + one_line(record.strPolicyID) +
                    " type=" + std::to_string(record.iAttackType);
  for (const auto& entry : record.mapDesc) out += ' ' + one_line(entry.first) + '=' + one_line(entry.second);
  return out;
}

std::string HCoreJson::alarm_text(const char* kind, const HString& alarm_message, const HString& text) {
  return std::string(kind) + " [" + one_line(alarm_message) + "] " + one_line(text);
}
