// Read faults: unreadable and retry-only sectors, byte faults under DCR, unrecorded
// frames, ranges, the beyond-lead-out behaviours, audio offset and jitter.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <set>

#include "emulator/EmulatedDrive.h"
#include "sector/Scramble.h"
#include "tests/emulator/support/TestDiscs.h"

namespace emu::test {
namespace {

void ExpectSense(const ScsiResult& r, uint8_t key, uint8_t asc, uint8_t ascq) {
  EXPECT_EQ(r.Status, kStatusCheckCondition);
  EXPECT_EQ(r.SenseLength, 18u);
  EXPECT_EQ(r.SenseKey(), key);
  EXPECT_EQ(r.Asc(), asc);
  EXPECT_EQ(r.Ascq(), ascq);
  EXPECT_EQ(r.Sense[7], 10);
}

// What the sector reader makes of the sense: sectors good before the failure.
int32_t GoodCount(const ScsiResult& r, int32_t start, bool transferBlock) {
  if ((r.Sense[0] & 0x7F) != 0x70 || !(r.Sense[0] & 0x80) || r.SenseKey() != 3) return 0;
  return SenseInfo(r) - start + (transferBlock ? 1 : 0);
}

TEST(DriveFaultTest, UnreadableSectorStopsTheTransferWithMediumErrorAndItsLba) {
  auto disc = BuildDisc(Mode1Disc(100));
  disc->Faults.Unreadable.push_back({10, 12, 0x11, 0x06});
  disc->Profile.Residual = PartialResidual::Exact;  // the residual is what is under test
  EmulatedDrive drive(disc);

  Reply r = DataIn(drive, ReadCdCdb(5, 15, 0x10), 15 * 2352);
  ExpectSense(r.Result, 0x03, 0x11, 0x06);
  EXPECT_EQ(r.Result.Sense[0], 0xF0);
  EXPECT_EQ(SenseInfo(r.Result), 10);
  EXPECT_EQ(r.Result.Residual, 15 * 2352u - 5 * 2048u);
  EXPECT_EQ(GoodCount(r.Result, 5, false), 5);
  EXPECT_EQ(Slice(r.Data, 4 * 2048, 5 * 2048), Slice(disc->Store->Main(9), 16, 2064));
  EXPECT_EQ(r.Data[5 * 2048], 0xEE);  // nothing of the failing sector

  // With transfer block the failing sector's (zeroed) block goes out first.
  ASSERT_TRUE(SetErrorRecovery(drive, 0x20).Good());
  Reply tb = DataIn(drive, ReadCdCdb(5, 15, 0x10), 15 * 2352);
  ExpectSense(tb.Result, 0x03, 0x11, 0x06);
  EXPECT_EQ(tb.Result.Residual, 15 * 2352u - 6 * 2048u);
  EXPECT_EQ(GoodCount(tb.Result, 5, true), 6);
  EXPECT_EQ(Slice(tb.Data, 5 * 2048, 6 * 2048), std::vector<uint8_t>(2048, 0));

  // An audio-type read returns whole 2352-byte blocks, the failing one included, and
  // its sub-channel after it.
  Reply cdda = DataIn(drive, ReadCddaCdb(8, 4, 1), 4 * 2368);
  ExpectSense(cdda.Result, 0x03, 0x11, 0x06);
  EXPECT_EQ(SenseInfo(cdda.Result), 10);
  EXPECT_EQ(cdda.Result.Residual, 4 * 2368u - 3 * 2368u);
  EXPECT_EQ(Slice(cdda.Data, 2 * 2368, 3 * 2368), std::vector<uint8_t>(2368, 0));

  // The second sector of the range fails the same way when a read starts at it.
  Reply second = DataIn(drive, ReadCdCdb(11, 2, 0xF8), 2 * 2352);
  EXPECT_EQ(SenseInfo(second.Result), 11);
  EXPECT_TRUE(DataIn(drive, ReadCdCdb(12, 2, 0xF8), 2 * 2352).Result.Good());
}

TEST(DriveFaultTest, RetryFaultReadsOnlyWithEnoughRetries) {
  auto disc = BuildDisc(Mode1Disc(40));
  disc->Profile.DefaultRetryCount = 3;
  disc->Faults.Retry.push_back({20, 21, 8});
  EmulatedDrive drive(disc);

  Reply r = DataIn(drive, ReadCdCdb(18, 4, 0x10), 4 * 2352);
  ExpectSense(r.Result, 0x03, 0x11, 0x00);
  EXPECT_EQ(SenseInfo(r.Result), 20);

  ASSERT_TRUE(SetErrorRecovery(drive, 0x00, 7).Good());
  EXPECT_FALSE(DataIn(drive, ReadCdCdb(18, 4, 0x10), 4 * 2352).Result.Good());
  ASSERT_TRUE(SetErrorRecovery(drive, 0x00, 8).Good());
  Reply ok = DataIn(drive, ReadCdCdb(18, 4, 0x10), 4 * 2352);
  ASSERT_TRUE(ok.Result.Good());
  EXPECT_EQ(Slice(ok.Data, 2 * 2048, 3 * 2048), Slice(disc->Store->Main(20), 16, 2064));
}

TEST(DriveFaultTest, SoftByteFaultsShowOnlyWithDcr) {
  auto disc = BuildDisc(Mode1Disc(20));
  disc->Faults.Bytes.push_back({4, 100, 0x5A, false});
  EmulatedDrive drive(disc);
  const uint8_t clean = disc->Store->Main(4)[100];

  EXPECT_EQ(DataIn(drive, ReadCdCdb(4, 1, 0x10), 2048).Data[100 - 16], clean);
  EXPECT_EQ(DataIn(drive, ReadCdCdb(4, 1, 0xF8), 2352).Data[100], clean);
  std::vector<uint8_t> cdda = DataIn(drive, ReadCddaCdb(4, 1, 0), 2352).Data;
  Descramble(cdda.data(), 0, 2352);
  EXPECT_EQ(cdda[100], clean);

  ASSERT_TRUE(SetErrorRecovery(drive, 0x01).Good());
  Reply cooked = DataIn(drive, ReadCdCdb(4, 1, 0x10), 2048);
  ASSERT_TRUE(cooked.Result.Good());
  EXPECT_EQ(cooked.Data[100 - 16], clean ^ 0x5A);
  EXPECT_EQ(DataIn(drive, ReadCdCdb(4, 1, 0xF8), 2352).Data[100], clean ^ 0x5A);
}

TEST(DriveFaultTest, HardByteFaultsFailCookedReadsUnlessDcrAndShowInRawAndAudioReads) {
  auto disc = BuildDisc(MixedDisc());
  disc->Faults.Bytes.push_back({6, 500, 0xFF, true});
  disc->Faults.Bytes.push_back({MixedLbas::Audio + 1, 8, 0x0F, true});
  disc->Profile.Residual = PartialResidual::Exact;
  EmulatedDrive drive(disc);
  const uint8_t clean = disc->Store->Main(6)[500];

  Reply cooked = DataIn(drive, ReadCdCdb(4, 4, 0x10), 4 * 2352);
  ExpectSense(cooked.Result, 0x03, 0x11, 0x05);
  EXPECT_EQ(SenseInfo(cooked.Result), 6);
  EXPECT_EQ(cooked.Result.Residual, 4 * 2352u - 2 * 2048u);

  // Raw reads are no way around the drive's correction: they fail too.
  Reply raw = DataIn(drive, ReadCdCdb(6, 1, 0xF8), 2352);
  ExpectSense(raw.Result, 0x03, 0x11, 0x05);

  Reply audio = DataIn(drive, ReadCdCdb(MixedLbas::Audio + 1, 1, 0x10), 2352);
  ASSERT_TRUE(audio.Result.Good());
  EXPECT_EQ(audio.Data[8], disc->Store->Main(MixedLbas::Audio + 1)[8] ^ 0x0F);

  // Transfer block sends the damaged sector before the error.
  ASSERT_TRUE(SetErrorRecovery(drive, 0x20).Good());
  Reply tb = DataIn(drive, ReadCdCdb(6, 2, 0x10), 2 * 2352);
  ExpectSense(tb.Result, 0x03, 0x11, 0x05);
  EXPECT_EQ(tb.Result.Residual, 2 * 2352u - 2048u);
  EXPECT_EQ(tb.Data[500 - 16], clean ^ 0xFF);
  Reply rawTb = DataIn(drive, ReadCdCdb(6, 1, 0xF8), 2352);
  ExpectSense(rawTb.Result, 0x03, 0x11, 0x05);
  EXPECT_EQ(rawTb.Data[500], clean ^ 0xFF);

  ASSERT_TRUE(SetErrorRecovery(drive, 0x01).Good());
  Reply dcr = DataIn(drive, ReadCdCdb(4, 4, 0x10), 4 * 2352);
  ASSERT_TRUE(dcr.Result.Good());
  EXPECT_EQ(dcr.Data[2 * 2048 + 500 - 16], clean ^ 0xFF);
  Reply rawDcr = DataIn(drive, ReadCdCdb(6, 1, 0xF8), 2352);
  ASSERT_TRUE(rawDcr.Result.Good());
  EXPECT_EQ(rawDcr.Data[500], clean ^ 0xFF);
}

TEST(DriveFaultTest, UnrecordedFramesAndAddressesOutsideTheDisc) {
  auto disc = BuildDisc(MixedDisc());
  disc->Profile.Residual = PartialResidual::Exact;
  EmulatedDrive drive(disc);
  // Between the sessions nothing is recorded.
  Reply gap = DataIn(drive, ReadCdCdb(MixedLbas::LeadOut1 - 1, 3, 0xF8), 3 * 2352);
  ExpectSense(gap.Result, 0x03, 0x11, 0x00);
  EXPECT_EQ(SenseInfo(gap.Result), MixedLbas::LeadOut1);
  EXPECT_EQ(gap.Result.Residual, 2 * 2352u);

  ExpectSense(DataIn(drive, ReadCdCdb(-1, 1, 0xF8), 2352).Result, 0x05, 0x21, 0x00);
  Reply end = DataIn(drive, ReadCdCdb(MixedLbas::LeadOut2 - 2, 3, 0xF8), 3 * 2352);
  ExpectSense(end.Result, 0x05, 0x21, 0x00);
  EXPECT_EQ(end.Result.Residual, 2352u);
  ExpectSense(DataIn(drive, ReadCddaCdb(0x7FFFFFFF, 2, 0), 4704).Result, 0x05, 0x21, 0x00);
}

class BeyondTest : public ::testing::Test {
 protected:
  // TOC lead-out at 50; 10 more sectors recorded after it.
  std::shared_ptr<Disc> disc = [] {
    DiscSpec spec = Mode1Disc(50);
    spec.RecordedBeyond = 10;
    return BuildDisc(spec);
  }();
  Reply Raw(BeyondLeadOut mode, int32_t lba, int32_t amount = 0, int32_t from = -1) {
    disc->Faults.Beyond = mode;
    disc->Faults.BeyondAmount = amount;
    disc->Faults.BeyondFromLba = from;
    EmulatedDrive drive(disc);
    return DataIn(drive, ReadCdCdb(lba, 1, 0xF8), 2352);
  }
  std::vector<uint8_t> Scrambled(int32_t lba) {
    std::vector<uint8_t> s = Slice(disc->Store->Main(lba), 0, 2352);
    Descramble(s.data(), 0, 2352);
    return s;
  }
};

TEST_F(BeyondTest, ServeRefuseAndNotReady) {
  EXPECT_EQ(Raw(BeyondLeadOut::Serve, 55).Data, Slice(disc->Store->Main(55), 0, 2352));
  EXPECT_TRUE(Raw(BeyondLeadOut::Refuse, 49).Result.Good());
  ExpectSense(Raw(BeyondLeadOut::Refuse, 50).Result, 0x05, 0x21, 0x00);
  EXPECT_TRUE(Raw(BeyondLeadOut::Refuse, 54, 0, 55).Result.Good());
  ExpectSense(Raw(BeyondLeadOut::Refuse, 55, 0, 55).Result, 0x05, 0x21, 0x00);
  ExpectSense(Raw(BeyondLeadOut::NotReady, 51).Result, 0x02, 0x04, 0x00);
  ExpectSense(Raw(BeyondLeadOut::Serve, 60).Result, 0x05, 0x21, 0x00);  // past what is recorded
}

TEST_F(BeyondTest, DriftServesALaterSector) {
  Reply r = Raw(BeyondLeadOut::Drift, 52, 3);
  ASSERT_TRUE(r.Result.Good());
  EXPECT_EQ(r.Data, Slice(disc->Store->Main(55), 0, 2352));
  EXPECT_EQ(r.Data[14], 0x55);  // its header says 00:02:55
  ExpectSense(Raw(BeyondLeadOut::Drift, 58, 3).Result, 0x05, 0x21, 0x00);
}

TEST_F(BeyondTest, ScrambledAndByteOffsetServeTheScrambledStream) {
  EXPECT_EQ(Raw(BeyondLeadOut::Scrambled, 53).Data, Scrambled(53));
  Reply shifted = Raw(BeyondLeadOut::ByteOffset, 53, 100);
  std::vector<uint8_t> expected = Slice(Scrambled(53), 100, 2352);
  const std::vector<uint8_t> next = Scrambled(54);
  expected.insert(expected.end(), next.begin(), next.begin() + 100);
  EXPECT_EQ(shifted.Data, expected);

  // The drive takes such sectors for audio: a typed data read refuses them.
  disc->Faults.Beyond = BeyondLeadOut::Scrambled;
  EmulatedDrive drive(disc);
  EXPECT_EQ(DataIn(drive, ReadCdCdb(53, 1, 0x10, 0, 0x08), 2352).Result.Asc(), 0x64);
  EXPECT_EQ(DataIn(drive, ReadCdCdb(53, 1, 0x10), 2352).Result.Residual, 0u);
}

std::vector<uint8_t> AudioStream(const Disc& d, int32_t lba, int64_t shiftBytes) {
  std::vector<uint8_t> out;
  const int64_t start = int64_t{lba} * 2352 + shiftBytes;
  for (int64_t p = start; p < start + 2352; ++p) {
    const auto q = static_cast<int32_t>(p / 2352);
    out.push_back(d.Store->Main(q)[p % 2352]);
  }
  return out;
}

TEST(DriveAudioTest, AudioOffsetShiftsAudioReadsButNotDataReads) {
  auto disc = BuildDisc(MixedDisc());
  disc->Profile.AudioOffset = 3;
  EmulatedDrive late(disc);
  const int32_t lba = MixedLbas::Audio + 4;
  EXPECT_EQ(DataIn(late, ReadCddaCdb(lba, 1, 0), 2352).Data, AudioStream(*disc, lba, 12));
  EXPECT_EQ(DataIn(late, ReadCdCdb(lba, 1, 0x10), 2352).Data, AudioStream(*disc, lba, 12));
  EXPECT_EQ(DataIn(late, ReadCdCdb(3, 1, 0xF8), 2352).Data, Slice(disc->Store->Main(3), 0, 2352));

  auto early = std::make_shared<Disc>(*disc);
  early->Profile.AudioOffset = -2;
  EmulatedDrive drive(early);
  EXPECT_EQ(DataIn(drive, ReadCddaCdb(lba, 1, 0), 2352).Data, AudioStream(*disc, lba, -8));
}

TEST(DriveAudioTest, JitterIsBoundedVariedAndRepeatable) {
  auto disc = BuildDisc(MixedDisc());
  disc->Profile.Jitter = 4;
  const int32_t lba = MixedLbas::Audio + 8;
  auto shifts = [&] {
    EmulatedDrive drive(disc);
    std::vector<int> found;
    for (int i = 0; i < 30; ++i) {
      const std::vector<uint8_t> got = DataIn(drive, ReadCddaCdb(lba, 1, 0), 2352).Data;
      int shift = 99;
      for (int s = -4; s <= 4; ++s)
        if (got == AudioStream(*disc, lba, s * 4)) shift = s;
      found.push_back(shift);
    }
    return found;
  };
  const std::vector<int> first = shifts();
  EXPECT_EQ(first, shifts());
  EXPECT_EQ(std::count(first.begin(), first.end(), 99), 0);
  EXPECT_GE(std::set<int>(first.begin(), first.end()).size(), 3u);

  // The extremes a fault file may hold still give an answer (silence, far off the disc).
  disc->Profile.Jitter = std::numeric_limits<int32_t>::max();
  disc->Profile.AudioOffset = std::numeric_limits<int32_t>::min();
  EmulatedDrive extreme(disc);
  for (int i = 0; i < 8; ++i) {
    Reply r = DataIn(extreme, ReadCddaCdb(lba, 1, 0), 2352);
    ASSERT_TRUE(r.Result.Good());
    EXPECT_EQ(r.Data, std::vector<uint8_t>(2352, 0));
  }
}

// A read that fails part-way, ended as each kind of real drive ends it.
TEST(DriveFaultTest, PartialReadsEndAsTheProfileSays) {
  struct Case {
    PartialBlocks Blocks;
    PartialInfo Info;
    PartialResidual Residual;
    bool SentIntact;            // the five blocks before the failing one arrive as recorded
    std::optional<int32_t> Lba;  // INFORMATION, when VALID
    size_t ResidualBytes;
  };
  const std::vector<Case> cases = {
      {PartialBlocks::Exact, PartialInfo::Failing, PartialResidual::Exact, true, 10, 15 * 2352u - 5 * 2048u},
      {PartialBlocks::Exact, PartialInfo::Failing, PartialResidual::Zero, true, 10, 0},
      {PartialBlocks::Missing, PartialInfo::First, PartialResidual::Zero, false, 5, 0},
      {PartialBlocks::Garbage, PartialInfo::None, PartialResidual::Exact, false, std::nullopt, 15 * 2352u - 5 * 2048u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Blocks) * 10 + static_cast<int>(c.Info));
    auto disc = BuildDisc(Mode1Disc(100));
    disc->Faults.Unreadable.push_back({10, 11});
    disc->Profile.Partial = c.Blocks;
    disc->Profile.Info = c.Info;
    disc->Profile.Residual = c.Residual;
    EmulatedDrive drive(disc);
    Reply r = DataIn(drive, ReadCdCdb(5, 15, 0x10), 15 * 2352);
    ExpectSense(r.Result, 0x03, 0x11, 0x00);
    EXPECT_EQ((r.Result.Sense[0] & 0x80) != 0, c.Lba.has_value());
    if (c.Lba) {
      EXPECT_EQ(SenseInfo(r.Result), *c.Lba);
    }
    EXPECT_EQ(r.Result.Residual, c.ResidualBytes);
    const bool intact = std::equal(r.Data.begin() + 4 * 2048, r.Data.begin() + 5 * 2048,
                                   disc->Store->Main(9) + 16);
    EXPECT_EQ(intact, c.SentIntact);
  }
}

// A failing sector costs the drive its own attempts and each retry of page 01; past the
// host's time-out the command times out, and the reset shows at the next command.
TEST(DriveFaultTest, SlowFailuresTimeOutAndTheResetDriveForgetsItsSettings) {
  auto disc = BuildDisc(Mode1Disc(100));
  disc->Faults.Unreadable.push_back({10, 11});
  disc->Profile.FailTimeMs = 8000;
  disc->Profile.RetryTimeMs = 2000;
  EmulatedDrive drive(disc);
  ASSERT_TRUE(SetErrorRecovery(drive, 0x20, 3).Good());
  ASSERT_TRUE(SetBlockLength(drive, 2352).Good());

  uint32_t service = 0;
  std::vector<uint8_t> buffer(2352);
  const std::vector<uint8_t> cdb = ReadCdCdb(10, 1, 0x10);
  ScsiResult slow = drive.Execute(cdb, DataDirection::In, buffer, 30000, &service);
  EXPECT_EQ(slow.SenseKey(), 0x03);
  EXPECT_EQ(service, 8000u + 3 * 2000u);
  EXPECT_EQ(drive.BlockLength(), 2352u);

  ScsiResult late = drive.Execute(cdb, DataDirection::In, buffer, 10000, &service);
  EXPECT_TRUE(late.TransportError);
  EXPECT_EQ(service, 10000u);
  EXPECT_EQ(drive.CurrentPage01(), drive.DefaultPage01());
  EXPECT_EQ(drive.BlockLength(), 2048u);
  ScsiResult next = drive.Execute(ReadCdCdb(20, 1, 0x10), DataDirection::In, buffer, 30000, &service);
  ExpectSense(next, 0x06, 0x29, 0x00);
  EXPECT_EQ(service, 0u);
  EXPECT_TRUE(drive.Execute(ReadCdCdb(20, 1, 0x10), DataDirection::In, buffer, 30000, &service).Good());
}

// The habits of strict drives, each against the same drive without it.
TEST(DriveFaultTest, StrictDriveHabits) {
  auto disc = BuildDisc(MixedDisc());
  disc->Faults.Bytes.push_back({5, 15, 0x03, true});  // the mode byte of LBA 5 reads 2
  disc->Faults.Flaky.push_back({10, 11, 50});
  EmulatedDrive kind(disc);
  auto strictDisc = std::make_shared<Disc>(*disc);
  DriveProfile& p = strictDisc->Profile;
  p.Gap = GapAnswer::EndOfUserArea;
  p.GapTimeMs = 3000;
  p.AnyTypeStops = p.TypeFromHeader = p.CacheRepeat = p.StrictModeCommands = p.Read10NeedsDensity = p.QCrcZero = true;
  p.Page01Dropped = 0x20;
  EmulatedDrive strict(strictDisc);

  uint32_t service = 0;
  std::vector<uint8_t> buffer(2352);
  const std::vector<uint8_t> gapRead = ReadCdCdb(MixedLbas::LeadOut1 + 5, 1, 0x10);
  ExpectSense(kind.Execute(gapRead, DataDirection::In, buffer, 30000, &service), 0x03, 0x11, 0x00);
  EXPECT_EQ(service, 0u);
  ExpectSense(strict.Execute(gapRead, DataDirection::In, buffer, 30000, &service), 0x05, 0x63, 0x00);
  EXPECT_EQ(service, 3000u);

  // Any type across the change from data to the audio pregap.
  EXPECT_TRUE(DataIn(kind, ReadCdCdb(28, 4, 0x10), 4 * 2352).Result.Good());
  Reply stop = DataIn(strict, ReadCdCdb(28, 4, 0x10), 4 * 2352);
  ExpectSense(stop.Result, 0x05, 0x64, 0x00);
  EXPECT_EQ(SenseInfo(stop.Result), MixedLbas::AudioPregap);
  EXPECT_TRUE(DataIn(strict, ReadCdCdb(28, 4, 0x00, 2), 4 * 16).Result.Good()) << "the sub-channel alone goes on";

  // Asked as Mode 1, the sector whose damaged header says Mode 2: uncorrectable for one
  // drive, of the wrong type for the drive that goes by the header.
  ExpectSense(DataIn(kind, ReadCdCdb(5, 1, 0x10, 0, 2 << 2), 2352).Result, 0x03, 0x11, 0x05);
  ExpectSense(DataIn(strict, ReadCdCdb(5, 1, 0x10, 0, 2 << 2), 2352).Result, 0x05, 0x64, 0x00);

  // A flaky sector: fresh draws differ, a drive with a cache repeats its answer until
  // it reads another sector.
  std::set<bool> fresh, cached, afterAnother;
  for (int i = 0; i < 40; ++i) {
    fresh.insert(DataIn(kind, ReadCdCdb(10, 1, 0x10), 2352).Result.Good());
    cached.insert(DataIn(strict, ReadCdCdb(10, 1, 0x10), 2352).Result.Good());
  }
  for (int i = 0; i < 40; ++i) {
    DataIn(strict, ReadCdCdb(20, 1, 0x10), 2352);
    afterAnother.insert(DataIn(strict, ReadCdCdb(10, 1, 0x10), 2352).Result.Good());
  }
  EXPECT_EQ(fresh.size(), 2u);
  EXPECT_EQ(cached.size(), 1u);
  EXPECT_EQ(afterAnother.size(), 2u);

  const std::initializer_list<uint8_t> sense6 = {0x1A, 0, 0x01, 0, 32, 0};
  EXPECT_TRUE(DataIn(kind, sense6, 32).Result.Good());
  ExpectSense(DataIn(strict, sense6, 32).Result, 0x05, 0x20, 0x00);

  // READ(10) of audio: a 2352-byte block length is enough for one drive, the other wants CD-DA density.
  std::vector<uint8_t> noDensity(16, 0);
  noDensity[7] = 8;
  noDensity[14] = 0x09;
  noDensity[15] = 0x30;  // 2352
  for (EmulatedDrive* d : {&kind, &strict})
    ASSERT_TRUE(DataOut(*d, {0x55, 0x10, 0, 0, 0, 0, 0, 0, 16, 0}, noDensity).Result.Good());
  EXPECT_TRUE(DataIn(kind, Read10Cdb(MixedLbas::Audio, 1), 2352).Result.Good());
  ExpectSense(DataIn(strict, Read10Cdb(MixedLbas::Audio, 1), 2352).Result, 0x05, 0x64, 0x00);
  ASSERT_TRUE(SetBlockLength(strict, 2352).Good());
  EXPECT_TRUE(DataIn(strict, Read10Cdb(MixedLbas::Audio, 1), 2352).Result.Good());

  ASSERT_TRUE(SetErrorRecovery(strict, 0x21).Good());
  EXPECT_EQ(strict.CurrentPage01()[2], 0x01) << "transfer block dropped silently";

  const Reply q = DataIn(kind, ReadCdCdb(3, 1, 0x00, 2), 16), zeroCrc = DataIn(strict, ReadCdCdb(3, 1, 0x00, 2), 16);
  EXPECT_NE(q.Data[10] | q.Data[11], 0);
  EXPECT_EQ(zeroCrc.Data[10] | zeroCrc.Data[11], 0);
  EXPECT_TRUE(std::equal(q.Data.begin(), q.Data.begin() + 10, zeroCrc.Data.begin()));
}

}  // namespace
}  // namespace emu::test
