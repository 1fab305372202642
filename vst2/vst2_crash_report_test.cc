#include "vst2/vst2_crash_report.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <stdexcept>

#include "vst2/vst2_test_support.h"

namespace corvel {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using testing::StreamCapture;

__attribute__((no_sanitize("address", "undefined"))) intptr_t faultingDispatcher(
    vst2::AEffect*, int32_t, int32_t, intptr_t, void*, float) {
  volatile int* volatile target = nullptr;
  *target = 1;
  return 0;
}

intptr_t throwingDispatcher(vst2::AEffect*, int32_t, int32_t, intptr_t, void*, float) {
  throw std::runtime_error("editor");
}

intptr_t answeringDispatcher(vst2::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst2::effEditOpen ? 42 : -1;
}

intptr_t dispatchWith(vst2::DispatcherProc dispatcher) {
  vst2::AEffect effect{};
  effect.dispatcher = dispatcher;
  return guardedDispatch(&effect, vst2::effEditOpen, 0, 0, nullptr, 0.0f, "effEditOpen", 3);
}

TEST(Vst2CrashReport, CleanCallPassesResultThroughSilently) {
  StreamCapture err(std::cerr);
  EXPECT_EQ(dispatchWith(answeringDispatcher), 42);
  EXPECT_EQ(err.str(), "");
}

TEST(Vst2CrashReport, AccessViolationIsReportedAndContained) {
  StreamCapture err(std::cerr);
  EXPECT_EQ(dispatchWith(faultingDispatcher), -1);
  EXPECT_EQ(lastCrashCode, kFaultAccessViolation);
  const std::string report = err.str();
  EXPECT_THAT(report, StartsWith("[Vst2Instrument] effEditOpen SEH code=0xc0000005 addr=0x"));
  EXPECT_THAT(report, ContainsStdRegex("addr=0x[0-9A-F]{16} ch=3\n"
                                    "\\[Vst2Instrument\\]   rip=0x[0-9a-f]+ rsp=0x[0-9a-f]+\n"
                                    "\\[Vst2Instrument\\]   rax=0x[0-9a-f]+ rbx=0x[0-9a-f]+ rcx=0x"));
  EXPECT_THAT(report, ContainsStdRegex("\n\\[Vst2Instrument\\]   r[a-z]{2}=str: .* \\| r[a-z]{2}=str: .*\n"));
  EXPECT_THAT(report, HasSubstr("\n[Vst2Instrument]   crash module: " VST2_TEST_MODULE "\n"));
  EXPECT_THAT(report, ContainsStdRegex("\n    \\[[0-9]+\\] 0x[0-9a-f]+ -> "));
  EXPECT_LE(std::count(report.begin(), report.end(), '\n'), 5 + 128);
  EXPECT_EQ(dispatchWith(faultingDispatcher), -1);  // and again
}

TEST(Vst2CrashReport, ThrownExceptionIsContained) {
  StreamCapture err(std::cerr);
  EXPECT_EQ(dispatchWith(throwingDispatcher), -1);
  EXPECT_THAT(err.str(), StartsWith("[Vst2Instrument] effEditOpen SEH code=0xe06d7363 addr=0x"
                                    "0000000000000000 ch=3\n"));
}

// The peeks are of the registers that carry a call's first two arguments,
// which differ between the two calling conventions.
TEST(Vst2CrashReport, PeeksTheFirstTwoArgumentRegistersByName) {
  char texts[4][64] = {"in rcx", "in rdx", "in rsi", "in rdi"};
  FaultContext context{};
  context.rcx = reinterpret_cast<uint64_t>(texts[0]);
  context.rdx = reinterpret_cast<uint64_t>(texts[1]);
  context.rsi = reinterpret_cast<uint64_t>(texts[2]);
  context.rdi = reinterpret_cast<uint64_t>(texts[3]);
  StreamCapture err(std::cerr);
  dumpCrashContext(context);
#ifdef _WIN32
  EXPECT_THAT(err.str(), HasSubstr("\n[Vst2Instrument]   rcx=str: in rcx | rdx=str: in rdx\n"));
#else
  EXPECT_THAT(err.str(), HasSubstr("\n[Vst2Instrument]   rdi=str: in rdi | rsi=str: in rsi\n"));
#endif
}

TEST(Vst2CrashReport, PeekStringRendersPrintableTextOrBad) {
  char text[64] = "abc\n";
  EXPECT_EQ(peekString(text), "abc?");
  EXPECT_EQ(peekString(nullptr), "<bad>");
  EXPECT_EQ(peekString(reinterpret_cast<const void*>(16)), "<bad>");
  std::string full(64, 'x');
  EXPECT_EQ(peekString(full.data()), full);
}

}  // namespace
}  // namespace corvel
