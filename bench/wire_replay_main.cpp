// tidewell-wire-replay IFACE FILE.pcap FRAMES_PER_SECOND [MAX_FRAMES]
//
// Sends the frames of a capture file out of IFACE, unchanged, at a steady
// rate: a millisecond's worth at a time with sendmmsg on an AF_PACKET
// socket. For the lab's live speed test; needs CAP_NET_RAW. Stops after the
// file or MAX_FRAMES frames, and never runs longer than the frames need at
// the rate plus ten seconds. Prints "sent N frames in S s (R per second)".
// Exit codes: 0 all sent, 1 system error or frames refused, 2 bad usage.
#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <pcap/pcap.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kMaxRate = 5000000;
constexpr size_t kMaxFrames = 20000000;
constexpr size_t kMaxFrameLen = 1514;
constexpr auto kSlot = std::chrono::milliseconds(1);
constexpr auto kSlack = std::chrono::seconds(10);

int usage(const char* why) {
  std::fprintf(stderr,
               "tidewell-wire-replay: %s\nusage: tidewell-wire-replay IFACE FILE.pcap FRAMES_PER_SECOND [MAX_FRAMES]\n",
               why);
  return 2;
}

bool parse(const char* text, long low, long high, long& out) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  out = v;
  return true;
}

// Every frame of the file (cut to an Ethernet frame's size), at most `limit`.
bool load(const char* path, size_t limit, std::vector<std::vector<unsigned char>>& frames) {
  char errbuf[PCAP_ERRBUF_SIZE] = {0};
  pcap_t* pcap = pcap_open_offline(path, errbuf);
  if (!pcap) {
    std::fprintf(stderr, "tidewell-wire-replay: %s\n", errbuf);
    return false;
  }
  pcap_pkthdr* header = nullptr;
  const u_char* bytes = nullptr;
  while (frames.size() < limit && pcap_next_ex(pcap, &header, &bytes) == 1) {
    size_t len = header->caplen < kMaxFrameLen ? header->caplen : kMaxFrameLen;
    if (len >= 14) frames.emplace_back(bytes, bytes + len);
  }
  pcap_close(pcap);
  return true;
}

int open_socket(const char* iface, sockaddr_ll& to) {
  int fd = ::socket(AF_PACKET, SOCK_RAW, 0);  // protocol 0: sends only, receives nothing
  if (fd < 0) {
    std::perror("tidewell-wire-replay: socket");
    return -1;
  }
  std::memset(&to, 0, sizeof(to));
  to.sll_family = AF_PACKET;
  to.sll_ifindex = static_cast<int>(if_nametoindex(iface));
  to.sll_halen = ETH_ALEN;
  if (to.sll_ifindex == 0) {
    std::fprintf(stderr, "tidewell-wire-replay: no interface %s\n", iface);
    ::close(fd);
    return -1;
  }
  return fd;
}

// Sends frames [from, to) in one or more sendmmsg calls; false on an error.
bool send_slot(int fd, sockaddr_ll& dest, std::vector<std::vector<unsigned char>>& frames, size_t from, size_t to) {
  std::vector<mmsghdr> msgs(to - from);
  std::vector<iovec> iov(to - from);
  for (size_t i = from; i < to; ++i) {
    iov[i - from] = iovec{frames[i].data(), frames[i].size()};
    msgs[i - from] = mmsghdr{};
    msgs[i - from].msg_hdr.msg_iov = &iov[i - from];
    msgs[i - from].msg_hdr.msg_iovlen = 1;
    msgs[i - from].msg_hdr.msg_name = &dest;
    msgs[i - from].msg_hdr.msg_namelen = sizeof(dest);
  }
  size_t done = 0;
  for (int tries = 0; done < msgs.size() && tries < 1000; ++tries) {
    int n = ::sendmmsg(fd, msgs.data() + done, static_cast<unsigned>(msgs.size() - done), 0);
    if (n < 0 && (errno == ENOBUFS || errno == EAGAIN || errno == EINTR)) {
      std::this_thread::sleep_for(std::chrono::microseconds(50));
      continue;
    }
    if (n < 0) {
      std::perror("tidewell-wire-replay: sendmmsg");
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return done == msgs.size();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) return usage("wrong number of arguments");
  long rate = 0;
  long max_frames = static_cast<long>(kMaxFrames);
  if (!parse(argv[3], 1, kMaxRate, rate)) return usage("bad rate");
  if (argc == 5 && !parse(argv[4], 1, static_cast<long>(kMaxFrames), max_frames)) return usage("bad frame count");
  std::vector<std::vector<unsigned char>> frames;
  if (!load(argv[2], static_cast<size_t>(max_frames), frames)) return 1;
  if (frames.empty()) return usage("no frames in the file");
  sockaddr_ll dest;
  int fd = open_socket(argv[1], dest);
  if (fd < 0) return 1;

  const Clock::time_point start = Clock::now();
  const Clock::time_point give_up =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                  static_cast<double>(frames.size()) / static_cast<double>(rate))) + kSlack;
  size_t sent = 0;
  bool ok = true;
  for (long slot = 1; ok && sent < frames.size() && Clock::now() < give_up; ++slot) {
    // Frames due by the end of this slot.
    size_t due = static_cast<size_t>(static_cast<double>(rate) * static_cast<double>(slot) / 1000.0);
    if (due > frames.size()) due = frames.size();
    if (due > sent) ok = send_slot(fd, dest, frames, sent, due);
    if (ok) sent = due > sent ? due : sent;
    std::this_thread::sleep_until(start + kSlot * slot);
  }
  double took = std::chrono::duration<double>(Clock::now() - start).count();
  ::close(fd);
  std::printf("sent %zu frames in %.2f s (%.0f per second)\n", sent, took, took > 0 ? static_cast<double>(sent) / took : 0.0);
  return ok && sent == frames.size() ? 0 : 1;
}
