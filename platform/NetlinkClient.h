#pragma once
// The one rtnetlink client: a NETLINK_ROUTE socket for dumps, requests with
// an acknowledgement and subscriptions to multicast groups, and the one walk
// of messages and attributes that every reader of its answers uses. Every
// length is checked before what it covers is read.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

class NetlinkClient {
 public:
  // A request's answer comes at once; a silent kernel means something is wrong.
  static constexpr int kReplyTimeoutMs = 2000;

  struct Message {
    uint16_t type;
    uint32_t seq;
    const unsigned char* data;  // the whole message, header included
    size_t len;
  };
  struct Attr {
    uint16_t type;
    const unsigned char* data;  // the payload
    size_t len;
  };
  enum class Walk { kEnd, kStopped, kBroken };

  NetlinkClient() = default;
  ~NetlinkClient();
  NetlinkClient(const NetlinkClient&) = delete;
  NetlinkClient& operator=(const NetlinkClient&) = delete;

  // Opens the socket, subscribed to the groups of the `groups` bit mask (0:
  // none); a receive gives up after `timeout_ms`. 0, or a positive errno.
  int open(uint32_t groups, int timeout_ms);
  // A NETLINK_ROUTE socket bound to `groups` whose receives give up after
  // `timeout_ms`: its descriptor, or -errno.
  static int open_socket(uint32_t groups, int timeout_ms);
  // Sends a dump or a request with NLM_F_ACK and hands each datagram of the
  // answer to answered(data, len), which returns -1 while more must come,
  // else the result: 0 or a positive errno. What the receive fails with
  // (ETIMEDOUT for a silent kernel) ends the exchange as well.
  template <typename Answered>
  int exchange(const unsigned char* request, size_t len, Answered answered);
  // One datagram from the kernel; len is 0 for one from anybody else.
  // 0, or a positive errno: ETIMEDOUT, ENOBUFS (the kernel dropped events
  // for us), EMSGSIZE (a datagram larger than the buffer).
  int receive(const unsigned char*& data, size_t& len);

  // Sequence numbers start at the clock, as iproute2's do, so that a late
  // answer to an earlier process does not match.
  static uint32_t next_seq();

  // Walks the messages of a datagram; visit(message) returns false to stop.
  // kBroken: a length does not fit or a piece shorter than a header trails.
  template <typename Visit>
  static Walk walk_messages(const unsigned char* buf, size_t len, Visit visit);
  // Walks attributes; false when one does not fit what is left.
  template <typename Visit>
  static bool walk_attrs(const unsigned char* buf, size_t len, Visit visit);
  // The positive errno of an NLMSG_ERROR or NLMSG_DONE, 0 for none;
  // EPROTO when the message is too short to say. DONE of older kernels has
  // no error word: 0.
  static int error_of(const Message& message);

  // A request of `type` and `flags` whose body is `body`, zeroed, into
  // `buf`: its length, or 0 when it does not fit.
  static size_t start_request(unsigned char* buf, size_t size, uint16_t type, uint16_t flags, uint32_t seq,
                              const void* body, size_t body_len);
  // Appends an attribute at the aligned end of the request, never past
  // `size`, and keeps nlmsg_len up to date; false when it does not fit.
  static bool add_attr(unsigned char* buf, size_t size, size_t& len, uint16_t type, const void* data, size_t data_len);

 private:
  int send(const unsigned char* request, size_t len);
  static bool read_header(const unsigned char* buf, size_t len, size_t off, Message& message);
  static bool read_attr(const unsigned char* buf, size_t len, size_t off, Attr& attr, size_t& step);

  int i_fd = -1;
  std::vector<unsigned char> vt_buffer;
};

template <typename Answered>
int NetlinkClient::exchange(const unsigned char* request, size_t len, Answered answered) {
  // Bounds the receive loop whatever the kernel sends.
  constexpr int kMaxDatagrams = 100000;
  if (int e = send(request, len)) return e;
  for (int n = 0; n < kMaxDatagrams; ++n) {
    const unsigned char* data = nullptr;
    size_t got = 0;
    if (int e = receive(data, got)) return e;
    int result = answered(data, got);
    if (result >= 0) return result;
  }
  return EIO;
}

template <typename Visit>
NetlinkClient::Walk NetlinkClient::walk_messages(const unsigned char* buf, size_t len, Visit visit) {
  size_t off = 0;
  Message message{};
  while (buf && off < len) {
    if (!read_header(buf, len, off, message)) return Walk::kBroken;
    if (!visit(message)) return Walk::kStopped;
    off += message.len + (-message.len & 3u);  // aligned to 4 bytes
  }
  return Walk::kEnd;
}

template <typename Visit>
bool NetlinkClient::walk_attrs(const unsigned char* buf, size_t len, Visit visit) {
  size_t off = 0;
  Attr attr{};
  size_t step = 0;
  while (buf && off < len) {
    if (!read_attr(buf, len, off, attr, step)) return step == 0;
    visit(attr);
    off += step;
  }
  return true;
}

}  // namespace platform
