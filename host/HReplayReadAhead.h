#pragma once
// Reads a replayed capture ahead of the thread that delivers its frames:
// the file is read and parsed on a thread of its own while the callbacks
// run, so a replay at full speed uses a second core. Frames are copied into
// a few chunks that go round between the two threads, in the file's order;
// the reader waits while every chunk is full, so nothing is dropped.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class HReplayReadAhead {
 public:
  // Reads the next frame of the file: 1 with a frame (valid until the next
  // call), 0 at the end of the file, -1 on an error.
  using ReadFrame = std::function<int(double& ts, const unsigned char*& bytes, int& len)>;

  struct Frame {
    double ts;
    size_t offset;  // into the chunk's data
    int len;
  };
  struct Chunk {
    std::vector<unsigned char> data;  // its first `used` bytes hold the frames
    size_t used = 0;
    std::vector<Frame> frames;
    const unsigned char* bytes(const Frame& frame) const { return data.data() + frame.offset; }
  };

  HReplayReadAhead(ReadFrame read, size_t frames_per_chunk);
  ~HReplayReadAhead();  // stops and waits for the reader
  HReplayReadAhead(const HReplayReadAhead&) = delete;
  HReplayReadAhead& operator=(const HReplayReadAhead&) = delete;

  void start();
  // The next chunk in the file's order, or nullptr once the file is read
  // to its end, has failed, or stop() was called. Give it back when done.
  Chunk* take();
  void give_back(Chunk* chunk);
  // The reader ends before its next frame; take() returns nullptr.
  void stop();
  // After take() returned nullptr: whether the file failed to read.
  bool failed();

 private:
  static constexpr size_t kChunks = 16;
  static constexpr size_t kChunkBytes = 128 * 1024;
  // A side that had to wait sleeps until half the chunks are ready for it:
  // when one side is faster, it is woken once per half round, not per chunk.
  // (Both waiting would need more than all chunks between them.)
  static constexpr size_t kWakeAt = kChunks / 2;

  void read_all();
  // Fills a chunk; false once the file has ended (the chunk may hold frames).
  bool fill(Chunk& chunk);
  Chunk* wait_for_free_chunk();
  void hand_over(Chunk* chunk, bool last, bool error);

  ReadFrame fn_read;
  size_t sz_frames_per_chunk;
  std::vector<std::unique_ptr<Chunk>> vt_chunks;
  std::mutex mtx;
  std::condition_variable cv_filled;
  std::condition_variable cv_free;
  std::deque<Chunk*> dq_filled;
  std::deque<Chunk*> dq_free;
  bool b_done = false;   // the reader has handed over its last chunk
  bool b_reader_waiting = false;
  bool b_taker_waiting = false;
  bool b_error = false;
  bool b_stop = false;
  int i_read_status = 1;  // the last read's result, on the reader thread
  std::thread th_reader;
};
