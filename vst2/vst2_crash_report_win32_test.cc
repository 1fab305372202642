#include <windows.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <cctype>

#include "vst2/vst2_crash_report.h"

namespace corvel {
namespace {

// Windows spells system file names in capitals, Wine in small letters.
std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

TEST(Vst2CrashReport, ModuleNameIsTheFileNameOfTheHoldingLibrary) {
  // Paths come with backslashes: the whole path is the name.
  EXPECT_THAT(lowerCase(moduleNameOf(reinterpret_cast<const void*>(&GetCurrentProcessId))),
              testing::EndsWith("\\system32\\kernel32.dll"));
  EXPECT_EQ(moduleNameOf(nullptr), "");
}

}  // namespace
}  // namespace corvel
