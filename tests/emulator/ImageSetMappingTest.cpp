// The mapped .img/.sub store.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "ImageSetTestSupport.h"
#include "emulator/ImageSet.h"

namespace emu {
namespace {

using test::PatternByte;
using test::PatternSectors;
using test::TempDir;
using test::WriteFile;

TEST(MappedSectorStoreTest, ServesEachSectorAndSubBlockAtItsLba) {
  TempDir dir;
  WriteFile(dir / "d.img", PatternSectors(5, 2352));
  WriteFile(dir / "d.sub", PatternSectors(5, 96, 0x40));
  std::string error;
  auto store = MappedSectorStore::Open(dir / "d.img", dir / "d.sub", error);
  ASSERT_TRUE(store) << error;
  ASSERT_EQ(store->SectorCount(), 5);
  for (int32_t lba = 0; lba < 5; ++lba) {
    for (size_t i : {size_t{0}, size_t{1}, size_t{1000}, size_t{2351}}) EXPECT_EQ(store->Main(lba)[i], PatternByte(lba, i));
    for (size_t i : {size_t{0}, size_t{12}, size_t{95}}) EXPECT_EQ(store->Sub(lba)[i], PatternByte(lba, i, 0x40));
  }
  EXPECT_EQ(store->Main(-1), nullptr);
  EXPECT_EQ(store->Main(5), nullptr);
  EXPECT_EQ(store->Sub(-1), nullptr);
  EXPECT_EQ(store->Sub(5), nullptr);
}

// An image of `ImgSectors` sectors beside a sub-channel file holding `SubFile` (no file
// when unset), opened with the sub-channel file named or not: what the store serves.
struct StoreShape {
  const char* Name;
  int32_t ImgSectors;
  std::optional<std::string> SubFile;
  bool NameSub;
  int32_t Count;
  std::vector<int32_t> Mains, NoMains, Subs, NoSubs;  // where a sector or sub block is served, or not
};

class MappedStoreShape : public ::testing::TestWithParam<StoreShape> {};

TEST_P(MappedStoreShape, ServesOnlyWholeBlocksTheFilesHold) {
  const StoreShape& c = GetParam();
  TempDir dir;
  WriteFile(dir / "d.img", PatternSectors(c.ImgSectors, 2352));
  if (c.SubFile) WriteFile(dir / "d.sub", *c.SubFile);
  std::string error;
  auto store = MappedSectorStore::Open(dir / "d.img", c.NameSub ? dir / "d.sub" : std::filesystem::path(), error);
  ASSERT_TRUE(store) << error;
  EXPECT_EQ(store->SectorCount(), c.Count);
  for (int32_t lba : c.Mains) EXPECT_NE(store->Main(lba), nullptr) << lba;
  for (int32_t lba : c.NoMains) EXPECT_EQ(store->Main(lba), nullptr) << lba;
  for (int32_t lba : c.Subs) EXPECT_NE(store->Sub(lba), nullptr) << lba;
  for (int32_t lba : c.NoSubs) EXPECT_EQ(store->Sub(lba), nullptr) << lba;
}

INSTANTIATE_TEST_SUITE_P(
    Files, MappedStoreShape,
    ::testing::Values(
        // A torn third block.
        StoreShape{"AShortSub", 4, PatternSectors(2, 96) + std::string(50, '\x7F'), true, 4, {3}, {}, {1}, {2, 3}},
        StoreShape{"ALongerSub", 2, PatternSectors(6, 96), true, 2, {}, {}, {1}, {2}},
        StoreShape{"NoSubFile", 2, std::nullopt, true, 2, {0}, {}, {}, {0}},
        StoreShape{"NoSubPath", 2, std::nullopt, false, 2, {}, {}, {}, {0}},
        StoreShape{"AnEmptyImage", 0, std::nullopt, false, 0, {}, {0}, {}, {}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(MappedSectorStoreTest, RefusesMissingOrPartialImages) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(MappedSectorStore::Open(dir / "none.img", "", error));
  EXPECT_NE(error.find("none.img"), std::string::npos) << error;

  WriteFile(dir / "d.img", PatternSectors(2, 2352) + "abc");
  error.clear();
  EXPECT_FALSE(MappedSectorStore::Open(dir / "d.img", "", error));
  EXPECT_NE(error.find("2352"), std::string::npos) << error;

  std::filesystem::create_directory(dir / "folder.img");
  error.clear();
  EXPECT_FALSE(MappedSectorStore::Open(dir / "folder.img", "", error));
  EXPECT_FALSE(error.empty());
}

TEST(MappedSectorStoreTest, OutlivesTheFilesBeingReplaced) {
  // The mapping is private to the store: replacing the files (as a save does, by rename)
  // leaves what it serves intact.
  TempDir dir;
  WriteFile(dir / "d.img", PatternSectors(2, 2352));
  std::string error;
  auto store = MappedSectorStore::Open(dir / "d.img", "", error);
  ASSERT_TRUE(store) << error;
  WriteFile(dir / "other.img", std::string(2352, '\0'));
  std::filesystem::rename(dir / "other.img", dir / "d.img");
  EXPECT_EQ(store->Main(1)[5], PatternByte(1, 5));
}

}  // namespace
}  // namespace emu
