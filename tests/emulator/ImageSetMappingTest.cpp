// The mapped .img/.sub store.
#include <gtest/gtest.h>

#include <cstring>

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

TEST(MappedSectorStoreTest, AShortSubServesOnlyWholeBlocksItHas) {
  TempDir dir;
  WriteFile(dir / "d.img", PatternSectors(4, 2352));
  std::string sub = PatternSectors(2, 96);
  sub += std::string(50, '\x7F');  // a torn third block
  WriteFile(dir / "d.sub", sub);
  std::string error;
  auto store = MappedSectorStore::Open(dir / "d.img", dir / "d.sub", error);
  ASSERT_TRUE(store) << error;
  EXPECT_EQ(store->SectorCount(), 4);
  EXPECT_NE(store->Sub(1), nullptr);
  EXPECT_EQ(store->Sub(2), nullptr);
  EXPECT_EQ(store->Sub(3), nullptr);
  EXPECT_NE(store->Main(3), nullptr);
}

TEST(MappedSectorStoreTest, ALongerSubServesNothingPastTheImage) {
  TempDir dir;
  WriteFile(dir / "d.img", PatternSectors(2, 2352));
  WriteFile(dir / "d.sub", PatternSectors(6, 96));
  std::string error;
  auto store = MappedSectorStore::Open(dir / "d.img", dir / "d.sub", error);
  ASSERT_TRUE(store) << error;
  EXPECT_NE(store->Sub(1), nullptr);
  EXPECT_EQ(store->Sub(2), nullptr);
}

TEST(MappedSectorStoreTest, WithoutASubThereIsNoSubChannel) {
  TempDir dir;
  WriteFile(dir / "d.img", PatternSectors(2, 2352));
  std::string error;
  auto store = MappedSectorStore::Open(dir / "d.img", dir / "d.sub", error);
  ASSERT_TRUE(store) << error;
  EXPECT_NE(store->Main(0), nullptr);
  EXPECT_EQ(store->Sub(0), nullptr);
  auto noSubPath = MappedSectorStore::Open(dir / "d.img", "", error);
  ASSERT_TRUE(noSubPath) << error;
  EXPECT_EQ(noSubPath->Sub(0), nullptr);
}

TEST(MappedSectorStoreTest, AnEmptyImageHasNoSectors) {
  TempDir dir;
  WriteFile(dir / "d.img", "");
  std::string error;
  auto store = MappedSectorStore::Open(dir / "d.img", "", error);
  ASSERT_TRUE(store) << error;
  EXPECT_EQ(store->SectorCount(), 0);
  EXPECT_EQ(store->Main(0), nullptr);
}

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
