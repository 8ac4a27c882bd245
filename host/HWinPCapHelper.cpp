// The capture helper's part that is the same on every system: the callback
// list and the delivery of frames, the counters, sending (to a test's sink,
// the wire or the replay's file of sent frames) and the summary. Where the
// frames come from and where sent frames go is HCaptureSource.cpp's.
#include "host/HWinPCapHelper.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host/HFileLog.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HWinPCapHelperImpl.h"
#include "wire/HArpFrame.h"

namespace {

constexpr uint16_t VLAN_ID_MASK = 0x0fff;
const wchar_t* const LOG_SOURCE = L"HWinPCapHelper";

uint16_t get_u16(const unsigned char* at) { return static_cast<uint16_t>(at[0] << 8 | at[1]); }

bool is_zero_mac(const unsigned char* mac) {
  static const unsigned char zero[6] = {0, 0, 0, 0, 0, 0};
  return std::memcmp(mac, zero, 6) == 0;
}

}  // namespace

void HWinPCapHelper::Impl::log_line(int level, int line, const std::string& text) {
  HFileLog::ins().log(HFileLog::get(level, LOG_SOURCE, line) << HString(text));
}

void HWinPCapHelper::Impl::set_error(const std::string& text) {
  std::lock_guard<std::mutex> lock(mtx_error);
  str_error_shared = text;
}

std::string HWinPCapHelper::Impl::error() const {
  std::lock_guard<std::mutex> lock(mtx_error);
  return str_error_shared;
}

auto HWinPCapHelper::Impl::callbacks() -> std::shared_ptr<const CallbackList> {
  std::lock_guard<std::mutex> lock(mtx_callbacks);
  return sp_callbacks;
}

void HWinPCapHelper::Impl::dispatch(const unsigned char* frame, int len) {
  Delivery batch = begin_delivery();
  deliver_one(batch, frame, len);
  end_delivery(batch);
}

auto HWinPCapHelper::Impl::begin_delivery() -> Delivery {
  Delivery batch;
  batch.p_impl = this;
  batch.sp_list = callbacks();
  return batch;
}

void HWinPCapHelper::Impl::deliver_one(Delivery& batch, const unsigned char* frame, int len) {
  ++batch.ull_read;
  if (frame == nullptr || len < HWireLayout::kEthHeaderLen) {
    ++batch.ull_short;
    return;
  }
  if (get_u16(frame + HWireLayout::kEthType) == HWireLayout::kEtherTypeVlan) {
    if (len < HWireLayout::kEthHeaderLen + HWireLayout::kVlanTagLen) {
      ++batch.ull_short;
      return;
    }
    // The kernel takes a frame of VLAN 0 as untagged and leaves the others
    // to VLAN interfaces: the callbacks see what this interface takes.
    if ((get_u16(frame + HWireLayout::kEthHeaderLen) & VLAN_ID_MASK) != 0) {
      ++batch.ull_other_vlan;
      return;
    }
    std::vector<unsigned char>& untagged = batch.vt_untagged;
    untagged.assign(frame, frame + HWireLayout::kEthType);
    untagged.insert(untagged.end(), frame + HWireLayout::kEthType + HWireLayout::kVlanTagLen, frame + len);
    frame = untagged.data();
    len -= HWireLayout::kVlanTagLen;
  }
  uint16_t ethertype = 0;  // as stored, like the callbacks' filters
  std::memcpy(&ethertype, frame + HWireLayout::kEthType, sizeof(ethertype));
  bool delivered = false;
  for (HWPCCallback* callback : *batch.sp_list) {
    if (callback->us_filter != ethertype) continue;
    callback->on_packet(frame, len);
    delivered = true;
  }
  if (delivered) ++batch.ull_delivered;
}

void HWinPCapHelper::Impl::end_delivery(Delivery& batch) {
  if (batch.ull_read) ull_read.fetch_add(batch.ull_read);
  if (batch.ull_delivered) ull_delivered.fetch_add(batch.ull_delivered);
  if (batch.ull_short) ull_short.fetch_add(batch.ull_short);
  if (batch.ull_other_vlan) ull_other_vlan.fetch_add(batch.ull_other_vlan);
  batch.ull_read = batch.ull_delivered = batch.ull_short = batch.ull_other_vlan = 0;
}

int HWinPCapHelper::Impl::open_sent_file() {
  if (str_sent_file.empty()) return 0;
  std::lock_guard<std::mutex> lock(mtx_send);
  b_send_to_file = true;
  d_send_speed = d_speed;
  return open_sent_dump();
}

HWinPCapHelper& HWinPCapHelper::instance() {
  // Never destroyed: capture and plug-in threads may run past the end of main().
  static HWinPCapHelper* helper = new HWinPCapHelper();
  return *helper;
}

HWinPCapHelper::HWinPCapHelper() : p_impl(new Impl()) {}

int HWinPCapHelper::add_callback(HWPCCallback* callback) {
  if (callback == nullptr) return -1;
  std::lock_guard<std::mutex> lock(p_impl->mtx_callbacks);
  auto list = std::make_shared<Impl::CallbackList>(*p_impl->sp_callbacks);
  list->push_back(callback);
  p_impl->sp_callbacks = std::move(list);
  return 0;
}

int HWinPCapHelper::load_dll() { return p_impl->load_library(); }

void HWinPCapHelper::set_live(const std::string& iface) {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  p_impl->source = Impl::Source::live;
  p_impl->str_iface = iface;
}

void HWinPCapHelper::set_replay(const std::string& pcap_file, double speed, const std::string& sent_file,
                                double longest_gap_s) {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  p_impl->source = Impl::Source::replay;
  p_impl->str_file = pcap_file;
  p_impl->d_speed = speed > 0 ? speed : 0;
  p_impl->d_longest_gap_s = longest_gap_s;
  p_impl->str_sent_file = sent_file;
}

int HWinPCapHelper::check_source() {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  Impl& im = *p_impl;
  if (im.source == Impl::Source::none) {
    im.set_error("no capture source is configured");
    return -1;
  }
  return im.probe_source();
}

int HWinPCapHelper::init() {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  Impl& im = *p_impl;
  if (im.is_open()) return 0;
  if (im.source == Impl::Source::none) {
    im.set_error("no capture source is configured");
    Impl::log_line(1, __LINE__, im.error());
    return -1;
  }
  if (im.open_source() != 0) {
    Impl::log_line(1, __LINE__, im.error());
    im.close_handles();
    return -1;
  }
  Impl::log_line(2, __LINE__, im.source == Impl::Source::live ? "capturing on " + im.str_iface : "replaying " + im.str_file);
  return 0;
}

int HWinPCapHelper::start() {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  Impl& im = *p_impl;
  if (im.b_started) return 0;
  if (!im.is_open()) {
    im.set_error("capture is not initialised");
    Impl::log_line(1, __LINE__, im.error());
    return -1;
  }
  im.b_stop.store(false);
  b_replay_done.store(false);
  im.clear_replay_damage();
  im.tp_start = Impl::Clock::now();
  im.b_ended = false;
  im.ll_replay_end_ns.store(0);
  Impl::Source source = im.source;
  std::string name = source == Impl::Source::live ? im.str_iface : im.str_file;
  double speed = im.d_speed;
  try {
    im.capture_thread = std::thread([this, source, name, speed] { p_impl->run(source, name, speed, b_replay_done); });
  } catch (const std::system_error& e) {
    im.set_error(std::string("cannot start the capture thread: ") + e.what());
    Impl::log_line(1, __LINE__, im.error());
    return -1;
  }
  im.b_started = true;
  return 0;
}

void HWinPCapHelper::stop() {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  Impl& im = *p_impl;
  im.b_stop.store(true);
  im.break_loop();
  if (im.capture_thread.joinable()) im.capture_thread.join();
  if (im.b_started && !im.b_ended) {
    im.tp_end = Impl::Clock::now();
    im.b_ended = true;
  }
  im.b_started = false;  // init() and start() may open the source again
  im.close_handles();
}

bool HWinPCapHelper::is_started() const {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  return p_impl->b_started;
}

bool HWinPCapHelper::is_live() const {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  return p_impl->source == Impl::Source::live;
}

int HWinPCapHelper::send_packet(const unsigned char* frame, int length) {
  if (frame == nullptr || length <= 0 || length > Impl::MAX_SEND_LEN) return -1;
  Impl& im = *p_impl;
  std::lock_guard<std::mutex> lock(im.mtx_send);
  int result = 0;
  if (im.send_sink) {
    im.send_sink(frame, length);
    // A replay still keeps its record of what was sent.
    if (im.b_send_to_file && im.sent_file_open()) result = im.write_frame(frame, length);
  } else {
    result = im.write_frame(frame, length);
  }
  if (result == 0) im.ull_sent.fetch_add(1);
  return result;
}

int HWinPCapHelper::send_arp(const HArpNode& node, bool /*reserved*/) {
  unsigned char sender_mac[6] = {0};
  unsigned char target_mac[6] = {0};
  uint32_t sender_ip = 0;
  uint32_t target_ip = 0;
  if (!HNetworkProtocolUtil::MakeMACArrayFromString(node.sender_mac, sender_mac) ||
      !HNetworkProtocolUtil::ParseIPString(node.sender_ip, sender_ip) ||
      !HNetworkProtocolUtil::ParseIPString(node.target_ip, target_ip)) {
    return -1;
  }
  if (!node.target_mac.empty() && !HNetworkProtocolUtil::MakeMACArrayFromString(node.target_mac, target_mac)) {
    return -1;
  }
  HArpFrame::Bytes frame;
  const unsigned char* eth_dst = is_zero_mac(target_mac) ? nullptr : target_mac;
  HArpFrame::build(frame, node.op, eth_dst, sender_mac, sender_ip, target_mac, target_ip);
  return send_packet(frame, sizeof(frame));
}

HCaptureStats HWinPCapHelper::stats() const {
  const Impl& im = *p_impl;
  HCaptureStats out;
  out.frames_read = im.ull_read.load();
  out.frames_delivered = im.ull_delivered.load();
  out.frames_dropped = im.ull_dropped.load();
  out.frames_short = im.ull_short.load();
  out.frames_queue_dropped = im.ull_queue_dropped.load();
  out.frames_other_vlan = im.ull_other_vlan.load();
  out.frames_bad_dhcp = ull_not_judged[static_cast<int>(NotJudged::bad_dhcp)].load();
  out.frames_not_dhcp = ull_not_judged[static_cast<int>(NotJudged::not_dhcp)].load();
  out.frames_bad_arp = ull_not_judged[static_cast<int>(NotJudged::bad_arp)].load();
  out.frames_bad_ipv6 = ull_not_judged[static_cast<int>(NotJudged::bad_ipv6)].load();
  out.claims_not_judged_at_stop = ull_claims_left.load();
  out.frames_sent = im.ull_sent.load();
  std::lock_guard<std::mutex> lock(im.mtx_state);
  if (im.b_started || im.b_ended) {
    Impl::Clock::time_point end = im.b_ended ? im.tp_end : Impl::Clock::now();
    int64_t replay_end = im.ll_replay_end_ns.load();
    if (replay_end != 0) end = std::min(end, Impl::Clock::time_point(std::chrono::nanoseconds(replay_end)));
    out.seconds = std::chrono::duration<double>(end - im.tp_start).count();
  }
  return out;
}

std::string HWinPCapHelper::last_error() const { return p_impl->error(); }

std::string HWinPCapHelper::replay_damage() const { return p_impl->replay_damage(); }

void HWinPCapHelper::count_queue_drop() { p_impl->ull_queue_dropped.fetch_add(1, std::memory_order_relaxed); }

void HWinPCapHelper::set_send_sink(std::function<void(const unsigned char*, int)> sink) {
  std::lock_guard<std::mutex> lock(p_impl->mtx_send);
  p_impl->send_sink = std::move(sink);
}

void HWinPCapHelper::deliver(const unsigned char* frame, int len) { p_impl->dispatch(frame, len); }

void HWinPCapHelper::reset_for_test() {
  stop();
  Impl& im = *p_impl;
  {
    std::lock_guard<std::mutex> lock(im.mtx_state);
    im.source = Impl::Source::none;
    im.str_iface.clear();
    im.str_file.clear();
    im.str_sent_file.clear();
    im.d_speed = 0;
    im.d_longest_gap_s = 5;
    im.b_started = false;
    im.b_ended = false;
    im.b_stop.store(false);
  }
  {
    std::lock_guard<std::mutex> lock(im.mtx_callbacks);
    im.sp_callbacks = std::make_shared<Impl::CallbackList>();
  }
  {
    std::lock_guard<std::mutex> lock(im.mtx_send);
    im.send_sink = nullptr;
    im.b_send_to_file = false;
    im.d_send_speed = 0;
    im.d_replay_ts.store(0);
    im.ll_replay_wall_ns.store(0);
  }
  im.set_error("");
  im.clear_replay_damage();
  im.ull_read.store(0);
  im.ull_delivered.store(0);
  im.ull_short.store(0);
  im.ull_sent.store(0);
  im.ull_dropped.store(0);
  im.ull_queue_dropped.store(0);
  im.ull_other_vlan.store(0);
  for (std::atomic<uint64_t>& counter : ull_not_judged) counter.store(0);
  ull_claims_left.store(0);
  b_replay_done.store(false);
  b_load = b_arp = b_dhcp = 0;
}
