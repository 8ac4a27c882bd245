#include "platform/NetlinkClient.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <ctime>

namespace platform {

namespace {
// A datagram of a dump or of events never exceeds a page or two.
constexpr size_t kBufferSize = 64 * 1024;
}  // namespace

NetlinkClient::~NetlinkClient() {
  if (i_fd >= 0) ::close(i_fd);
}

int NetlinkClient::open_socket(uint32_t groups, int timeout_ms) {
  int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) return -errno;
  struct timeval tv {};
  tv.tv_sec = timeout_ms / 1000;
  tv.tv_usec = (timeout_ms % 1000) * 1000;
  struct sockaddr_nl local {};
  local.nl_family = AF_NETLINK;
  local.nl_groups = groups;
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv)) < 0 ||
      ::bind(fd, reinterpret_cast<struct sockaddr*>(&local), sizeof(local)) < 0) {
    int error = errno;
    ::close(fd);
    return -error;
  }
  return fd;
}

int NetlinkClient::open(uint32_t groups, int timeout_ms) {
  if (i_fd >= 0) return 0;
  int fd = open_socket(groups, timeout_ms);
  if (fd < 0) return -fd;
  i_fd = fd;
  vt_buffer.resize(kBufferSize);
  return 0;
}

int NetlinkClient::send(const unsigned char* request, size_t len) {
  if (i_fd < 0) return EBADF;
  struct sockaddr_nl kernel {};
  kernel.nl_family = AF_NETLINK;
  ssize_t sent = ::sendto(i_fd, request, len, 0, reinterpret_cast<struct sockaddr*>(&kernel), sizeof(kernel));
  if (sent < 0) return errno;
  return static_cast<size_t>(sent) == len ? 0 : EIO;
}

int NetlinkClient::receive(const unsigned char*& data, size_t& len) {
  data = vt_buffer.data();
  len = 0;
  if (i_fd < 0) return EBADF;
  for (;;) {
    struct sockaddr_nl from {};
    struct iovec iov {vt_buffer.data(), vt_buffer.size()};
    struct msghdr mh {};
    mh.msg_name = &from;
    mh.msg_namelen = sizeof(from);
    mh.msg_iov = &iov;
    mh.msg_iovlen = 1;
    ssize_t got = ::recvmsg(i_fd, &mh, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? ETIMEDOUT : errno;
    if (mh.msg_flags & MSG_TRUNC) return EMSGSIZE;
    // Only the kernel speaks for its tables.
    if (from.nl_pid == 0) len = static_cast<size_t>(got);
    return 0;
  }
}

uint32_t NetlinkClient::next_seq() {
  static std::atomic<uint32_t> seq{static_cast<uint32_t>(std::time(nullptr))};
  return seq.fetch_add(1) + 1;
}

bool NetlinkClient::read_header(const unsigned char* buf, size_t len, size_t off, Message& message) {
  if (len - off < sizeof(struct nlmsghdr)) return false;
  struct nlmsghdr hdr {};
  std::memcpy(&hdr, buf + off, sizeof(hdr));
  if (hdr.nlmsg_len < sizeof(struct nlmsghdr) || hdr.nlmsg_len > len - off) return false;
  message = Message{hdr.nlmsg_type, hdr.nlmsg_seq, buf + off, hdr.nlmsg_len};
  return true;
}

// `step` is 0 when nothing is left that could be an attribute (a short
// trailing piece, which is no fault).
bool NetlinkClient::read_attr(const unsigned char* buf, size_t len, size_t off, Attr& attr, size_t& step) {
  step = 0;
  if (len - off < sizeof(struct rtattr)) return false;
  struct rtattr rta {};
  std::memcpy(&rta, buf + off, sizeof(rta));
  step = 1;
  if (rta.rta_len < sizeof(struct rtattr) || rta.rta_len > len - off) return false;
  attr = Attr{rta.rta_type, buf + off + RTA_LENGTH(0), rta.rta_len - RTA_LENGTH(0)};
  step = RTA_ALIGN(rta.rta_len);
  return true;
}

int NetlinkClient::error_of(const Message& message) {
  if (message.len < NLMSG_HDRLEN + sizeof(int)) return message.type == NLMSG_DONE ? 0 : EPROTO;
  int value = 0;
  std::memcpy(&value, message.data + NLMSG_HDRLEN, sizeof(value));
  return value < 0 ? -value : 0;
}

size_t NetlinkClient::start_request(unsigned char* buf, size_t size, uint16_t type, uint16_t flags, uint32_t seq,
                                    const void* body, size_t body_len) {
  size_t len = NLMSG_LENGTH(body_len);
  if (!buf || size < NLMSG_ALIGN(len)) return 0;
  std::memset(buf, 0, size);
  struct nlmsghdr hdr {};
  hdr.nlmsg_len = static_cast<uint32_t>(len);
  hdr.nlmsg_type = type;
  hdr.nlmsg_flags = flags;
  hdr.nlmsg_seq = seq;
  std::memcpy(buf, &hdr, sizeof(hdr));
  if (body_len) std::memcpy(buf + NLMSG_HDRLEN, body, body_len);
  return len;
}

bool NetlinkClient::add_attr(unsigned char* buf, size_t size, size_t& len, uint16_t type, const void* data,
                             size_t data_len) {
  size_t rta_len = RTA_LENGTH(data_len);
  size_t start = NLMSG_ALIGN(len);
  if (start > size || RTA_ALIGN(rta_len) > size - start) return false;
  struct rtattr rta {};
  rta.rta_len = static_cast<unsigned short>(rta_len);
  rta.rta_type = type;
  std::memcpy(buf + start, &rta, sizeof(rta));
  if (data_len) std::memcpy(buf + start + RTA_LENGTH(0), data, data_len);
  len = start + RTA_ALIGN(rta_len);
  uint32_t nlmsg_len = static_cast<uint32_t>(len);
  std::memcpy(buf + offsetof(struct nlmsghdr, nlmsg_len), &nlmsg_len, sizeof(nlmsg_len));
  return true;
}

}  // namespace platform
