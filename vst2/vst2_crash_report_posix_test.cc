#include <unistd.h>

#include <gtest/gtest.h>

#include "vst2/vst2_crash_report.h"

namespace corvel {
namespace {

TEST(Vst2CrashReport, ModuleNameIsTheFileNameOfTheHoldingLibrary) {
  EXPECT_EQ(moduleNameOf(reinterpret_cast<const void*>(&::getpid)), "libc.so.6");
  EXPECT_EQ(moduleNameOf(nullptr), "");
}

}  // namespace
}  // namespace corvel
