#include "instrument/log.h"

#include <gtest/gtest.h>

#include <sstream>

namespace corvel::log {
namespace {

TEST(Log, HexSwitchesBackToDecimalWithinTheLine) {
  std::ostringstream out;
  line(out, "[x] tag=0x", Hex{0xffffffff}, " ch=", 12u);
  EXPECT_EQ(out.str(), "[x] tag=0xffffffff ch=12\n");
}

TEST(Log, PointersAreSixteenUpperCaseDigits) {
  std::ostringstream out;
  line(out, "fx=", Ptr{reinterpret_cast<const void*>(0xabc123)}, " n=", 7);
  EXPECT_EQ(out.str(), "fx=0000000000ABC123 n=7\n");
}

TEST(Log, PlugInTextsAreWrittenUnchanged) {
  std::ostringstream out;
  line(out, "[x] loaded ", "/usr/lib/vst/My Synth.so", " v=", 0.787402f);
  EXPECT_EQ(out.str(), "[x] loaded /usr/lib/vst/My Synth.so v=0.787402\n");
}

}  // namespace
}  // namespace corvel::log
