#include "tools/scan_json.h"

#include <gtest/gtest.h>

#include <limits>

namespace corvel {
namespace {

TEST(ScanJson, EscapesQuotesBackslashesAndEveryControlCharacter) {
  EXPECT_EQ(jsonQuoted("a\"b\\c"), R"("a\"b\\c")");
  EXPECT_EQ(jsonQuoted("\n\r\t\b\f"), R"("\n\r\t\b\f")");
  EXPECT_EQ(jsonQuoted(std::string("\x01\x1f\0", 3)), R"("\u0001\u001f\u0000")");
  EXPECT_EQ(jsonQuoted("Fl\xC3\xBCgel \xE2\x99\xAA\xF0\x9F\x8E\xB9\x7F"),
            "\"Fl\xC3\xBCgel \xE2\x99\xAA\xF0\x9F\x8E\xB9\x7F\"");
}

TEST(ScanJson, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  // Latin-1, a lone continuation byte, an overlong slash, a surrogate, a cut-off sequence.
  EXPECT_EQ(jsonQuoted("\xB0" "C \x80 \xC0\xAF \xED\xA0\x80 \xE2\x99"),
            "\"\uFFFDC \uFFFD \uFFFD\uFFFD \uFFFD\uFFFD\uFFFD \uFFFD\uFFFD\"");
}

TEST(ScanJson, WritesNestedValuesWithCommasOnlyBetweenElements) {
  JsonWriter json;
  json.beginObject().key("a").beginArray().value(int64_t{-3}).value(0.5).null().endArray();
  json.key("b").beginObject().endObject().key("c").value(std::numeric_limits<double>::infinity());
  json.key("d").beginArray().beginObject().key("x").value("y").endObject().beginArray().endArray().endArray();
  EXPECT_EQ(json.endObject().text(), R"({"a":[-3,0.5,null],"b":{},"c":null,"d":[{"x":"y"},[]]})");
}

TEST(ScanJson, PrettyIndentsButLeavesStringsAndEmptyContainersAlone) {
  EXPECT_EQ(prettyJson(R"({"a,{":[1,"\"]"],"b":{},"c":[]})"),
            "{\n  \"a,{\": [\n    1,\n    \"\\\"]\"\n  ],\n  \"b\": {},\n  \"c\": []\n}");
}

}  // namespace
}  // namespace corvel
