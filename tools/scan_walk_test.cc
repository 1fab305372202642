#include "tools/scan_walk.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace corvel {
namespace {

namespace fs = std::filesystem;

class ScanWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvel-scan-walk-XXXXXX";
    root = mkdtemp(pattern);
    for (const char* folder : {"b.vst3/Contents/x86_64-linux", "nested/deeper"}) fs::create_directories(root / folder);
    for (const char* file : {"b.vst3/Contents/x86_64-linux/b.so", "nested/deeper/c.so", "a.so", "readme.txt",
                             "nested/z.vst3"})
      std::ofstream(root / file) << "x";
  }
  void TearDown() override { fs::remove_all(root); }

  std::vector<ModuleEntry> find(const std::string& argument, bool forceVst2 = false) {
    std::vector<ModuleEntry> found;
    EXPECT_EQ(findModules(argument, forceVst2, found), WalkStatus::kFound);
    return found;
  }

  fs::path root;
};

TEST_F(ScanWalk, FindsBundlesAndLibrariesSortedWithoutEnteringBundles) {
  const std::vector<ModuleEntry> found = find(root.string());
  ASSERT_EQ(found.size(), 4u);
  const std::pair<const char*, ModuleFormat> expected[] = {{"a.so", ModuleFormat::kByExports},
                                                           {"b.vst3", ModuleFormat::kVst3},
                                                           {"nested/deeper/c.so", ModuleFormat::kByExports},
                                                           {"nested/z.vst3", ModuleFormat::kVst3}};
  for (size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(found[i].path, (root / expected[i].first).string());
    EXPECT_EQ(found[i].format, expected[i].second);
  }
}

TEST_F(ScanWalk, NamedModulesAreTakenAsTheyAre) {
  const std::vector<ModuleEntry> bundle = find((root / "b.vst3/").string());
  ASSERT_EQ(bundle.size(), 1u);
  EXPECT_EQ(bundle[0].format, ModuleFormat::kVst3);
  const std::vector<ModuleEntry> forced = find((root / "a.so").string(), true);
  ASSERT_EQ(forced.size(), 1u);
  EXPECT_EQ(forced[0].format, ModuleFormat::kVst2);
  std::vector<ModuleEntry> none;
  EXPECT_EQ(findModules((root / "missing.so").string(), false, none), WalkStatus::kMissing);
  EXPECT_TRUE(none.empty());
}

}  // namespace
}  // namespace corvel
