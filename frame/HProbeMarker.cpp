#include "frame/HProbeMarker.h"

#include <cstring>

const unsigned char HProbeMarker::kBytes[kLen] = {'K', 'i', 'v', 'o', 'H', 'a', 'r', 'b', 'o',
                                                  'r', 'P', 'r', 'o', 'b', 'e', 0,   0,   0};

bool HProbeMarker::marks(const unsigned char* frame, int len) {
  return frame && len >= kFrameLen && std::memcmp(frame + kOffset, kBytes, kLen) == 0;
}
