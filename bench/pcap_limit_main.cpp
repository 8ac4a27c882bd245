// tidewell-pcap-limit FILE.pcap [BLOCK_BYTES]
//
// The libpcap read limit: the plainest loop over a capture file, counting
// the frames and looking at each one's ethertype so that the frame is
// really touched. Prints "frames N seconds S per_second R". Exit 1 when
// the file cannot be read. With BLOCK_BYTES the file is read in blocks of
// that size instead of the C library's default (the agent's replay reads
// in 1 MiB blocks), for a limit measured on equal terms.
#include <pcap/pcap.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

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

pcap_t* open_with_blocks(const char* path, std::vector<char>& block, char* errbuf) {
  FILE* file = std::fopen(path, "rb");
  if (!file) {
    std::snprintf(errbuf, PCAP_ERRBUF_SIZE, "cannot open %s", path);
    return nullptr;
  }
  std::setvbuf(file, block.data(), _IOFBF, block.size());
  pcap_t* pcap = pcap_fopen_offline(file, errbuf);
  if (!pcap) std::fclose(file);
  return pcap;
}

}  // namespace

int main(int argc, char** argv) {
  long block_bytes = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 0;
  if (argc < 2 || argc > 3 || (argc == 3 && (block_bytes < 512 || block_bytes > (1L << 30)))) {
    std::fprintf(stderr, "usage: tidewell-pcap-limit FILE.pcap [BLOCK_BYTES (512 .. 1 GiB)]\n");
    return 2;
  }
  char errbuf[PCAP_ERRBUF_SIZE] = {0};
  std::vector<char> block(static_cast<size_t>(block_bytes));  // outlives the handle
  auto start = std::chrono::steady_clock::now();
  pcap_t* pcap = block_bytes ? open_with_blocks(argv[1], block, errbuf) : pcap_open_offline(argv[1], errbuf);
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
