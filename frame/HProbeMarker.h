#pragma once
// The marker in the padding of the frames that this system's own probes
// send: "KivoHarborProbe" and three zero bytes at offset 42. A marked frame
// is never judged as a claim, so a probe cannot answer itself.
#include <cstddef>

#include "wire/HWireLayout.h"

class HProbeMarker {
 public:
  static constexpr int kOffset = HWireLayout::kArpFrameLen;
  static constexpr int kLen = 18;
  static constexpr int kFrameLen = kOffset + kLen;
  static const unsigned char kBytes[kLen];

  // Whether the whole marker stands in the frame.
  static bool marks(const unsigned char* frame, int len);
};
static_assert(HProbeMarker::kFrameLen == HWireLayout::kMinFrameLen, "the marker fills the padding");
