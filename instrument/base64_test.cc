#include "instrument/base64.h"

#include <gtest/gtest.h>

#include <random>

namespace corvel {
namespace {

std::string encode(std::string_view bytes) {
  return base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

struct Decoded {
  bool ok;
  std::string bytes;
};

Decoded decode(std::string_view text) {
  std::vector<uint8_t> out{'s', 't', 'a', 'l', 'e'};
  const bool ok = base64Decode(text, out);
  return {ok, std::string(out.begin(), out.end())};
}

TEST(Base64, EncodesWithPadding) {
  EXPECT_EQ(encode(""), "");
  EXPECT_EQ(encode("M"), "TQ==");
  EXPECT_EQ(encode("Ma"), "TWE=");
  EXPECT_EQ(encode("Man"), "TWFu");
  EXPECT_EQ(encode(std::string("\xff\xfe\x00", 3)), "//4A");
}

TEST(Base64, DecodesLenientlyAboutLayoutAndPadding) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"TWFu", "Man"}, {"TWE=", "Ma"}, {"TQ==", "M"}, {"TQ", "M"}, {"T", ""},
      {"TW=Fu", "Man"}, {"TW\r\nFu", "Man"}, {"", ""}, {" \r\n==\n ", ""},
  };
  for (const auto& [text, bytes] : cases) {
    const Decoded result = decode(text);
    EXPECT_TRUE(result.ok) << text;
    EXPECT_EQ(result.bytes, bytes) << text;
  }
}

TEST(Base64, StopsAtTheFirstForeignByteKeepingWhatCameBefore) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"TWFu\tTWFu", "Man"}, {"TWFu-", "Man"}, {"TW_Fu", "M"}, {"\x80TWFu", ""}, {"TWFu!", "Man"},
  };
  for (const auto& [text, bytes] : cases) {
    const Decoded result = decode(text);
    EXPECT_FALSE(result.ok) << text;
    EXPECT_EQ(result.bytes, bytes) << text;
  }
}

TEST(Base64, RoundTripsRandomBytesOfEveryLengthClass) {
  std::mt19937 random(12345);
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> back;
  for (size_t length = 0; length <= 70000; length += 1 + length / 3) {
    bytes.resize(length);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    const std::string text = base64Encode(bytes.data(), bytes.size());
    ASSERT_EQ(text.size(), (length + 2) / 3 * 4);
    ASSERT_TRUE(base64Decode(text, back));
    ASSERT_EQ(back, bytes) << "length " << length;
  }
}

}  // namespace
}  // namespace corvel
