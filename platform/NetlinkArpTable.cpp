#include "platform/NetlinkArpTable.h"

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {

namespace {

constexpr size_t kRecvBufferSize = 64 * 1024;
// The kernel answers at once; a silent socket means something is wrong.
constexpr int kRecvTimeoutSeconds = 2;
// Bounds the receive loop whatever the kernel sends.
constexpr int kMaxChunks = 100000;

constexpr size_t kHeaderLen = NLMSG_HDRLEN;
constexpr size_t kNdmsgSpace = NLMSG_ALIGN(sizeof(struct ndmsg));

// Appends one attribute at the aligned end of the message in `buf`, never
// past `size`; keeps nlmsg_len up to date.
bool add_attr(unsigned char* buf, size_t size, size_t& len, uint16_t type, const void* data, size_t data_len) {
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

// Header and ndmsg of a request, zeroed around them.
size_t start_request(unsigned char* buf, size_t size, uint16_t type, uint16_t flags, uint32_t seq,
                     const struct ndmsg& ndm) {
  size_t len = kHeaderLen + kNdmsgSpace;
  if (!buf || size < len) return 0;
  std::memset(buf, 0, size);
  struct nlmsghdr hdr {};
  hdr.nlmsg_len = static_cast<uint32_t>(NLMSG_LENGTH(sizeof(struct ndmsg)));
  hdr.nlmsg_type = type;
  hdr.nlmsg_flags = flags;
  hdr.nlmsg_seq = seq;
  std::memcpy(buf, &hdr, sizeof(hdr));
  std::memcpy(buf + kHeaderLen, &ndm, sizeof(ndm));
  return NLMSG_LENGTH(sizeof(struct ndmsg));
}

// The payload of an NLMSG_ERROR or NLMSG_DONE: a negative errno, or 0.
int error_payload(const unsigned char* msg, size_t msg_len) {
  if (msg_len < kHeaderLen + sizeof(int)) return EPROTO;
  int value = 0;
  std::memcpy(&value, msg + kHeaderLen, sizeof(value));
  return value < 0 ? -value : 0;
}

// Fills `row` from the attributes of one RTM_NEWNEIGH; false when the row has
// no usable IPv4 destination or its attributes are malformed.
bool read_neigh_row(const unsigned char* msg, size_t msg_len, MIB_IPNETROW& row) {
  if (msg_len < kHeaderLen + sizeof(struct ndmsg)) return false;
  struct ndmsg ndm {};
  std::memcpy(&ndm, msg + kHeaderLen, sizeof(ndm));
  if (ndm.ndm_family != AF_INET || (ndm.ndm_flags & NTF_PROXY)) return false;
  row = MIB_IPNETROW{};
  row.dwIndex = static_cast<DWORD>(ndm.ndm_ifindex);
  row.dwType = NetlinkArpTable::type_of_state(ndm.ndm_state);
  bool has_dst = false;
  size_t off = kHeaderLen + kNdmsgSpace;
  while (off < msg_len && msg_len - off >= sizeof(struct rtattr)) {
    struct rtattr rta {};
    std::memcpy(&rta, msg + off, sizeof(rta));
    if (rta.rta_len < sizeof(struct rtattr) || rta.rta_len > msg_len - off) return false;
    size_t payload = rta.rta_len - RTA_LENGTH(0);
    const unsigned char* data = msg + off + RTA_LENGTH(0);
    if (rta.rta_type == NDA_DST && payload == sizeof(row.dwAddr)) {
      std::memcpy(&row.dwAddr, data, sizeof(row.dwAddr));
      has_dst = true;
    } else if (rta.rta_type == NDA_LLADDR && payload <= MAXLEN_PHYSADDR) {
      std::memcpy(row.bPhysAddr, data, payload);
      row.dwPhysAddrLen = static_cast<DWORD>(payload);
    }
    off += RTA_ALIGN(rta.rta_len);
  }
  return has_dst;
}

class NetlinkSocket {
 public:
  NetlinkSocket() {
    i_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (i_fd < 0) {
      i_errno = errno;
      return;
    }
    struct timeval tv {};
    tv.tv_sec = kRecvTimeoutSeconds;
    ::setsockopt(i_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    struct sockaddr_nl local {};
    local.nl_family = AF_NETLINK;
    if (::bind(i_fd, reinterpret_cast<struct sockaddr*>(&local), sizeof(local)) < 0) close_fd();
  }
  ~NetlinkSocket() { close_fd(); }
  NetlinkSocket(const NetlinkSocket&) = delete;
  NetlinkSocket& operator=(const NetlinkSocket&) = delete;

  int error() const { return i_fd < 0 ? i_errno : 0; }

  int send(const unsigned char* buf, size_t len) {
    struct sockaddr_nl kernel {};
    kernel.nl_family = AF_NETLINK;
    ssize_t sent = ::sendto(i_fd, buf, len, 0, reinterpret_cast<struct sockaddr*>(&kernel), sizeof(kernel));
    if (sent < 0) return errno;
    return static_cast<size_t>(sent) == len ? 0 : EIO;
  }

  // One datagram; 0 or a positive errno. A datagram that is not from the
  // kernel comes back empty.
  int receive(unsigned char* buf, size_t size, size_t& len) {
    len = 0;
    for (;;) {
      struct sockaddr_nl from {};
      struct iovec iov {buf, size};
      struct msghdr mh {};
      mh.msg_name = &from;
      mh.msg_namelen = sizeof(from);
      mh.msg_iov = &iov;
      mh.msg_iovlen = 1;
      ssize_t got = ::recvmsg(i_fd, &mh, 0);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? ETIMEDOUT : errno;
      if (mh.msg_flags & MSG_TRUNC) return EMSGSIZE;
      if (from.nl_pid == 0) len = static_cast<size_t>(got);
      return 0;
    }
  }

 private:
  void close_fd() {
    if (i_fd >= 0) {
      i_errno = errno;
      ::close(i_fd);
      i_fd = -1;
    }
  }

  int i_fd = -1;
  int i_errno = EIO;
};

}  // namespace

DWORD NetlinkArpTable::type_of_state(uint16_t nud_state) {
  if (nud_state & NUD_PERMANENT) return MIB_IPNET_TYPE_STATIC;
  if (nud_state & NUD_NOARP) return MIB_IPNET_TYPE_OTHER;
  if (nud_state & (NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE)) return MIB_IPNET_TYPE_DYNAMIC;
  // NUD_INCOMPLETE, NUD_FAILED and an entry without state hold no usable MAC.
  return MIB_IPNET_TYPE_INVALID;
}

DWORD NetlinkArpTable::error_of_errno(int error) {
  switch (error) {
    case 0:
      return NO_ERROR;
    case EPERM:
    case EACCES:
      return ERROR_ACCESS_DENIED;
    case EINVAL:
    case ENODEV:
    case ENETDOWN:
    case EAFNOSUPPORT:
      return ERROR_INVALID_PARAMETER;
    case ENOMEM:
    case ENOBUFS:
    case EOVERFLOW:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

NetlinkArpTable::Chunk NetlinkArpTable::parse_dump(const unsigned char* buf, size_t len, uint32_t seq,
                                                   std::vector<MIB_IPNETROW>& rows, int& error) {
  error = 0;
  size_t off = 0;
  while (buf && len - off >= sizeof(struct nlmsghdr)) {
    struct nlmsghdr hdr {};
    std::memcpy(&hdr, buf + off, sizeof(hdr));
    if (hdr.nlmsg_len < sizeof(struct nlmsghdr) || hdr.nlmsg_len > len - off) {
      error = EPROTO;
      return Chunk::kError;
    }
    const unsigned char* msg = buf + off;
    off += std::min<size_t>(NLMSG_ALIGN(hdr.nlmsg_len), len - off);
    if (hdr.nlmsg_seq != seq) continue;
    if (hdr.nlmsg_type == NLMSG_DONE) {
      // Older kernels send DONE without the error word.
      error = hdr.nlmsg_len >= kHeaderLen + sizeof(int) ? error_payload(msg, hdr.nlmsg_len) : 0;
      return error ? Chunk::kError : Chunk::kDone;
    }
    if (hdr.nlmsg_type == NLMSG_ERROR) {
      error = error_payload(msg, hdr.nlmsg_len);
      if (!error) error = EPROTO;  // an acknowledgement has no place in a dump
      return Chunk::kError;
    }
    if (hdr.nlmsg_type != RTM_NEWNEIGH) continue;
    MIB_IPNETROW row;
    if (!read_neigh_row(msg, hdr.nlmsg_len, row)) continue;
    if (rows.size() >= kMaxRows) {
      error = EOVERFLOW;
      return Chunk::kError;
    }
    rows.push_back(row);
  }
  if (buf && off != len) {
    error = EPROTO;  // a trailing piece shorter than a header
    return Chunk::kError;
  }
  return Chunk::kMore;
}

bool NetlinkArpTable::parse_events(const unsigned char* buf, size_t len, std::vector<MIB_IPNETROW>& rows) {
  size_t off = 0;
  while (buf && len - off >= sizeof(struct nlmsghdr)) {
    struct nlmsghdr hdr {};
    std::memcpy(&hdr, buf + off, sizeof(hdr));
    if (hdr.nlmsg_len < sizeof(struct nlmsghdr) || hdr.nlmsg_len > len - off) return false;
    const unsigned char* msg = buf + off;
    off += std::min<size_t>(NLMSG_ALIGN(hdr.nlmsg_len), len - off);
    if (hdr.nlmsg_type != RTM_NEWNEIGH && hdr.nlmsg_type != RTM_DELNEIGH) continue;
    MIB_IPNETROW row;
    if (!read_neigh_row(msg, hdr.nlmsg_len, row)) continue;
    if (hdr.nlmsg_type == RTM_DELNEIGH) row.dwType = MIB_IPNET_TYPE_INVALID;
    rows.push_back(row);
  }
  return !buf || off == len;
}

bool NetlinkArpTable::parse_ack(const unsigned char* buf, size_t len, uint32_t seq, int& error) {
  size_t off = 0;
  while (buf && len - off >= sizeof(struct nlmsghdr)) {
    struct nlmsghdr hdr {};
    std::memcpy(&hdr, buf + off, sizeof(hdr));
    if (hdr.nlmsg_len < sizeof(struct nlmsghdr) || hdr.nlmsg_len > len - off) {
      error = EPROTO;
      return true;
    }
    const unsigned char* msg = buf + off;
    off += std::min<size_t>(NLMSG_ALIGN(hdr.nlmsg_len), len - off);
    if (hdr.nlmsg_seq == seq && hdr.nlmsg_type == NLMSG_ERROR) {
      error = error_payload(msg, hdr.nlmsg_len);
      return true;
    }
  }
  return false;
}

size_t NetlinkArpTable::build_dump_request(uint32_t seq, unsigned char* buf, size_t size) {
  struct ndmsg ndm {};
  ndm.ndm_family = AF_INET;
  return start_request(buf, size, RTM_GETNEIGH, NLM_F_REQUEST | NLM_F_DUMP, seq, ndm);
}

size_t NetlinkArpTable::build_set_request(const MIB_IPNETROW& row, uint32_t seq, unsigned char* buf, size_t size) {
  struct ndmsg ndm {};
  ndm.ndm_family = AF_INET;
  ndm.ndm_ifindex = static_cast<int>(row.dwIndex);
  if (row.dwType == MIB_IPNET_TYPE_STATIC) {
    ndm.ndm_state = NUD_PERMANENT;
  } else if (row.dwType == MIB_IPNET_TYPE_DYNAMIC) {
    ndm.ndm_state = NUD_REACHABLE;
  } else {
    return 0;
  }
  if (row.dwIndex == 0 || row.dwPhysAddrLen == 0 || row.dwPhysAddrLen > MAXLEN_PHYSADDR) return 0;
  size_t len = start_request(buf, size, RTM_NEWNEIGH, NLM_F_REQUEST | NLM_F_ACK | NLM_F_CREATE | NLM_F_REPLACE, seq,
                             ndm);
  if (!len) return 0;
  if (!add_attr(buf, size, len, NDA_DST, &row.dwAddr, sizeof(row.dwAddr))) return 0;
  if (!add_attr(buf, size, len, NDA_LLADDR, row.bPhysAddr, row.dwPhysAddrLen)) return 0;
  return len;
}

uint32_t NetlinkArpTable::next_seq() { return ui_seq.fetch_add(1) + 1; }

DWORD NetlinkArpTable::read_rows(std::vector<MIB_IPNETROW>& rows) {
  rows.clear();
  NetlinkSocket sock;
  if (sock.error()) return error_of_errno(sock.error());
  uint32_t seq = next_seq();
  unsigned char request[64];
  size_t request_len = build_dump_request(seq, request, sizeof(request));
  if (int e = sock.send(request, request_len)) return error_of_errno(e);
  std::vector<unsigned char> buf(kRecvBufferSize);
  for (int chunk = 0; chunk < kMaxChunks; ++chunk) {
    size_t len = 0;
    if (int e = sock.receive(buf.data(), buf.size(), len)) return error_of_errno(e);
    int error = 0;
    Chunk result = parse_dump(buf.data(), len, seq, rows, error);
    if (result == Chunk::kDone) return NO_ERROR;
    if (result == Chunk::kError) {
      rows.clear();
      return error_of_errno(error);
    }
  }
  rows.clear();
  return ERROR_GEN_FAILURE;
}

DWORD NetlinkArpTable::set_row(const MIB_IPNETROW& row) {
  uint32_t seq = next_seq();
  unsigned char request[128];
  size_t request_len = build_set_request(row, seq, request, sizeof(request));
  if (!request_len) return ERROR_INVALID_PARAMETER;
  NetlinkSocket sock;
  if (sock.error()) return error_of_errno(sock.error());
  if (int e = sock.send(request, request_len)) return error_of_errno(e);
  std::vector<unsigned char> buf(kRecvBufferSize);
  for (int chunk = 0; chunk < kMaxChunks; ++chunk) {
    size_t len = 0;
    if (int e = sock.receive(buf.data(), buf.size(), len)) return error_of_errno(e);
    int error = 0;
    if (parse_ack(buf.data(), len, seq, error)) return error_of_errno(error);
  }
  return ERROR_GEN_FAILURE;
}

}  // namespace platform
