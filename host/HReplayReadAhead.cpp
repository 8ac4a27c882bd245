#include "host/HReplayReadAhead.h"

#include <cstring>
#include <utility>

HReplayReadAhead::HReplayReadAhead(ReadFrame read, size_t frames_per_chunk)
    : fn_read(std::move(read)), sz_frames_per_chunk(frames_per_chunk ? frames_per_chunk : 1) {
  for (size_t i = 0; i < kChunks; ++i) {
    vt_chunks.emplace_back(new Chunk);
    vt_chunks.back()->data.resize(kChunkBytes);
    vt_chunks.back()->frames.reserve(sz_frames_per_chunk);
    dq_free.push_back(vt_chunks.back().get());
  }
}

HReplayReadAhead::~HReplayReadAhead() {
  stop();
  if (th_reader.joinable()) th_reader.join();
}

void HReplayReadAhead::start() { th_reader = std::thread([this] { read_all(); }); }

void HReplayReadAhead::stop() {
  std::lock_guard<std::mutex> lock(mtx);
  b_stop = true;
  cv_free.notify_all();
  cv_filled.notify_all();
}

bool HReplayReadAhead::failed() {
  std::lock_guard<std::mutex> lock(mtx);
  return b_error;
}

HReplayReadAhead::Chunk* HReplayReadAhead::take() {
  std::unique_lock<std::mutex> lock(mtx);
  b_taker_waiting = dq_filled.empty();
  cv_filled.wait(lock, [this] { return b_stop || b_done || dq_filled.size() >= (b_taker_waiting ? kWakeAt : 1); });
  b_taker_waiting = false;
  if (b_stop || dq_filled.empty()) return nullptr;
  Chunk* chunk = dq_filled.front();
  dq_filled.pop_front();
  return chunk;
}

void HReplayReadAhead::give_back(Chunk* chunk) {
  if (!chunk) return;
  std::lock_guard<std::mutex> lock(mtx);
  dq_free.push_back(chunk);
  if (b_reader_waiting && dq_free.size() >= kWakeAt) cv_free.notify_one();
}

void HReplayReadAhead::read_all() {
  for (;;) {
    Chunk* chunk = wait_for_free_chunk();
    if (!chunk) return;
    bool more = fill(*chunk);
    hand_over(chunk, !more, i_read_status < 0);
    if (!more) return;
  }
}

HReplayReadAhead::Chunk* HReplayReadAhead::wait_for_free_chunk() {
  std::unique_lock<std::mutex> lock(mtx);
  b_reader_waiting = dq_free.empty();
  cv_free.wait(lock, [this] { return b_stop || dq_free.size() >= (b_reader_waiting ? kWakeAt : 1); });
  b_reader_waiting = false;
  if (b_stop) return nullptr;
  Chunk* chunk = dq_free.front();
  dq_free.pop_front();
  return chunk;
}

// A chunk ends at its frame count or when its data are full (a frame
// longer than the room left makes the buffer grow; the next fill reuses it).
bool HReplayReadAhead::fill(Chunk& chunk) {
  chunk.used = 0;
  chunk.frames.clear();
  while (chunk.frames.size() < sz_frames_per_chunk) {
    double ts = 0;
    const unsigned char* bytes = nullptr;
    int len = 0;
    i_read_status = fn_read(ts, bytes, len);
    if (i_read_status != 1) return false;
    size_t length = (bytes && len > 0) ? static_cast<size_t>(len) : 0;
    if (chunk.data.size() - chunk.used < length) chunk.data.resize(chunk.used + length);
    if (length > 0) std::memcpy(chunk.data.data() + chunk.used, bytes, length);
    chunk.frames.emplace_back();
    Frame& frame = chunk.frames.back();
    frame.ts = ts;
    frame.offset = chunk.used;
    frame.len = static_cast<int>(length);
    chunk.used += length;
    if (chunk.used >= kChunkBytes) break;
  }
  return true;
}

void HReplayReadAhead::hand_over(Chunk* chunk, bool last, bool error) {
  std::lock_guard<std::mutex> lock(mtx);
  if (!chunk->frames.empty()) {
    dq_filled.push_back(chunk);
  } else {
    dq_free.push_back(chunk);
  }
  if (last) {
    b_done = true;
    b_error = error;
  }
  if (last || (b_taker_waiting && dq_filled.size() >= kWakeAt)) cv_filled.notify_one();
}
