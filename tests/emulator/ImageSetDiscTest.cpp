// The in-memory disc model: the memory store, KindAt and the TOC lead-out.
#include <gtest/gtest.h>

#include "ImageSetTestSupport.h"
#include "emulator/Disc.h"

namespace emu {
namespace {

using test::Descriptor;

TEST(MemorySectorStoreTest, SectorsAreSeparateAndBounded) {
  MemorySectorStore store(3);
  EXPECT_EQ(store.SectorCount(), 3);
  for (int32_t lba = 0; lba < 3; ++lba) {
    std::fill_n(store.MutableMain(lba), 2352, static_cast<uint8_t>(lba + 1));
    std::fill_n(store.MutableSub(lba), 96, static_cast<uint8_t>(0x10 + lba));
  }
  for (int32_t lba = 0; lba < 3; ++lba) {
    EXPECT_EQ(store.Main(lba)[0], lba + 1);
    EXPECT_EQ(store.Main(lba)[2351], lba + 1);
    EXPECT_EQ(store.Sub(lba)[0], 0x10 + lba);
    EXPECT_EQ(store.Sub(lba)[95], 0x10 + lba);
  }
  EXPECT_EQ(store.Main(-1), nullptr);
  EXPECT_EQ(store.Main(3), nullptr);
  EXPECT_EQ(store.Sub(-1), nullptr);
  EXPECT_EQ(store.Sub(3), nullptr);
  EXPECT_EQ(store.MutableMain(3), nullptr);
  EXPECT_EQ(store.MutableSub(-1), nullptr);
}

TEST(MemorySectorStoreTest, StartsZeroedAndRefusesNegativeSize) {
  MemorySectorStore store(1);
  EXPECT_TRUE(std::all_of(store.Main(0), store.Main(0) + 2352, [](uint8_t b) { return b == 0; }));
  EXPECT_THROW(MemorySectorStore(-1), std::invalid_argument);
  EXPECT_EQ(MemorySectorStore(0).Main(0), nullptr);
}

TEST(DiscKindAtTest, FindsTheExtentInASortedLayoutAndNothingInGaps) {
  Disc disc;
  disc.Layout = {{0, 100, SectorKind::Audio, 0},
                 {100, 200, SectorKind::Mode1, 4},
                 {11400, 11500, SectorKind::Mode2Form1, 4},
                 {11500, 11600, SectorKind::Mode2Form2, 4}};
  EXPECT_EQ(disc.KindAt(0), SectorKind::Audio);
  EXPECT_EQ(disc.KindAt(99), SectorKind::Audio);
  EXPECT_EQ(disc.KindAt(100), SectorKind::Mode1);
  EXPECT_EQ(disc.KindAt(199), SectorKind::Mode1);
  EXPECT_EQ(disc.KindAt(200), std::nullopt);
  EXPECT_EQ(disc.KindAt(11399), std::nullopt);
  EXPECT_EQ(disc.KindAt(11400), SectorKind::Mode2Form1);
  EXPECT_EQ(disc.KindAt(11500), SectorKind::Mode2Form2);
  EXPECT_EQ(disc.KindAt(11599), SectorKind::Mode2Form2);
  EXPECT_EQ(disc.KindAt(11600), std::nullopt);
  EXPECT_EQ(disc.KindAt(-1), std::nullopt);
  EXPECT_EQ(Disc().KindAt(0), std::nullopt);
}

TEST(DiscKindAtTest, AnUnsortedLayoutIsStillSearchedWhole) {
  Disc disc;
  disc.Layout = {{500, 600, SectorKind::Mode1, 4}, {0, 10, SectorKind::Audio, 0}, {300, 400, SectorKind::Mode2Formless, 4}};
  EXPECT_EQ(disc.KindAt(5), SectorKind::Audio);
  EXPECT_EQ(disc.KindAt(550), SectorKind::Mode1);
  EXPECT_EQ(disc.KindAt(350), SectorKind::Mode2Formless);
  EXPECT_EQ(disc.KindAt(450), std::nullopt);
}

TEST(DiscTocLeadOutTest, UsesTheLastAdr1LeadOut) {
  Disc disc;
  EXPECT_EQ(disc.TocLeadOutLba(), -1);
  disc.Toc = {Descriptor(1, 1, 4, 0xA0, 1, 0, 0), Descriptor(1, 1, 4, 0xA2, 1, 2, 3)};
  EXPECT_EQ(disc.TocLeadOutLba(), (60 + 2) * 75 + 3 - 150);
  // A second session's lead-out wins; ADR 5 entries with POINT A2 do not count.
  disc.Toc.push_back(Descriptor(2, 1, 4, 0xA2, 4, 0, 0));
  disc.Toc.push_back(Descriptor(2, 5, 4, 0xA2, 9, 0, 0));
  disc.Toc.push_back(Descriptor(2, 1, 4, 0x02, 9, 0, 0));
  EXPECT_EQ(disc.TocLeadOutLba(), 4 * 4500 - 150);
}

TEST(DiscTocLeadOutTest, NoneWithoutAnAdr1LeadOut) {
  Disc disc;
  disc.Toc = {Descriptor(1, 1, 4, 0xA0, 1, 0, 0), Descriptor(1, 5, 4, 0xA2, 1, 2, 3), Descriptor(1, 1, 4, 0x01, 0, 2, 0)};
  EXPECT_EQ(disc.TocLeadOutLba(), -1);
}

}  // namespace
}  // namespace emu
