#pragma once
// The support names that the tests of every guard use, taken into a guard's
// test namespace with one line.
#include "tests/support/CoreRecorder.h"
#include "tests/support/FakeTicks.h"
#include "tests/support/FrameBuilder.h"
#include "tests/support/SentFrames.h"
#include "tests/support/TestHome.h"

namespace tidewell_test::common {

using tidewell_test::Bytes;
using tidewell_test::CoreRecorder;
using tidewell_test::count_of;
using tidewell_test::FakeTicks;
using tidewell_test::hex;
using tidewell_test::ip_bytes;
using tidewell_test::mac_bytes;
using tidewell_test::narrow;
using tidewell_test::read_file;
using tidewell_test::SentFrames;

}  // namespace tidewell_test::common
