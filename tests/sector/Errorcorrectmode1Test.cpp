#include "sector/Errorcorrectmode1.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <thread>
#include <utility>

#include "SectorTestSupport.h"
#include "sector/SectorEncoder.h"

using namespace sectortest;

namespace {

TSector EncodedSector(std::mt19937& rng, int64_t address) {
  const auto data = RandomBytes(rng, 2048);
  TSector sector;
  EncodeMode1Sector(sector.data(), address, data.data());
  return sector;
}

// Byte offset of the low-plane symbol of Q codeword i, position j.
size_t QByte(int i, int j) { return QSymbolOffset(i, j); }

// Codeword planes of every byte 12..2351, worked out once by search.
struct TByteCodewords {
  std::vector<TCodewordsOfByte> Of;
  TByteCodewords() : Of(2352) {
    for (size_t offset = 12; offset < 2352; ++offset) Of[offset] = CodewordsOfByte(offset);
  }
};
const TByteCodewords& ByteCodewords() {
  static const TByteCodewords map;
  return map;
}

uint8_t NonZeroByte(std::mt19937& rng) { return static_cast<uint8_t>(std::uniform_int_distribution<int>(1, 255)(rng)); }

class Mode1CorrectTest : public ::testing::Test {
 protected:
  TMode1ErrorCorrect Corrector;
};

}  // namespace

TEST_F(Mode1CorrectTest, IntactSectorIsLeftAloneWhateverThePassCount) {
  std::mt19937 rng(31);
  const TSector original = EncodedSector(rng, 150);
  for (uint32_t passes : {0u, 1u, 2u, 100u}) {
    TSector sector = original;
    EXPECT_TRUE(Corrector.Correct(sector.data(), passes));
    EXPECT_EQ(sector, original);
    EXPECT_TRUE(Corrector.CorrectOrRestore(sector.data(), passes));
    EXPECT_EQ(sector, original);
  }
  // Only the EDC decides: broken parity alone is not looked at.
  TSector sector = original;
  sector[2300] ^= 0x10;
  sector[2070] ^= 0x01;
  const TSector damagedParity = sector;
  EXPECT_TRUE(Corrector.Correct(sector.data(), 2));
  EXPECT_EQ(sector, damagedParity);
}

TEST_F(Mode1CorrectTest, FlippedUserDataByteIsRepairedByOnePass) {
  std::mt19937 rng(32);
  const TSector original = EncodedSector(rng, 20000);
  TSector sector = original;
  sector[16 + 1000] ^= 0x01;
  EXPECT_TRUE(Corrector.Correct(sector.data(), 1));
  EXPECT_EQ(sector, original);
}

TEST_F(Mode1CorrectTest, EverySingleErrorInTheEdcCoveredAreaIsRepaired) {
  std::mt19937 rng(33);
  std::uniform_int_distribution<size_t> offset(12, 2067);
  for (int round = 0; round < 4000; ++round) {
    const TSector original = EncodedSector(rng, 150 + round);
    TSector sector = original;
    const size_t at = round < 2056 ? 12 + static_cast<size_t>(round) : offset(rng);  // first every byte once
    sector[at] ^= NonZeroByte(rng);
    ASSERT_TRUE(Corrector.Correct(sector.data(), 1)) << at;
    ASSERT_EQ(sector, original) << at;
  }
}

TEST_F(Mode1CorrectTest, ScatteredErrorsOnePerCodewordAreAllRepaired) {
  // Errors anywhere in 12..2351 (header, data, EDC, zero area, P and Q parity), several at
  // once, but never two in one codeword plane.
  std::mt19937 rng(34);
  std::uniform_int_distribution<size_t> offset(12, 2351);
  std::uniform_int_distribution<int> count(2, 40);
  const auto& map = ByteCodewords();
  for (int round = 0; round < 1500; ++round) {
    const TSector original = EncodedSector(rng, 4500 + round);
    TSector sector = original;
    std::set<std::pair<int, int>> usedQ, usedP;  // (codeword, plane)
    bool edcCovered = false;
    const int wanted = count(rng);
    for (int tries = 0; static_cast<int>(usedQ.size()) < wanted && tries < 1000; ++tries) {
      const size_t at = tries == 0 ? 16 + offset(rng) % 2048 : offset(rng);
      const int plane = static_cast<int>((at - 12) % 2);
      const TCodewordsOfByte cw = map.Of[at];
      if (usedQ.count({cw.Q, plane}) || (cw.P >= 0 && usedP.count({cw.P, plane}))) continue;
      usedQ.insert({cw.Q, plane});
      if (cw.P >= 0) usedP.insert({cw.P, plane});
      edcCovered |= at < 2068;
      sector[at] ^= NonZeroByte(rng);
    }
    ASSERT_TRUE(edcCovered);
    ASSERT_TRUE(Corrector.Correct(sector.data(), 1)) << round;
    ASSERT_EQ(sector, original) << round;
  }
}

TEST_F(Mode1CorrectTest, ErrorsOnBothPlanesOfOneWordAreRepaired) {
  std::mt19937 rng(35);
  const TSector original = EncodedSector(rng, 999);
  for (size_t word = 0; word < 1026; ++word) {  // the words the EDC covers
    TSector sector = original;
    sector[12 + 2 * word] ^= NonZeroByte(rng);
    sector[13 + 2 * word] ^= NonZeroByte(rng);
    ASSERT_TRUE(Corrector.Correct(sector.data(), 1)) << word;
    ASSERT_EQ(sector, original) << word;
  }
}

TEST_F(Mode1CorrectTest, ErrorsOutsideEveryCodewordAreRefused) {
  std::mt19937 rng(36);
  const TSector original = EncodedSector(rng, 151);
  for (size_t at = 0; at < 12; ++at) {  // the sync is in the EDC but in no codeword
    TSector sector = original;
    sector[at] ^= 0x04;
    const TSector damaged = sector;
    EXPECT_FALSE(Corrector.Correct(sector.data(), 3));
    EXPECT_EQ(sector, damaged);
  }
}

TEST_F(Mode1CorrectTest, PassCountZeroChangesNothing) {
  std::mt19937 rng(37);
  const TSector original = EncodedSector(rng, 152);
  TSector sector = original;
  sector[500] ^= 0xFF;
  const TSector damaged = sector;
  EXPECT_FALSE(Corrector.Correct(sector.data(), 0));
  EXPECT_EQ(sector, damaged);
  EXPECT_FALSE(Corrector.CorrectOrRestore(sector.data(), 0));
  EXPECT_EQ(sector, damaged);
  EXPECT_TRUE(Corrector.Correct(sector.data(), 1));
  EXPECT_EQ(sector, original);
}

TEST_F(Mode1CorrectTest, StuckErrorsStopAfterThePassThatChangedNothing) {
  // Two equal errors in each of two Q and two P codewords: every syndrome S0 is zero, so
  // no pass touches anything and the result is false with the sector as it was.
  std::mt19937 rng(38);
  const TSector original = EncodedSector(rng, 153);
  TSector sector = original;
  for (size_t at : {QByte(0, 1), QByte(0, 2), QByte(1, 1), QByte(1, 2)}) sector[at] ^= 0x33;
  const TSector damaged = sector;
  EXPECT_FALSE(Corrector.Correct(sector.data(), 10));
  EXPECT_EQ(sector, damaged);
}

TEST_F(Mode1CorrectTest, SecondPassFinishesWhatTheFirstUnlocked) {
  // Q0 holds e1, e2; Q1 holds e3; Q2 holds e4, e5. P1 holds e1, e3; P2 holds e2, e4; P3 holds e5.
  // Equal values make every two-error codeword look clean. Pass 1 fixes e3 (Q), e1 and e5 (P);
  // pass 2 fixes e2 and e4 (Q).
  std::mt19937 rng(39);
  const TSector original = EncodedSector(rng, 154);
  const size_t e1 = QByte(0, 1), e2 = QByte(0, 2), e3 = QByte(1, 1), e4 = QByte(2, 2), e5 = QByte(2, 3);
  TSector damaged = original;
  for (size_t at : {e1, e2, e3, e4, e5}) damaged[at] ^= 0x6C;

  TSector onePass = damaged;
  EXPECT_FALSE(Corrector.Correct(onePass.data(), 1));
  // The sector keeps what the pass changed.
  TSector expectedAfterOne = original;
  expectedAfterOne[e2] ^= 0x6C;
  expectedAfterOne[e4] ^= 0x6C;
  EXPECT_EQ(onePass, expectedAfterOne);

  TSector restored = damaged;
  EXPECT_FALSE(Corrector.CorrectOrRestore(restored.data(), 1));
  EXPECT_EQ(restored, damaged);

  TSector twoPasses = damaged;
  EXPECT_TRUE(Corrector.Correct(twoPasses.data(), 2));
  EXPECT_EQ(twoPasses, original);
  TSector twoPassesRestoring = damaged;
  EXPECT_TRUE(Corrector.CorrectOrRestore(twoPassesRestoring.data(), 2));
  EXPECT_EQ(twoPassesRestoring, original);
}

TEST_F(Mode1CorrectTest, PassThatRepairsOnlyParityEndsTheRun) {
  // Q0 holds e1 (data, P1) and e2 (P parity, P24); Q1 holds e3 (data, P1) and e4 (Q parity).
  // Equal values: Q0, Q1 and P1 look clean, so pass 1 repairs e2 alone, which the EDC does not
  // cover; the EDC is unchanged and no second pass runs.
  std::mt19937 rng(40);
  const TSector original = EncodedSector(rng, 155);
  const size_t e1 = QByte(0, 1), e2 = QByte(0, 24), e3 = QByte(1, 1), e4 = QByte(1, 43);
  ASSERT_EQ(e2, 12u + 2 * 1056);  // a P parity word
  ASSERT_EQ(e4, 12u + 2 * 1119);  // a Q parity word
  TSector sector = original;
  for (size_t at : {e1, e2, e3, e4}) sector[at] ^= 0x21;

  EXPECT_FALSE(Corrector.Correct(sector.data(), 5));
  TSector expected = original;
  for (size_t at : {e1, e3, e4}) expected[at] ^= 0x21;
  EXPECT_EQ(sector, expected);

  // Called again, Q0 now holds e1 alone and P1 then e3 alone.
  EXPECT_TRUE(Corrector.Correct(sector.data(), 5));
  expected = original;
  expected[e4] ^= 0x21;
  EXPECT_EQ(sector, expected);
}

TEST_F(Mode1CorrectTest, UncorrectableSectorIsRefusedAndRestoredByteForByte) {
  // Two errors in each of two Q codewords that also share two P codewords: nothing can
  // repair it, and a repair attempt may miscorrect good bytes.
  std::mt19937 rng(41);
  std::uniform_int_distribution<int> qcw(0, 25), pos(0, 42), plane(0, 1);
  int keptChanges = 0;
  for (int round = 0; round < 600; ++round) {
    const TSector original = EncodedSector(rng, 200 + round);
    const int qa = qcw(rng);
    int qb = qcw(rng);
    if (qb == qa) qb = (qa + 1) % 26;
    const int ja = pos(rng);
    int jb = pos(rng);
    if (jb == ja) jb = (ja + 1) % 43;
    const int p = plane(rng);
    TSector damaged = original;
    for (size_t at : {QByte(qa, ja), QByte(qa, jb), QByte(qb, ja), QByte(qb, jb)}) damaged[at + p] ^= NonZeroByte(rng);

    TSector kept = damaged;
    ASSERT_FALSE(Corrector.Correct(kept.data(), 2)) << round;
    keptChanges += kept != damaged;

    TSector restored = damaged;
    ASSERT_FALSE(Corrector.CorrectOrRestore(restored.data(), 2)) << round;
    ASSERT_EQ(restored, damaged) << round;
  }
  // Miscorrections do happen in the plain form; that is what the restoring form is for.
  EXPECT_GT(keptChanges, 0);
}

TEST(Mode1CorrectTablesTest, TablesAreSharedAndRebuilt) {
  std::mt19937 rng(42);
  const TSector original = EncodedSector(rng, 300);
  TSector damaged = original;
  damaged[1000] ^= 0x80;

  auto first = std::make_unique<TMode1ErrorCorrect>();
  {
    TMode1ErrorCorrect second;
    TSector sector = damaged;
    EXPECT_TRUE(second.Correct(sector.data(), 1));
  }
  // The first corrector still works after the second has gone.
  TSector sector = damaged;
  EXPECT_TRUE(first->Correct(sector.data(), 1));
  EXPECT_EQ(sector, original);

  // Without tables nothing is corrected and nothing is touched.
  TMode1ErrorCorrect::FreeTables();
  sector = damaged;
  EXPECT_FALSE(first->Correct(sector.data(), 2));
  EXPECT_EQ(sector, damaged);
  EXPECT_FALSE(first->CorrectOrRestore(sector.data(), 2));
  EXPECT_EQ(sector, damaged);

  EXPECT_TRUE(TMode1ErrorCorrect::InitTables());
  EXPECT_TRUE(TMode1ErrorCorrect::InitTables());
  EXPECT_TRUE(first->Correct(sector.data(), 1));
  EXPECT_EQ(sector, original);
  first.reset();

  // A new corrector after the last one has gone builds the tables again.
  TMode1ErrorCorrect again;
  sector = damaged;
  EXPECT_TRUE(again.Correct(sector.data(), 1));
  EXPECT_EQ(sector, original);
}

// Scans run their correctors on worker threads: two threads that each build, use and
// destroy correctors at once share the tables without a race (run under ThreadSanitizer).
TEST(Mode1CorrectTablesTest, CorrectorsComeAndGoOnTwoThreadsAtOnce) {
  std::mt19937 rng(7);
  const TSector original = EncodedSector(rng, 400);
  TSector damaged = original;
  damaged[700] ^= 0x11;
  std::array<int, 2> corrected{};
  auto work = [&](int id) {
    for (int round = 0; round < 200; ++round) {
      TMode1ErrorCorrect corrector;
      TSector sector = damaged;
      if (corrector.Correct(sector.data(), 1) && sector == original) ++corrected[id];
    }
  };
  std::thread a(work, 0), b(work, 1);
  a.join();
  b.join();
  EXPECT_EQ(corrected[0], 200);
  EXPECT_EQ(corrected[1], 200);
}
