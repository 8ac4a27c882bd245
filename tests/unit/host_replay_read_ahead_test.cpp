// The replay's read-ahead: frames come out whole and in the file's order
// across chunks (a frame longer than a chunk included), a read error after
// some frames still hands those frames over and is reported, and stop()
// ends a reader that waits for a free chunk, without reading on.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "host/HReplayReadAhead.h"

namespace {

// Frame i is (i * 37) % 301 bytes long, frame 500 is 300 KiB; byte k of
// frame i holds (i + k) % 251.
std::vector<unsigned char> frame_bytes(int i) {
  size_t length = i == 500 ? 300 * 1024 : static_cast<size_t>((i * 37) % 301);
  std::vector<unsigned char> bytes(length);
  for (size_t k = 0; k < length; ++k) bytes[k] = static_cast<unsigned char>((i + k) % 251);
  return bytes;
}

// Reads frames 0..count-1, then ends with `end_status` (0 end of file, -1 error).
HReplayReadAhead::ReadFrame numbered_file(int count, int end_status, std::atomic<int>& reads) {
  auto current = std::make_shared<std::vector<unsigned char>>();
  return [count, end_status, &reads, current](double& ts, const unsigned char*& bytes, int& len) {
    int i = reads++;
    if (i >= count) return end_status;
    *current = frame_bytes(i);
    ts = 1000.0 + i;
    bytes = current->data();
    len = static_cast<int>(current->size());
    return 1;
  };
}

// Takes every chunk and checks each frame against what the file held.
int drain_and_check(HReplayReadAhead& reader) {
  int next = 0;
  while (HReplayReadAhead::Chunk* chunk = reader.take()) {
    for (const HReplayReadAhead::Frame& frame : chunk->frames) {
      std::vector<unsigned char> expected = frame_bytes(next);
      EXPECT_EQ(1000.0 + next, frame.ts);
      EXPECT_EQ(expected.size(), static_cast<size_t>(frame.len)) << "frame " << next;
      if (!expected.empty() && expected.size() == static_cast<size_t>(frame.len)) {
        EXPECT_EQ(0, std::memcmp(expected.data(), chunk->bytes(frame), expected.size())) << "frame " << next;
      }
      ++next;
    }
    reader.give_back(chunk);
  }
  return next;
}

TEST(ReplayReadAhead, FramesComeOutWholeAndInOrderUntilTheEndOrAnError) {
  for (int end_status : {0, -1}) {
    std::atomic<int> reads{0};
    HReplayReadAhead reader(numbered_file(3000, end_status, reads), 64);
    reader.start();
    EXPECT_EQ(3000, drain_and_check(reader)) << "end status " << end_status;
    EXPECT_EQ(end_status < 0, reader.failed());
    EXPECT_EQ(nullptr, reader.take());  // and stays done
  }
}

TEST(ReplayReadAhead, StopEndsAReaderThatWaitsForAFreeChunk) {
  std::atomic<int> reads{0};
  int read_when_stopped = 0;
  {
    HReplayReadAhead reader(numbered_file(1 << 30, 0, reads), 16);
    reader.start();
    HReplayReadAhead::Chunk* first = reader.take();
    ASSERT_NE(nullptr, first);
    // Never given back: the reader fills the other chunks and then waits.
    int seen = -1;
    for (int i = 0; i < 500 && reads.load() != seen; ++i) {
      seen = reads.load();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    read_when_stopped = reads.load();
    reader.stop();
    EXPECT_EQ(nullptr, reader.take());
    EXPECT_FALSE(reader.failed());
  }  // joins the reader: a hang here fails the test by its timeout
  EXPECT_GT(read_when_stopped, 16);
  EXPECT_EQ(0, read_when_stopped % 16);  // it waits between chunks
  EXPECT_EQ(read_when_stopped, reads.load());
}

}  // namespace
