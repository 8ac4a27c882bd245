// tidewell-pcap-limit FILE.pcap
//
// The libpcap read limit: the plainest loop over a capture file, counting
// the frames and looking at each one's ethertype so that the frame is
// really touched. Prints "frames N seconds S per_second R". Exit 1 when
// the file cannot be read.
#include <pcap/pcap.h>

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace {

struct Count {
  uint64_t frames = 0;
  uint64_t arp = 0;
};

void on_frame(u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
  Count* count = reinterpret_cast<Count*>(user);
  ++count->frames;
  if (header->caplen >= 14 && bytes[12] == 0x08 && bytes[13] == 0x06) ++count->arp;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tidewell-pcap-limit FILE.pcap\n");
    return 2;
  }
  char errbuf[PCAP_ERRBUF_SIZE] = {0};
  auto start = std::chrono::steady_clock::now();
  pcap_t* pcap = pcap_open_offline(argv[1], errbuf);
  if (!pcap) {
    std::fprintf(stderr, "tidewell-pcap-limit: %s\n", errbuf);
    return 1;
  }
  Count count;
  int rc = pcap_loop(pcap, -1, on_frame, reinterpret_cast<u_char*>(&count));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  pcap_close(pcap);
  if (rc == PCAP_ERROR) {
    std::fprintf(stderr, "tidewell-pcap-limit: read error\n");
    return 1;
  }
  std::printf("frames %llu arp %llu seconds %.6f per_second %.0f\n", static_cast<unsigned long long>(count.frames),
              static_cast<unsigned long long>(count.arp), seconds,
              seconds > 0 ? static_cast<double>(count.frames) / seconds : 0.0);
  return 0;
}
