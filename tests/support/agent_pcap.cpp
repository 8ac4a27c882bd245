#include "tests/support/agent_pcap.h"

#include <pcap/pcap.h>

#include <algorithm>
#include <stdexcept>

namespace agent_test {

void write_pcap(const std::string& path, const std::vector<TimedFrame>& frames, int linktype) {
  pcap_t* dead = pcap_open_dead(linktype, 65535);
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
    header.len = std::max<bpf_u_int32>(header.caplen, frame.wire_len);
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

Frame arp_frame(uint16_t op, const std::string& sender_mac, const std::string& sender_ip,
                const std::string& target_mac, const std::string& target_ip, const std::string& eth_dst) {
  tidewell_test::ArpFields fields;
  fields.op = op;
  fields.eth_dst = eth_dst;
  fields.sender_mac = sender_mac;
  fields.sender_ip = sender_ip;
  fields.target_mac = target_mac;
  fields.target_ip = target_ip;
  return tidewell_test::arp_frame(fields, 60);
}

Frame dhcp_offer(const std::string& server_mac, const std::string& client_mac, const std::string& yiaddr,
                 const std::string& router) {
  tidewell_test::FrameBuilder frame(300);
  frame.set_mac(0, client_mac).set_mac(6, server_mac).set16(12, 0x0800);
  frame.set(14, {0x45}).set16(16, 300 - 14);  // IPv4, 20-byte header
  frame.set(22, {64, 17});                    // TTL, UDP
  frame.set_ip(26, "10.77.0.1").set_ip(30, yiaddr == "0.0.0.0" ? "255.255.255.255" : yiaddr);
  frame.set16(34, 67).set16(36, 68).set16(38, 300 - 34);
  frame.set(42, {2, 1, 6});  // BOOTREPLY, Ethernet, 6-byte addresses
  frame.set_ip(58, yiaddr).set_mac(70, client_mac);
  frame.set(278, {99, 130, 83, 99});
  tidewell_test::Bytes options = {53, 1, 2};  // DHCPOFFER
  if (!router.empty()) {
    tidewell_test::Bytes address = tidewell_test::ip_bytes(router);
    options.push_back(3);
    options.push_back(static_cast<unsigned char>(address.size()));
    options.insert(options.end(), address.begin(), address.end());
  }
  options.push_back(255);
  return frame.set(282, options).bytes();
}

}  // namespace agent_test
