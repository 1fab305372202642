// corvel-scan as a process: children that describe a module or die, and the
// parent's lines and exit code.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>

#include "client/child_process.h"

namespace corvel {
namespace {

namespace fs = std::filesystem;

struct ScanRun {
  std::optional<int> exitCode;
  std::vector<std::string> lines;
};

ScanRun runScan(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {}) {
  const auto child = ChildProcess::spawn({CORVEL_SCAN_PATH, arguments, environment});
  EXPECT_TRUE(child);
  if (!child) return {};
  ScanRun run{child->waitExit(std::chrono::seconds(60)), {}};
  std::istringstream output(child->output());
  for (std::string line; std::getline(output, line);) run.lines.push_back(line);
  return run;
}

bool holds(const std::string& line, const std::string& text) { return line.find(text) != std::string::npos; }

TEST(CorvelScan, AModuleThatCrashesGetsItsErrorAndLogAndTheScanGoesOn) {
  char pattern[] = "/tmp/corvel-scan-XXXXXX";
  const fs::path folder = mkdtemp(pattern);
  fs::create_symlink(VST2_FIXTURE_CRASHING, folder / "a-crashing.so");
  fs::create_symlink(VST2_FIXTURE_SYNTH, folder / "b-synth.so");

  const ScanRun run = runScan({folder.string()});
  fs::remove_all(folder);

  EXPECT_EQ(run.exitCode, 1);
  ASSERT_EQ(run.lines.size(), 2u);
  const std::string& crashed = run.lines[0];
  EXPECT_TRUE(holds(crashed, R"({"path":")" + (folder / "a-crashing.so").string() + R"(","format":"vst2","scanMs":)"))
      << crashed;
  // Under ASan the sanitizer ends the child with an exit code instead of the signal.
  EXPECT_TRUE(holds(crashed, R"("error":"crashed with signal 11)") || holds(crashed, R"("error":"exited with code)"))
      << crashed;
  EXPECT_TRUE(holds(crashed, R"("log":")") && holds(crashed, "[corvel] fatal signal 11 (SIGSEGV)")) << crashed;
  const std::string& scanned = run.lines[1];
  EXPECT_TRUE(holds(scanned, R"("format":"vst2")") && holds(scanned, R"("name":")")) << scanned;
  EXPECT_FALSE(holds(scanned, R"("error")")) << scanned;
}

TEST(CorvelScan, ABadCommandLineIsRefused) {
  EXPECT_EQ(runScan({"--timeout", "0", "/tmp"}).exitCode, 2);
  EXPECT_EQ(runScan({}).exitCode, 2);
}

// The adapters' own scanners end to end: the SDK's mda module and, where
// Debian's build is installed, amsynth, in the order given.
TEST(CorvelScan, DescribesTheSdksMdaModuleAndDebiansAmsynth) {
  const std::string amsynth = "/usr/lib/vst/amsynth_vst.so";
  if (!fs::exists(amsynth)) GTEST_SKIP() << amsynth << " is not installed";
  // amsynth leaves memory behind at exit: under a leak checker that is its
  // exit code, not ours.
  const ScanRun run =
      runScan({std::string(CORVEL_VST3_SAMPLES) + "/mda-vst3.vst3", amsynth}, {"ASAN_OPTIONS=detect_leaks=0"});
  EXPECT_EQ(run.exitCode, 0);
  ASSERT_EQ(run.lines.size(), 2u);
  const std::string& mda = run.lines[0];
  EXPECT_TRUE(holds(mda, R"("format":"vst3")") && holds(mda, R"({"name":"mda Ambience","category":"Audio Module Class")"))
      << mda;
  EXPECT_TRUE(holds(mda, R"("hostedClass":{"name":"mda DX10","classId":"5653544D4441786D6461206478313000"})")) << mda;
  EXPECT_TRUE(holds(mda, R"("title":"Attack","units":"%")") && holds(mda, R"({"index":0,"name":"Bright E.Piano"})"))
      << mda;
  const std::string& synth = run.lines[1];
  EXPECT_TRUE(holds(synth, R"("format":"vst2")") && holds(synth, R"("name":"amsynth","vendor":"Nick Dowell")")) << synth;
  EXPECT_TRUE(holds(synth, R"("programs":[{"index":0,"name":")")) << synth;
}

}  // namespace
}  // namespace corvel
