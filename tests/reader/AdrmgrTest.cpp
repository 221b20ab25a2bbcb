#include "reader/Adrmgr.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Each test gets its own temporary folder through TMPDIR, so the files the map
// reserves can be counted.
class AddressManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = getenv("TMPDIR")) OldTmpDir = old;
    std::string pattern = (fs::temp_directory_path() / "qnl-adrtest-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    Folder = pattern;
    setenv("TMPDIR", Folder.c_str(), 1);
  }
  void TearDown() override {
    if (OldTmpDir) setenv("TMPDIR", OldTmpDir->c_str(), 1);
    else unsetenv("TMPDIR");
    std::error_code ignored;
    fs::remove_all(Folder, ignored);
  }
  std::vector<fs::path> FilesInFolder() const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(Folder)) files.push_back(entry.path());
    return files;
  }

  fs::path Folder;
  std::optional<std::string> OldTmpDir;
};

TEST_F(AddressManagerTest, RangeBoundsAndStatusRoundTrip) {
  TAddressManager map;
  ASSERT_TRUE(map.Allocate(150, 160));
  EXPECT_EQ(map.GetBase(), 150);
  EXPECT_EQ(map.GetStatus(149), 15);
  EXPECT_EQ(map.GetStatus(160), 15);
  for (int64_t a = 150; a < 160; ++a) EXPECT_EQ(map.GetStatus(a), 0) << a;

  EXPECT_TRUE(map.SetStatus(155, 2));
  EXPECT_EQ(map.GetStatus(155), 2);
  EXPECT_EQ(map.GetStatus(154), 0);
  EXPECT_EQ(map.GetStatus(156), 0);
  EXPECT_TRUE(map.SetStatus(150, 1));
  EXPECT_TRUE(map.SetStatus(159, 255));
  EXPECT_EQ(map.GetStatus(150), 1);
  EXPECT_EQ(map.GetStatus(159), 255);

  EXPECT_FALSE(map.SetStatus(149, 1));
  EXPECT_FALSE(map.SetStatus(160, 1));
  EXPECT_EQ(map.GetStatus(149), 15);
  EXPECT_EQ(map.GetStatus(160), 15);
}

TEST_F(AddressManagerTest, WithoutMapReadsZeroAndRefusesWrites) {
  TAddressManager map;
  EXPECT_FALSE(map.HasMap());
  EXPECT_EQ(map.GetStatus(0), 0);
  EXPECT_EQ(map.GetStatus(150), 0);
  EXPECT_FALSE(map.SetStatus(150, 1));

  ASSERT_TRUE(map.Allocate(0, 10));
  ASSERT_TRUE(map.SetStatus(5, 2));
  map.Clear();
  EXPECT_FALSE(map.HasMap());
  EXPECT_EQ(map.GetBase(), 0);
  EXPECT_EQ(map.GetTempFileName(), "");
  EXPECT_EQ(map.GetStatus(5), 0);
  EXPECT_EQ(map.GetStatus(20), 0);
  EXPECT_FALSE(map.SetStatus(5, 1));
}

TEST_F(AddressManagerTest, EmptyRangeReadsOutsideEverywhere) {
  TAddressManager map;
  ASSERT_TRUE(map.Allocate(300, 300));
  EXPECT_TRUE(map.HasMap());
  EXPECT_EQ(map.GetStatus(299), 15);
  EXPECT_EQ(map.GetStatus(300), 15);
  EXPECT_EQ(map.GetStatus(301), 15);
  EXPECT_FALSE(map.SetStatus(300, 1));
}

TEST_F(AddressManagerTest, InvertedRangeFailsAndLeavesNothing) {
  TAddressManager map;
  ASSERT_TRUE(map.Allocate(0, 100));
  ASSERT_TRUE(map.SetStatus(10, 1));

  EXPECT_FALSE(map.Allocate(160, 150));
  EXPECT_FALSE(map.HasMap());
  EXPECT_EQ(map.GetStatus(155), 0);  // no map at all, not a map of some size
  EXPECT_EQ(map.GetStatus(10), 0);
  EXPECT_FALSE(map.SetStatus(155, 1));
  EXPECT_FALSE(map.SetStatus(10, 1));
  EXPECT_TRUE(FilesInFolder().empty());
}

TEST_F(AddressManagerTest, ImpossibleSizeFailsCleanly) {
  TAddressManager map;
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  EXPECT_FALSE(map.Allocate(kMin, kMax));
  EXPECT_FALSE(map.HasMap());
  EXPECT_EQ(map.GetTempFileName(), "");
  EXPECT_TRUE(FilesInFolder().empty());
  // A range no disc has (a track list saying Tail 450001) claims nothing either.
  EXPECT_FALSE(map.Allocate(0, 450001));
  EXPECT_FALSE(map.HasMap());
  EXPECT_TRUE(FilesInFolder().empty());
  EXPECT_TRUE(map.Allocate(0, 450000));
}

TEST_F(AddressManagerTest, ExtremeAddressesAreOutside) {
  TAddressManager map;
  ASSERT_TRUE(map.Allocate(-5, 5));
  EXPECT_EQ(map.GetStatus(-6), 15);
  EXPECT_EQ(map.GetStatus(-5), 0);
  EXPECT_EQ(map.GetStatus(4), 0);
  EXPECT_EQ(map.GetStatus(5), 15);
  EXPECT_EQ(map.GetStatus(std::numeric_limits<int64_t>::min()), 15);
  EXPECT_EQ(map.GetStatus(std::numeric_limits<int64_t>::max()), 15);
  EXPECT_FALSE(map.SetStatus(std::numeric_limits<int64_t>::max(), 1));
  EXPECT_FALSE(map.SetStatus(std::numeric_limits<int64_t>::min(), 1));
}

TEST_F(AddressManagerTest, TemporaryFileLivesExactlyAsLongAsTheMap) {
  std::string first;
  {
    TAddressManager map;
    ASSERT_TRUE(map.Allocate(0, 4500));
    first = map.GetTempFileName();
    const fs::path path(first);
    EXPECT_EQ(path.parent_path(), Folder);
    EXPECT_EQ(path.filename().string().rfind("adr", 0), 0u) << first;
    ASSERT_TRUE(fs::exists(path));
    EXPECT_EQ(fs::file_size(path), 0u);

    // A new range drops the old map and its file.
    ASSERT_TRUE(map.Allocate(100, 200));
    const std::string second = map.GetTempFileName();
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(fs::exists(second));
    EXPECT_EQ(FilesInFolder().size(), 1u);

    map.Clear();
    EXPECT_FALSE(fs::exists(second));
    EXPECT_TRUE(FilesInFolder().empty());

    ASSERT_TRUE(map.Allocate(0, 1));
    first = map.GetTempFileName();
    EXPECT_TRUE(fs::exists(first));
  }
  EXPECT_FALSE(fs::exists(first));  // the destructor clears
}

TEST_F(AddressManagerTest, ReallocationStartsFromZeroAtTheNewBase) {
  TAddressManager map;
  ASSERT_TRUE(map.Allocate(1000, 1010));
  for (int64_t a = 1000; a < 1010; ++a) ASSERT_TRUE(map.SetStatus(a, 2));
  ASSERT_TRUE(map.Allocate(1005, 1020));
  EXPECT_EQ(map.GetBase(), 1005);
  EXPECT_EQ(map.GetStatus(1004), 15);
  for (int64_t a = 1005; a < 1020; ++a) EXPECT_EQ(map.GetStatus(a), 0) << a;
}

TEST_F(AddressManagerTest, NoTemporaryFolderMeansNoMap) {
  setenv("TMPDIR", (Folder / "missing").c_str(), 1);
  TAddressManager map;
  EXPECT_FALSE(map.Allocate(0, 10));
  EXPECT_FALSE(map.HasMap());
  EXPECT_EQ(map.GetStatus(5), 0);
  EXPECT_FALSE(map.SetStatus(5, 1));
}

TEST_F(AddressManagerTest, WholeDiscKeepsOneIndependentByteASector) {
  constexpr int64_t kSectors = 80 * 4500;
  TAddressManager map;
  ASSERT_TRUE(map.Allocate(0, kSectors));
  EXPECT_EQ(map.GetStatus(kSectors - 1), 0);
  EXPECT_EQ(map.GetStatus(kSectors), 15);
  for (int64_t a = 0; a < kSectors; a += 7) ASSERT_TRUE(map.SetStatus(a, static_cast<uint8_t>(1 + a % 2)));
  for (int64_t a = 0; a < kSectors; ++a) {
    const uint8_t expected = a % 7 == 0 ? static_cast<uint8_t>(1 + a % 2) : 0;
    ASSERT_EQ(map.GetStatus(a), expected) << a;
  }
}

}  // namespace
