#include "tests/support/agent_pcap.h"

#include <arpa/inet.h>
#include <pcap/pcap.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace agent_test {

namespace {

void put_mac(Frame& frame, size_t at, const std::string& text) {
  unsigned int b[6] = {0};
  if (std::sscanf(text.c_str(), "%x:%x:%x:%x:%x:%x", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]) != 6) {
    throw std::invalid_argument("bad MAC in test: " + text);
  }
  for (int i = 0; i < 6; ++i) frame.at(at + i) = static_cast<unsigned char>(b[i]);
}

void put_ip(Frame& frame, size_t at, const std::string& text) {
  in_addr address{};
  if (inet_pton(AF_INET, text.c_str(), &address) != 1) throw std::invalid_argument("bad IPv4 in test: " + text);
  std::memcpy(&frame.at(at), &address, 4);
}

void put_u16(Frame& frame, size_t at, uint16_t value) {
  frame.at(at) = static_cast<unsigned char>(value >> 8);
  frame.at(at + 1) = static_cast<unsigned char>(value & 0xff);
}

}  // namespace

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
  Frame frame(std::max<size_t>(length, 14), fill);
  put_mac(frame, 0, dst_mac);
  put_mac(frame, 6, src_mac);
  put_u16(frame, 12, ethertype);
  return frame;
}

Frame arp_frame(uint16_t op, const std::string& sender_mac, const std::string& sender_ip,
                const std::string& target_mac, const std::string& target_ip, const std::string& eth_dst) {
  Frame frame = ethernet_frame(eth_dst, sender_mac, 0x0806, 60);
  put_u16(frame, 14, 1);
  put_u16(frame, 16, 0x0800);
  frame[18] = 6;
  frame[19] = 4;
  put_u16(frame, 20, op);
  put_mac(frame, 22, sender_mac);
  put_ip(frame, 28, sender_ip);
  put_mac(frame, 32, target_mac);
  put_ip(frame, 38, target_ip);
  return frame;
}

Frame dhcp_offer(const std::string& server_mac, const std::string& client_mac, const std::string& yiaddr,
                 const std::string& router) {
  Frame frame = ethernet_frame(client_mac, server_mac, 0x0800, 300);
  frame[14] = 0x45;                          // IPv4, 20-byte header
  put_u16(frame, 16, 300 - 14);
  frame[22] = 64;                            // TTL
  frame[23] = 17;                            // UDP
  put_ip(frame, 26, "10.77.0.1");
  put_ip(frame, 30, yiaddr == "0.0.0.0" ? "255.255.255.255" : yiaddr);
  put_u16(frame, 34, 67);
  put_u16(frame, 36, 68);
  put_u16(frame, 38, 300 - 34);
  frame[42] = 2;  // BOOTREPLY
  frame[43] = 1;
  frame[44] = 6;
  put_ip(frame, 58, yiaddr);
  put_mac(frame, 70, client_mac);
  const unsigned char cookie[4] = {99, 130, 83, 99};
  std::memcpy(&frame[278], cookie, 4);
  size_t at = 282;
  frame[at++] = 53;
  frame[at++] = 1;
  frame[at++] = 2;  // DHCPOFFER
  if (!router.empty()) {
    frame[at++] = 3;
    frame[at++] = 4;
    put_ip(frame, at, router);
    at += 4;
  }
  frame[at] = 255;
  return frame;
}

ScratchDir::ScratchDir(const std::string& tag) {
  std::string pattern = (std::filesystem::temp_directory_path() / ("agent_" + tag + "_XXXXXX")).string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
  str_path = buf.data();
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(str_path, ignored);
}

std::string read_text(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

void write_text(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
}

}  // namespace agent_test
