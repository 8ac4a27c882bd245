#include "tests/support/agent_pcap.h"

#include <pcap/pcap.h>

#include <algorithm>
#include <stdexcept>

namespace agent_test {

void write_pcap(const std::string& path, const std::vector<TimedFrame>& frames) {
  pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
  pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
  if (dumper == nullptr) {
    pcap_close(dead);
    throw std::runtime_error("cannot write " + path);
  }
  for (const TimedFrame& frame : frames) {
    pcap_pkthdr header{};
    header.ts.tv_sec = static_cast<time_t>(frame.ts);
    header.ts.tv_usec = static_cast<suseconds_t>((frame.ts - static_cast<double>(header.ts.tv_sec)) * 1e6);
    header.caplen = static_cast<bpf_u_int32>(frame.bytes.size());
    header.len = header.caplen;
    pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame.bytes.data());
  }
  pcap_dump_close(dumper);
  pcap_close(dead);
}

std::vector<TimedFrame> read_pcap(const std::string& path) {
  std::vector<TimedFrame> frames;
  char errbuf[PCAP_ERRBUF_SIZE];
  pcap_t* handle = pcap_open_offline(path.c_str(), errbuf);
  if (handle == nullptr) return frames;
  pcap_pkthdr* header = nullptr;
  const u_char* bytes = nullptr;
  while (pcap_next_ex(handle, &header, &bytes) == 1) {
    TimedFrame frame;
    frame.ts = static_cast<double>(header->ts.tv_sec) + header->ts.tv_usec / 1e6;
    frame.bytes.assign(bytes, bytes + header->caplen);
    frames.push_back(frame);
  }
  pcap_close(handle);
  return frames;
}

Frame ethernet_frame(const std::string& dst_mac, const std::string& src_mac, uint16_t ethertype, size_t length,
                     unsigned char fill) {
  tidewell_test::FrameBuilder frame(std::max<size_t>(length, 14), fill);
  frame.set_mac(0, dst_mac).set_mac(6, src_mac).set16(12, ethertype);
  return frame.bytes();
}

}  // namespace agent_test
