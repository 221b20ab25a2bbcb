#include "audio/Sync.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "tests/support/RandomBytes.h"

namespace {

constexpr unsigned Sector = TSynchronizer::SamplesPerSector;

// A signal in which every run of samples is unique, as music nearly always is.
std::vector<uint8_t> Signal(size_t samples, uint32_t seed = 1) { return test_support::RandomBytes(samples * 4, seed); }

// The block a drive returns when asked for `samples` samples from `start`, landing `jitter`
// samples off.
std::vector<uint8_t> Read(const std::vector<uint8_t>& disc, size_t start, size_t samples,
                          long jitter) {
  const size_t from = static_cast<size_t>(static_cast<long>(start) + jitter) * 4;
  return std::vector<uint8_t>(disc.begin() + from, disc.begin() + from + samples * 4);
}

struct TResult {
  uint8_t State;
  unsigned Head;
  unsigned Count;
};

TResult Sync(TSynchronizer& sync, const std::vector<uint8_t>& block, unsigned skip) {
  TResult r{};
  r.State = sync.Sync(block.data(), static_cast<unsigned>(block.size() / 4), skip, r.Head, r.Count);
  return r;
}

TEST(SynchronizerTest, CompareBufferLifecycle) {
  TSynchronizer sync;
  EXPECT_EQ(sync.GetCompareSectors(), 0);
  EXPECT_TRUE(sync.SetCompareSectors(2));
  EXPECT_EQ(sync.GetCompareSectors(), 2);
  EXPECT_TRUE(sync.SetCompareSectors(0));
  EXPECT_EQ(sync.GetCompareSectors(), 0);
  EXPECT_FALSE(sync.SetCompareSectors(-1));
  EXPECT_EQ(sync.GetCompareSectors(), 0);
  EXPECT_TRUE(sync.SetCompareSectors(1));
  sync.Clear();
  EXPECT_EQ(sync.GetCompareSectors(), 0);
  EXPECT_EQ(sync.GetHeldSamples(), 0);
}

TEST(SynchronizerTest, WithoutCompareSectorsEveryBlockIsTakenFromTheExpectedPlace) {
  const auto disc = Signal(20 * Sector);
  TSynchronizer sync;
  for (int i = 0; i < 3; ++i) {
    const auto block = Read(disc, i * Sector, 4 * Sector, i);
    const TResult r = Sync(sync, block, 2 * Sector + 5);
    EXPECT_EQ(r.State, TSynchronizer::ssNoCompare);
    EXPECT_EQ(r.Head, 2 * Sector + 5);
    EXPECT_EQ(r.Count, 2 * Sector - 5);
    EXPECT_EQ(sync.GetHeldSamples(), 0);
  }
}

TEST(SynchronizerTest, FirstBlockAfterResetIsTakenAsIsAndKeepsItsTail) {
  const auto disc = Signal(20 * Sector);
  TSynchronizer sync;
  ASSERT_TRUE(sync.SetCompareSectors(1));
  const auto first = Read(disc, 0, 4 * Sector, 0);
  TResult r = Sync(sync, first, 0);
  EXPECT_EQ(r.State, TSynchronizer::ssFirst);
  EXPECT_EQ(r.Head, 0u);
  EXPECT_EQ(r.Count, 4 * Sector);
  EXPECT_EQ(sync.GetHeldSamples(), static_cast<int>(Sector));

  // The kept tail is the block's last sector: the next block finds it.
  const auto next = Read(disc, 2 * Sector, 4 * Sector, 0);
  r = Sync(sync, next, 2 * Sector);
  EXPECT_EQ(r.State, TSynchronizer::ssLater);
  EXPECT_EQ(r.Head, 2 * Sector);

  sync.Reset();
  EXPECT_EQ(sync.GetHeldSamples(), 0);
  // After a reset even a block that does not continue anything is taken without search.
  const auto unrelated = Signal(4 * Sector, 99);
  r = Sync(sync, unrelated, Sector);
  EXPECT_EQ(r.State, TSynchronizer::ssFirst);
  EXPECT_EQ(r.Head, Sector);
  EXPECT_EQ(r.Count, 3 * Sector);
  EXPECT_EQ(sync.GetHeldSamples(), static_cast<int>(Sector));
}

class SynchronizerShiftTest : public ::testing::TestWithParam<long> {};

TEST_P(SynchronizerShiftTest, JitteredBlockIsFoundByItsShift) {
  const long jitter = GetParam();
  const auto disc = Signal(40 * Sector);
  TSynchronizer sync;
  ASSERT_TRUE(sync.SetCompareSectors(1));
  const unsigned skip = 2 * Sector;
  (void)Sync(sync, Read(disc, 10 * Sector, 4 * Sector, 0), 0);  // ends at 14 sectors
  const TResult r = Sync(sync, Read(disc, 12 * Sector, 4 * Sector, jitter), skip);
  EXPECT_EQ(r.State, jitter >= 0 ? TSynchronizer::ssEarlier : TSynchronizer::ssLater)
      << "a block that starts late holds the reference earlier than expected";
  EXPECT_EQ(static_cast<long>(r.Head), static_cast<long>(skip) - jitter);
  EXPECT_EQ(r.Head + r.Count, 4 * Sector);
}

INSTANTIATE_TEST_SUITE_P(Jitter, SynchronizerShiftTest, ::testing::Values(-300L, -3L, -1L, 1L, 3L, 300L));

TEST(SynchronizerTest, ShiftedCopyOfTheReferenceGivesStatesTwoAndThree) {
  TSynchronizer sync;
  ASSERT_TRUE(sync.SetCompareSectors(1));
  const auto reference = Signal(Sector, 5);
  const unsigned n = 3 * Sector;
  const unsigned skip = 2 * Sector;  // reference expected at sample skip - Sector
  auto shifted = [&](long by) {
    std::vector<uint8_t> block = Signal(n, 6);
    std::memcpy(&block[(skip - Sector + by) * 4], reference.data(), reference.size());
    return block;
  };
  for (long by : {3L, -3L}) {
    sync.Reset();
    (void)Sync(sync, reference, 0);
    const auto block = shifted(by);
    const TResult r = Sync(sync, block, skip);
    EXPECT_EQ(r.State, by > 0 ? TSynchronizer::ssLater : TSynchronizer::ssEarlier);
    EXPECT_EQ(static_cast<long>(r.Head), static_cast<long>(skip) + by);
    EXPECT_EQ(r.Count, n - r.Head);
  }
}

TEST(SynchronizerTest, LaterMatchWinsOverAnEquallyDistantEarlierOne) {
  TSynchronizer sync;
  ASSERT_TRUE(sync.SetCompareSectors(1));
  // A short reference of 2 samples so that two copies fit 4 samples apart.
  const std::vector<uint8_t> reference = {1, 2, 3, 4, 5, 6, 7, 8};
  (void)Sync(sync, reference, 0);
  ASSERT_EQ(sync.GetHeldSamples(), 2);
  const unsigned n = 64;
  const unsigned skip = 20;  // expected at 18
  std::vector<uint8_t> block(n * 4, 0xEE);
  std::memcpy(&block[16 * 4], reference.data(), 8);
  std::memcpy(&block[20 * 4], reference.data(), 8);
  const TResult r = Sync(sync, block, skip);
  EXPECT_EQ(r.State, TSynchronizer::ssLater);
  EXPECT_EQ(r.Head, 22u);
  EXPECT_EQ(r.Count, n - 22);
}

TEST(SynchronizerTest, ReferenceNotFoundFallsBackToTheExpectedPlaceAndStillKeepsTheTail) {
  TSynchronizer sync;
  ASSERT_TRUE(sync.SetCompareSectors(1));
  (void)Sync(sync, Signal(2 * Sector, 1), 0);
  const auto other = Signal(3 * Sector, 2);
  TResult r = Sync(sync, other, Sector + 7);
  EXPECT_EQ(r.State, TSynchronizer::ssNotFound);
  EXPECT_EQ(r.Head, Sector + 7);
  EXPECT_EQ(r.Count, 2 * Sector - 7);
  // The new reference is the unmatched block's tail.
  std::vector<uint8_t> follow = Signal(3 * Sector, 3);
  std::memcpy(follow.data(), &other[2 * Sector * 4], Sector * 4);
  r = Sync(sync, follow, Sector);
  EXPECT_EQ(r.State, TSynchronizer::ssLater);
  EXPECT_EQ(r.Head, Sector);
}

TEST(SynchronizerTest, BlockEndingBeforeTheExpectedPlaceGivesNothingAndKeepsTheReference) {
  const auto disc = Signal(20 * Sector);
  TSynchronizer sync;
  ASSERT_TRUE(sync.SetCompareSectors(1));
  (void)Sync(sync, Read(disc, 0, 4 * Sector, 0), 0);
  // A partial read of 2 sectors when the data ended 2 sectors in: all of it was written.
  const auto partial = Read(disc, 2 * Sector, 2 * Sector, 0);
  TResult r = Sync(sync, partial, 2 * Sector);
  EXPECT_EQ(r.State, TSynchronizer::ssTooShort);
  EXPECT_EQ(r.Count, 0u) << "the overlap must not be handed back for writing again";
  EXPECT_EQ(sync.GetHeldSamples(), static_cast<int>(Sector));
  // The reference still is the first block's tail.
  r = Sync(sync, Read(disc, 2 * Sector, 4 * Sector, 2), 2 * Sector);
  EXPECT_EQ(r.State, TSynchronizer::ssEarlier);
  EXPECT_EQ(r.Head, 2 * Sector - 2);
}

TEST(SynchronizerTest, ShortBlockIsHeldWhole) {
  TSynchronizer sync;
  ASSERT_TRUE(sync.SetCompareSectors(2));
  const auto shortBlock = Signal(Sector + 10, 8);
  (void)Sync(sync, shortBlock, 0);
  EXPECT_EQ(sync.GetHeldSamples(), static_cast<int>(Sector + 10));
  std::vector<uint8_t> next = Signal(4 * Sector, 9);
  std::memcpy(&next[5 * 4], shortBlock.data(), shortBlock.size());
  const TResult r = Sync(sync, next, Sector + 10);
  EXPECT_EQ(r.State, TSynchronizer::ssLater);
  EXPECT_EQ(r.Head, Sector + 15);
}

TEST(SynchronizerTest, SkipSmallerThanTheReferenceNeverReadsBeforeTheBlock) {
  TSynchronizer sync;
  ASSERT_TRUE(sync.SetCompareSectors(1));
  (void)Sync(sync, Signal(Sector, 4), 0);
  const auto block = Signal(2 * Sector, 5);
  const TResult r = Sync(sync, block, 10);  // the search would start 578 samples too early
  EXPECT_EQ(r.State, TSynchronizer::ssNotFound);
  EXPECT_EQ(r.Head, 10u);
}

// A whole track read in overlapping blocks with random jitter joins up to the disc exactly.
TEST(SynchronizerTest, OverlappingJitteredReadsRebuildTheTrackExactly) {
  const unsigned overlaps = 2, readAtOnce = 8, total = 200;
  const long maxJitter = 40;
  const auto disc = Signal((total + 2 * readAtOnce) * Sector, 11);
  const size_t base = readAtOnce * Sector;  // room for early reads
  TSynchronizer sync;
  ASSERT_TRUE(sync.SetCompareSectors(1));
  std::mt19937 rng(3);
  std::uniform_int_distribution<long> jitterOf(-maxJitter, maxJitter);
  std::vector<uint8_t> out;
  size_t written = 0;  // samples
  bool first = true;
  while (written < static_cast<size_t>(total) * Sector) {
    const size_t sector = written / Sector;
    const size_t from = first ? sector : sector - overlaps;
    const unsigned skip = first ? 0 : static_cast<unsigned>(written - from * Sector);
    const auto block = Read(disc, base + from * Sector, readAtOnce * Sector, first ? 0 : jitterOf(rng));
    TResult r = Sync(sync, block, skip);
    ASSERT_NE(r.State, TSynchronizer::ssNotFound) << "at sample " << written;
    ASSERT_GT(r.Count, 0u);
    out.insert(out.end(), block.begin() + r.Head * 4, block.begin() + (r.Head + r.Count) * 4);
    written += r.Count;
    first = false;
  }
  ASSERT_GE(out.size(), static_cast<size_t>(total) * Sector * 4);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), disc.begin() + base * 4));
}

}  // namespace
