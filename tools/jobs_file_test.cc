#include "tools/jobs_file.h"

#include <gtest/gtest.h>

#include <sstream>

namespace corvel {
namespace {

using Kind = JsonScalar::Kind;

TEST(FlatObject, ReadsEveryKindOfScalar) {
  const FlatObjectRead read = readFlatObject(
      R"( { "s" : "a\"b\\c\/\n\t\u00e9\ud83c\udfb9" , "n":-1.5e2,"z":0, "t":true,"f":false,"x":null } )");
  ASSERT_EQ(read.error, "");
  EXPECT_EQ(read.fields.at("s").text, "a\"b\\c/\n\t\xC3\xA9\xF0\x9F\x8E\xB9");
  EXPECT_EQ(read.fields.at("n").number, -150);
  EXPECT_EQ(read.fields.at("z").kind, Kind::kNumber);
  EXPECT_TRUE(read.fields.at("t").boolean);
  EXPECT_EQ(read.fields.at("f").kind, Kind::kBoolean);
  EXPECT_FALSE(read.fields.at("f").boolean);
  EXPECT_EQ(read.fields.at("x").kind, Kind::kNull);
  EXPECT_EQ(readFlatObject("{}").error, "");
}

TEST(FlatObject, RefusesAnythingButOneObjectOfScalars) {
  for (const char* bad : {"", "[1]", "{", "{\"a\":1,}", "{\"a\" 1}", "{a:1}", "{\"a\":01}", "{\"a\":1.}", "{\"a\":+1}",
                          "{\"a\":.5}", "{\"a\":1e}", "{\"a\":1e999}", "{\"a\":-}", "{\"a\":[1]}", "{\"a\":{}}",
                          "{\"a\":tru}", "{\"a\":\"x\\q\"}", "{\"a\":\"\\u12\"}", "{\"a\":\"\\ud800\"}",
                          "{\"a\":\"\\udc00\"}", "{\"a\":\"tab\there\"}", "{\"a\":\"open}", "{\"a\":1} x",
                          "{\"a\":1,\"a\":2}"}) {
    const FlatObjectRead read = readFlatObject(bad);
    EXPECT_NE(read.error.find(" at column "), std::string::npos) << bad << ": " << read.error;
  }
}

TEST(JobsFile, JobsTakeTheirLinesOverTheDefaults) {
  RenderJob defaults;
  defaults.sampleRate = 44100;
  defaults.tail = 0.5;
  std::istringstream file(
      "{\"plugin\": \"dx10.vst3\", \"out\": \"a.wav\"}\n"
      "\n"
      "{\"plugin\": \"am.so\", \"out\": \"b.wav\", \"midi\": \"b.mid\", \"preset\": \"b.txt\", \"vst2\": true,"
      " \"seconds\": 2, \"sr\": 48000}\n"
      "{\"plugin\": \"dx10.vst3\", \"out\": \"c.wav\", \"midi\": null, \"sr\": null}\n");
  const JobsRead read = readJobs(file, defaults);
  ASSERT_EQ(read.error, "");
  ASSERT_EQ(read.jobs.size(), 3u);
  EXPECT_EQ(read.jobs[0].line, 1u);
  EXPECT_EQ(read.jobs[0].job.sampleRate, 44100);
  EXPECT_FALSE(read.jobs[0].job.seconds);
  const RenderJob& b = read.jobs[1].job;
  EXPECT_EQ(read.jobs[1].line, 3u);
  EXPECT_EQ(b.plugin, "am.so");
  EXPECT_EQ(b.midi, "b.mid");
  EXPECT_EQ(b.presetIn, "b.txt");
  EXPECT_TRUE(b.vst2);
  EXPECT_EQ(b.seconds, 2.0);
  EXPECT_EQ(b.sampleRate, 48000);
  EXPECT_EQ(b.tail, 0.5);
  EXPECT_EQ(read.jobs[2].job.midi, "");
  EXPECT_EQ(read.jobs[2].job.sampleRate, 44100);
}

// A bad line anywhere refuses the whole file, naming the line.
TEST(JobsFile, RefusesTheFileAtItsFirstBadLine) {
  const std::string good = "{\"plugin\": \"p\", \"out\": \"a.wav\"}\n\n";
  for (const auto& [bad, why] : std::vector<std::pair<std::string, std::string>>{
           {"{\"plugin\": \"p\", \"out\": \"b.wav\", \"colour\": 1}", "unknown key \"colour\""},
           {"{\"plugin\": \"p\", \"out\": \"b.wav\"", "'}' expected"},
           {"{\"out\": \"b.wav\"}", "\"plugin\" is missing"},
           {"{\"plugin\": \"p\", \"out\": null}", "\"out\" is missing"},
           {"{\"plugin\": \"p\", \"out\": \"\"}", "\"out\" takes a non-empty string"},
           {"{\"plugin\": \"p\", \"out\": \"b.wav\", \"vst2\": 1}", "\"vst2\" takes true or false"},
           {"{\"plugin\": \"p\", \"out\": \"b.wav\", \"sr\": 999}", "\"sr\" takes a number from 1000 to 1000000"},
           {"{\"plugin\": \"p\", \"out\": \"b.wav\", \"seconds\": \"2\"}", "\"seconds\" takes a number"},
           {"{\"plugin\": \"p\", \"out\": \"a.wav\"}", "\"out\" a.wav is written by line 1 already"}}) {
    std::istringstream file(good + bad + "\n" + good);
    const JobsRead read = readJobs(file, RenderJob{});
    EXPECT_EQ(read.error.rfind("line 3: " + why, 0), 0u) << read.error;
    EXPECT_TRUE(read.jobs.empty());
  }
}

}  // namespace
}  // namespace corvel
