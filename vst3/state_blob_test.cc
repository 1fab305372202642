#include "vst3/state_blob.h"

#include <gtest/gtest.h>

#include "instrument/base64.h"

namespace corvel {
namespace {

using Bytes = std::vector<uint8_t>;

std::string encoded(const Bytes& layout) { return base64Encode(layout.data(), layout.size()); }

TEST(StateBlob, LayoutIsBigEndianLengthsAroundEachPart) {
  const Bytes layout = {0, 0, 0, 3, 'a', 'b', 'c', 0, 0, 0, 0};
  EXPECT_EQ(encodeStateBlob({'a', 'b', 'c'}, {}), encoded(layout));
  EXPECT_EQ(encodeStateBlob({}, {}), "");
  EXPECT_EQ(encodeStateBlob({}, {7}), encoded({0, 0, 0, 0, 0, 0, 0, 1, 7}));
}

TEST(StateBlob, RoundTripAndTrailingBytes) {
  Bytes component, controller;
  const Bytes big(300, 0x5a);
  ASSERT_EQ(decodeStateBlob(encodeStateBlob(big, {1, 2}), component, controller),
            StateBlobError::none);
  EXPECT_EQ(component, big);
  EXPECT_EQ(controller, (Bytes{1, 2}));

  ASSERT_EQ(decodeStateBlob(encoded({0, 0, 0, 1, 9, 0, 0, 0, 0, 0xee, 0xff}), component, controller),
            StateBlobError::none);
  EXPECT_EQ(component, Bytes{9});
  EXPECT_TRUE(controller.empty());
}

TEST(StateBlob, RejectsBrokenTextsWithoutTouchingTheBuffers) {
  const Bytes before = {42};
  struct Case {
    std::string text;
    StateBlobError error;
  } cases[] = {
      {"", StateBlobError::badBase64},
      {"not*base64", StateBlobError::badBase64},
      {encoded({0, 0, 0, 0, 0, 0, 0}), StateBlobError::badBase64},
      {encoded({0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0}), StateBlobError::badCompLen},
      {encoded({0, 0, 0, 2, 1, 2, 0, 0}), StateBlobError::badCtrlLen},
      {encoded({0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff}), StateBlobError::badCtrlLen},
  };
  for (const auto& c : cases) {
    Bytes component = before, controller = before;
    EXPECT_EQ(decodeStateBlob(c.text, component, controller), c.error) << c.text;
    EXPECT_EQ(component, before);
    EXPECT_EQ(controller, before);
  }
}

}  // namespace
}  // namespace corvel
