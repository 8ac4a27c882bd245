#pragma once
// The DHCP message of a captured Ethernet frame, read as the host's stack
// would take it for its DHCP client: an IPv4 header of the length it
// states, UDP from the server port to the client port, and a datagram that
// the frame holds whole. Every read stays inside the frame, and the options
// end with the datagram, not with the frame's padding.
#include <cstdint>
#include <cstring>

#include "wire/HWireLayout.h"

class HDhcpMessage {
 public:
  static constexpr int kOptionsOffset = HWireLayout::kDhcpOptions;
  // At most this many options (pad bytes included) are looked at.
  static constexpr int kMaxOptionSteps = 255;
  static constexpr unsigned char kOptPad = 0;
  static constexpr unsigned char kOptRouter = 3;
  static constexpr unsigned char kOptMessageType = 53;
  static constexpr unsigned char kOptServerId = 54;
  static constexpr unsigned char kOptEnd = 255;
  static constexpr unsigned char kBootReply = 2;
  static constexpr unsigned char kDhcpOffer = 2;
  static constexpr unsigned char kDhcpAck = 5;

  enum class Datagram { kDhcp, kNotDhcp, kMalformed };
  // kEnded: end option, end of the area or the step bound; kStopped: the
  // visitor asked to stop; kTruncated: an option ran past the area (or a
  // message type came without its value byte), so nothing of it is trusted.
  enum class Walk { kEnded, kStopped, kTruncated };
  enum class Step { kNext, kStop };

  // kDhcp when the frame carries a DHCP message from port 67 to port 68;
  // kNotDhcp for other IPv4 traffic; kMalformed when the headers do not fit
  // the frame or it is a fragment.
  Datagram read(const unsigned char* frame, int len);

  // After read() returned kDhcp.
  const unsigned char* data() const { return p_message; }
  int size() const { return i_size; }
  // Whether the message is long enough to hold an options area; nothing
  // below may be asked of one that is not.
  bool has_options() const { return i_size > kOptionsOffset; }
  unsigned char op() const { return p_message[HWireLayout::kDhcpOp]; }
  uint32_t ciaddr() const { return read_u32(p_message + HWireLayout::kDhcpCiaddr); }  // network byte order
  uint32_t yiaddr() const { return read_u32(p_message + HWireLayout::kDhcpYiaddr); }
  uint32_t ip_source() const { return read_u32(p_frame + HWireLayout::kEthHeaderLen + HWireLayout::kIpSource); }
  const unsigned char* options() const { return p_message + kOptionsOffset; }
  int options_length() const { return i_size - kOptionsOffset; }

  // Walks an options area of `length` bytes as code, length, value, and
  // hands each option but pad and end to visit(code, value, value_len),
  // which returns Step::kNext or Step::kStop.
  template <typename Visit>
  static Walk walk_options(const unsigned char* options, int length, Visit visit);

  static uint32_t read_u32(const unsigned char* at) {
    uint32_t value = 0;
    std::memcpy(&value, at, sizeof(value));
    return value;
  }

 private:
  const unsigned char* p_frame = nullptr;
  const unsigned char* p_message = nullptr;
  int i_size = 0;
};

template <typename Visit>
HDhcpMessage::Walk HDhcpMessage::walk_options(const unsigned char* options, int length, Visit visit) {
  int pos = 0;
  for (int step = 1; step <= kMaxOptionSteps && options && pos < length; ++step) {
    unsigned char code = options[pos];
    if (code == kOptPad) {
      ++pos;
      continue;
    }
    if (code == kOptEnd) return Walk::kEnded;
    // Every other option has a length byte and that many value bytes, all
    // inside the area.
    int value_len = pos + 1 < length ? options[pos + 1] : -1;
    if (value_len < 0 || pos + 2 + value_len > length || (code == kOptMessageType && value_len < 1)) {
      return Walk::kTruncated;
    }
    if (visit(code, options + pos + 2, value_len) == Step::kStop) return Walk::kStopped;
    pos += 2 + value_len;
  }
  return Walk::kEnded;
}
