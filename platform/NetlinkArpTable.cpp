#include "platform/NetlinkArpTable.h"

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/NetlinkClient.h"

namespace platform {

namespace {

constexpr size_t kNdmsgSpace = NLMSG_ALIGN(sizeof(struct ndmsg));
using Message = NetlinkClient::Message;
using Attr = NetlinkClient::Attr;

// Fills `row` from the attributes of one RTM_NEWNEIGH; false when the row has
// no usable IPv4 destination or its attributes are malformed.
bool read_neigh_row(const Message& msg, MIB_IPNETROW& row) {
  if (msg.len < NLMSG_HDRLEN + sizeof(struct ndmsg)) return false;
  struct ndmsg ndm {};
  std::memcpy(&ndm, msg.data + NLMSG_HDRLEN, sizeof(ndm));
  if (ndm.ndm_family != AF_INET || (ndm.ndm_flags & NTF_PROXY)) return false;
  row = MIB_IPNETROW{};
  row.dwIndex = static_cast<DWORD>(ndm.ndm_ifindex);
  row.dwType = NetlinkArpTable::type_of_state(ndm.ndm_state);
  bool has_dst = false;
  size_t attrs_at = std::min(msg.len, NLMSG_HDRLEN + kNdmsgSpace);
  bool whole = NetlinkClient::walk_attrs(msg.data + attrs_at, msg.len - attrs_at, [&](const Attr& a) {
    if (a.type == NDA_DST && a.len == sizeof(row.dwAddr)) {
      std::memcpy(&row.dwAddr, a.data, sizeof(row.dwAddr));
      has_dst = true;
    } else if (a.type == NDA_LLADDR && a.len <= MAXLEN_PHYSADDR) {
      std::memcpy(row.bPhysAddr, a.data, a.len);
      row.dwPhysAddrLen = static_cast<DWORD>(a.len);
    }
  });
  return whole && has_dst;
}

size_t start_neigh_request(unsigned char* buf, size_t size, uint16_t type, uint16_t flags, uint32_t seq,
                           const struct ndmsg& ndm) {
  return NetlinkClient::start_request(buf, size, type, flags, seq, &ndm, sizeof(ndm));
}

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
  Chunk chunk = Chunk::kMore;
  auto walk = NetlinkClient::walk_messages(buf, len, [&](const Message& msg) {
    if (msg.seq != seq) return true;
    if (msg.type == NLMSG_DONE || msg.type == NLMSG_ERROR) {
      error = NetlinkClient::error_of(msg);
      // An acknowledgement has no place in a dump.
      if (msg.type == NLMSG_ERROR && !error) error = EPROTO;
      chunk = error ? Chunk::kError : Chunk::kDone;
      return false;
    }
    MIB_IPNETROW row;
    if (msg.type != RTM_NEWNEIGH || !read_neigh_row(msg, row)) return true;
    if (rows.size() >= kMaxRows) {
      error = EOVERFLOW;
      chunk = Chunk::kError;
      return false;
    }
    rows.push_back(row);
    return true;
  });
  if (walk == NetlinkClient::Walk::kBroken) {
    error = EPROTO;
    return Chunk::kError;
  }
  return chunk;
}

bool NetlinkArpTable::parse_events(const unsigned char* buf, size_t len, std::vector<MIB_IPNETROW>& rows) {
  auto walk = NetlinkClient::walk_messages(buf, len, [&](const Message& msg) {
    MIB_IPNETROW row;
    if ((msg.type != RTM_NEWNEIGH && msg.type != RTM_DELNEIGH) || !read_neigh_row(msg, row)) return true;
    if (msg.type == RTM_DELNEIGH) row.dwType = MIB_IPNET_TYPE_INVALID;
    rows.push_back(row);
    return true;
  });
  return walk != NetlinkClient::Walk::kBroken;
}

bool NetlinkArpTable::parse_ack(const unsigned char* buf, size_t len, uint32_t seq, int& error) {
  bool found = false;
  auto walk = NetlinkClient::walk_messages(buf, len, [&](const Message& msg) {
    if (msg.seq != seq || msg.type != NLMSG_ERROR) return true;
    error = NetlinkClient::error_of(msg);
    found = true;
    return false;
  });
  if (walk == NetlinkClient::Walk::kBroken && !found) {
    error = EPROTO;
    return true;
  }
  return found;
}

size_t NetlinkArpTable::build_dump_request(uint32_t seq, unsigned char* buf, size_t size) {
  struct ndmsg ndm {};
  ndm.ndm_family = AF_INET;
  return start_neigh_request(buf, size, RTM_GETNEIGH, NLM_F_REQUEST | NLM_F_DUMP, seq, ndm);
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
  size_t len = start_neigh_request(buf, size, RTM_NEWNEIGH, NLM_F_REQUEST | NLM_F_ACK | NLM_F_CREATE | NLM_F_REPLACE, seq,
                             ndm);
  if (!len) return 0;
  if (!NetlinkClient::add_attr(buf, size, len, NDA_DST, &row.dwAddr, sizeof(row.dwAddr))) return 0;
  if (!NetlinkClient::add_attr(buf, size, len, NDA_LLADDR, row.bPhysAddr, row.dwPhysAddrLen)) return 0;
  return len;
}

DWORD NetlinkArpTable::read_rows(std::vector<MIB_IPNETROW>& rows) {
  rows.clear();
  uint32_t seq = NetlinkClient::next_seq();
  unsigned char request[64];
  size_t request_len = build_dump_request(seq, request, sizeof(request));
  NetlinkClient client;
  int error = client.open(0, NetlinkClient::kReplyTimeoutMs);
  if (!error) {
    error = client.exchange(request, request_len, [&](const unsigned char* data, size_t len) {
      int chunk_error = 0;
      Chunk chunk = parse_dump(data, len, seq, rows, chunk_error);
      return chunk == Chunk::kMore ? -1 : chunk_error;
    });
  }
  if (error) rows.clear();
  return error_of_errno(error);
}

DWORD NetlinkArpTable::set_row(const MIB_IPNETROW& row) {
  uint32_t seq = NetlinkClient::next_seq();
  unsigned char request[128];
  size_t request_len = build_set_request(row, seq, request, sizeof(request));
  if (!request_len) return ERROR_INVALID_PARAMETER;
  NetlinkClient client;
  int error = client.open(0, NetlinkClient::kReplyTimeoutMs);
  if (!error) {
    error = client.exchange(request, request_len, [&](const unsigned char* data, size_t len) {
      int ack_error = 0;
      return parse_ack(data, len, seq, ack_error) ? ack_error : -1;
    });
  }
  return error_of_errno(error);
}

}  // namespace platform
