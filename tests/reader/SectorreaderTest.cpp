// The sector reader before the disc end: batching and the cache, the sense rules, the
// error-recovery page, settings bounds and addresses it must refuse.
#include <array>
#include <stdexcept>

#include "sector/SectorEncoder.h"
#include "tests/reader/SectorreaderTestSupport.h"

namespace {

using reader_test::BaseSetting;
using reader_test::Bytes;
using reader_test::Image;
using reader_test::ReaderRig;

constexpr int64_t kFirst = 150;  // frame address of LBA 0

std::shared_ptr<emu::Disc> Mode1(int32_t sectors) { return emu::test::BuildDisc(emu::test::Mode1Disc(sectors)); }

struct Read {
  bool Ok;
  uint8_t Type;
  std::array<uint8_t, 2352> Data;
};

Read ReadAt(TSectorReader& reader, int64_t address, uint8_t type = dtMode1) {
  Read r{};
  r.Ok = reader.ReadSector(address, type, r.Type, r.Data.data());
  return r;
}

// User data of a cooked Mode 1 read equals the image; nothing else is written.
void ExpectMode1UserData(const Read& r, const emu::Disc& disc, int64_t address) {
  const auto image = Image(disc, address);
  EXPECT_EQ(Bytes(r.Data.data(), 16, 2064), Bytes(image.data(), 16, 2064)) << "frame " << address;
  EXPECT_EQ(Bytes(r.Data.data(), 0, 16), std::vector<uint8_t>(16, 0)) << "frame " << address;
}

class SectorReaderData : public ::testing::Test {
 protected:
  void Start(std::shared_ptr<emu::Disc> disc, TDriveSetting setting = BaseSetting()) {
    Disc = disc;
    Rig = std::make_unique<ReaderRig>(disc);
    DiscEndAddress = kFirst + disc->TocLeadOutLba();
    Reader = std::make_unique<TSectorReader>();
    Reader->SetDrive(Rig->Cdrom(), setting);
    Reader->Prepare();
    Rig->Drive().ClearLog();
  }
  void TearDown() override {
    Reader.reset();
    Rig.reset();
  }

  std::shared_ptr<emu::Disc> Disc;
  std::unique_ptr<ReaderRig> Rig;
  std::unique_ptr<TSectorReader> Reader;
};

TEST_F(SectorReaderData, ConsecutiveSectorsOfABatchCostOneCommand) {
  Start(Mode1(60));
  for (int64_t a = kFirst; a < kFirst + 15; ++a) {
    const Read r = ReadAt(*Reader, a);
    ASSERT_TRUE(r.Ok) << a;
    EXPECT_EQ(r.Type, dtMode1);
    ExpectMode1UserData(r, *Disc, a);
  }
  auto reads = Rig->Reads();
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].Start, kFirst);
  EXPECT_EQ(reads[0].Count, 15u);
  EXPECT_EQ(Reader->GetCacheStart(), kFirst);
  EXPECT_EQ(Reader->GetCacheCount(), 15);

  // The first address after the batch, then one before the cache: each a new command there.
  EXPECT_TRUE(ReadAt(*Reader, kFirst + 15).Ok);
  const Read before = ReadAt(*Reader, kFirst + 3);
  EXPECT_TRUE(before.Ok);
  ExpectMode1UserData(before, *Disc, kFirst + 3);
  reads = Rig->Reads();
  ASSERT_EQ(reads.size(), 3u);
  EXPECT_EQ(reads[1].Start, kFirst + 15);
  EXPECT_EQ(reads[2].Start, kFirst + 3);
  EXPECT_EQ(Reader->GetCacheStart(), kFirst + 3);
}

TEST_F(SectorReaderData, EveryReadCommandIsFollowedByTheDrivesPause) {
  Start(Mode1(60));
  for (int64_t a = kFirst; a < kFirst + 40; ++a) ASSERT_TRUE(ReadAt(*Reader, a).Ok);
  EXPECT_EQ(Rig->Reads().size(), 3u);
  EXPECT_EQ(Rig->Clock().SleepCalls(), 3u);
  EXPECT_EQ(Rig->Clock().Slept(), 3u * 7u);
}

TEST_F(SectorReaderData, CommandBlocksCarryTheStrategyTheLunAndTheExpectedType) {
  TDriveSetting s = BaseSetting();
  s.DataReadCmd = 1;
  Start(Mode1(30), s);
  ASSERT_TRUE(ReadAt(*Reader, kFirst + 2).Ok);
  auto log = Rig->Drive().Log();
  ASSERT_EQ(log.size(), 1u);
  const std::vector<uint8_t> typed = {0xBE, 0x08, 0, 0, 0, 2, 0, 0, 15, 0x10, 0, 0};
  EXPECT_EQ(log[0].Cdb, typed);

  s.DataReadCmd = 2;
  Reader->SetDrive(Rig->Cdrom(), s);
  Reader->Prepare();
  Rig->Drive().ClearLog();
  const Read raw = ReadAt(*Reader, kFirst + 20);
  ASSERT_TRUE(raw.Ok);
  EXPECT_EQ(std::vector<uint8_t>(raw.Data.begin(), raw.Data.end()), Image(*Disc, kFirst + 20));
  log = Rig->Drive().Log();
  ASSERT_EQ(log.size(), 1u);
  const std::vector<uint8_t> rawCdb = {0xBE, 0x00, 0, 0, 0, 20, 0, 0, 10, 0xF8, 0, 0};
  EXPECT_EQ(log[0].Cdb, rawCdb);  // clipped to the 10 sectors before the disc end
}

TEST_F(SectorReaderData, AFailingSectorEndsTheBatchAndIsReportedFailedItself) {
  auto disc = Mode1(60);
  disc->Faults.Unreadable.push_back({2, 3});  // the third sector of the first batch
  Start(disc);
  EXPECT_TRUE(ReadAt(*Reader, kFirst).Ok);
  EXPECT_EQ(Reader->GetErrorRecoveryByte(), 0x00);
  EXPECT_EQ(Reader->GetCacheCount(), 2);
  EXPECT_TRUE(ReadAt(*Reader, kFirst + 1).Ok);

  const Read bad = ReadAt(*Reader, kFirst + 2);
  EXPECT_FALSE(bad.Ok);
  EXPECT_EQ(bad.Type, 0);
  EXPECT_EQ(Bytes(bad.Data.data(), 0, 2352), std::vector<uint8_t>(2352, 0));
  EXPECT_EQ(Reader->GetCacheCount(), 0);
  auto reads = Rig->Reads();
  // The failed first batch, its two good sectors read again on their own, then the bad
  // sector alone: the batch named it, so no batch runs over it again.
  ASSERT_EQ(reads.size(), 3u);
  EXPECT_EQ(reads[1].Start, kFirst);
  EXPECT_EQ(reads[1].Count, 2u);
  EXPECT_EQ(reads[2].Start, kFirst + 2);
  EXPECT_EQ(reads[2].Count, 1u);

  const Read after = ReadAt(*Reader, kFirst + 3);
  EXPECT_TRUE(after.Ok);
  ExpectMode1UserData(after, *Disc, kFirst + 3);
  // Read from before it again, a batch stops in front of it.
  EXPECT_TRUE(ReadAt(*Reader, kFirst).Ok);
  reads = Rig->Reads();
  EXPECT_EQ(reads.back().Start, kFirst);
  EXPECT_EQ(reads.back().Count, 2u);
}

TEST_F(SectorReaderData, WithTransferBlockTheFailingBlockIsNotGood) {
  auto disc = Mode1(60);
  disc->Faults.Unreadable.push_back({2, 3});
  TDriveSetting s = BaseSetting();
  s.TransferBlock = 1;
  Start(disc, s);
  EXPECT_EQ(Reader->GetErrorRecoveryByte(), 0x20);
  EXPECT_TRUE(ReadAt(*Reader, kFirst).Ok);
  EXPECT_EQ(Reader->GetCacheCount(), 2);
  EXPECT_FALSE(ReadAt(*Reader, kFirst + 2).Ok);
  EXPECT_TRUE(ReadAt(*Reader, kFirst + 3).Ok);
}

TEST_F(SectorReaderData, AFailureWithoutSenseCountsNoSectorAsGood) {
  auto disc = Mode1(60);
  // The first READ CD times out: no status, no sense, no data.
  disc->Faults.Commands.push_back({0xBE, 1, emu::CommandFaultKind::Timeout});
  Start(disc);
  const Read r = ReadAt(*Reader, kFirst + 4);
  // Read alone once the reset drive has its page back, not taken from the zeroed batch;
  // the batch's other sectors are read alone too, so that a sector that fails slowly
  // costs its time-out once.
  ASSERT_TRUE(r.Ok);
  ExpectMode1UserData(r, *Disc, kFirst + 4);
  EXPECT_TRUE(ReadAt(*Reader, kFirst + 5).Ok);
  const auto reads = Rig->Reads();
  ASSERT_EQ(reads.size(), 3u);
  EXPECT_EQ(reads[1].Count, 1u);
  EXPECT_EQ(reads[2].Count, 1u);

  // Every READ CD fails the same way: failed, never zeros as data.
  auto dead = Mode1(60);
  dead->Faults.Commands.push_back({0xBE, 0, emu::CommandFaultKind::Timeout});
  TearDown();
  Start(dead);
  const Read none = ReadAt(*Reader, kFirst + 4);
  EXPECT_FALSE(none.Ok);
  EXPECT_EQ(none.Type, 0);
  EXPECT_EQ(Reader->GetCacheCount(), 0);
}

TEST_F(SectorReaderData, ALaterBadSectorDoesNotFailTheRequestedOne) {
  auto disc = Mode1(60);
  disc->Faults.Unreadable.push_back({6, 7});
  // The page cannot be read back, so the sense of a partial read cannot be sized.
  disc->Faults.Commands.push_back({0x5A, 0, emu::CommandFaultKind::CheckCondition, 0x05, 0x24, 0x00});
  Start(disc);
  EXPECT_EQ(Reader->GetErrorRecoveryByte(), 255);
  for (int64_t a = kFirst; a < kFirst + 12; ++a) {
    const Read r = ReadAt(*Reader, a);
    EXPECT_EQ(r.Ok, a != kFirst + 6) << a;
    if (r.Ok) ExpectMode1UserData(r, *Disc, a);
  }
}

TEST_F(SectorReaderData, BatchesStopAtTheDiscEnd) {
  Start(Mode1(40));  // disc end at frame 190
  for (int64_t a = kFirst + 30; a < kFirst + 40; ++a) {
    const Read r = ReadAt(*Reader, a);
    ASSERT_TRUE(r.Ok) << a;
    ExpectMode1UserData(r, *Disc, a);
  }
  const auto reads = Rig->Reads();
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].Start, kFirst + 30);
  EXPECT_EQ(reads[0].Count, 10u);
}

TEST_F(SectorReaderData, RetryOnlySectorsReadWithEnoughDriveRetries) {
  auto disc = Mode1(40);
  disc->Faults.Retry.push_back({10, 12, 8});
  TDriveSetting s = BaseSetting();
  s.RetryCountEnabled = 1;
  s.RetryCount = 9;
  Start(disc, s);
  EXPECT_EQ(Rig->Drive().CurrentPage01()[3], 9);
  for (int64_t a = kFirst + 8; a < kFirst + 14; ++a) {
    const Read r = ReadAt(*Reader, a);
    ASSERT_TRUE(r.Ok) << a;
    ExpectMode1UserData(r, *Disc, a);
  }

  s.RetryCountEnabled = 0;  // the drive's default of 5 is not enough
  TearDown();
  Start(disc, s);
  EXPECT_FALSE(ReadAt(*Reader, kFirst + 10).Ok);
  EXPECT_FALSE(ReadAt(*Reader, kFirst + 11).Ok);
  EXPECT_TRUE(ReadAt(*Reader, kFirst + 12).Ok);
}

TEST_F(SectorReaderData, RawReadsAreRepairedBySoftEccOrReportedFailed) {
  auto disc = Mode1(40);
  disc->Faults.Bytes.push_back({5, 100, 0x5A, true});  // one byte: one pass repairs it
  for (uint16_t i = 0; i < 300; ++i) disc->Faults.Bytes.push_back({8, static_cast<uint16_t>(20 + i), 0xFF, true});
  disc->Profile.RawUncorrectable = false;  // a drive that hands raw sectors over uncorrected
  TDriveSetting s = BaseSetting();
  s.DataReadCmd = 2;
  s.SoftEccRetryCount = 1;
  Start(disc, s);
  for (int64_t a = kFirst; a < kFirst + 12; ++a) {
    const Read r = ReadAt(*Reader, a);
    EXPECT_EQ(r.Ok, a != kFirst + 8) << a;
    if (r.Ok) EXPECT_EQ(std::vector<uint8_t>(r.Data.begin(), r.Data.end()), Image(*Disc, a)) << a;
    else EXPECT_EQ(r.Type, 0);
  }
  // The failed sector comes back as the drive sent it, never half "corrected".
  auto sent = Image(*Disc, kFirst + 8);
  for (size_t i = 20; i < 320; ++i) sent[i] ^= 0xFF;
  const Read failed = ReadAt(*Reader, kFirst + 8);
  EXPECT_FALSE(failed.Ok);
  EXPECT_EQ(std::vector<uint8_t>(failed.Data.begin(), failed.Data.end()), sent);
}

TEST_F(SectorReaderData, RawReadsOfAMixedXaTrackHoldEachSectorToItsOwnForm) {
  auto disc = emu::test::BuildDisc({{{{emu::SectorKind::Mode2Form1, 30}}}});
  // Form 2 sectors among the Form 1 ones, as an XA track interleaves them: one with
  // its EDC, one without, and one whose EDC no longer matches.
  auto store = std::static_pointer_cast<emu::MemorySectorStore>(std::const_pointer_cast<emu::SectorStore>(disc->Store));
  const uint8_t subheader[4] = {0, 0, emu::test::kForm2Submode, 0};
  std::vector<uint8_t> user(2324, 0x6B);
  EncodeMode2Form2Sector(store->MutableMain(3), kFirst + 3, subheader, user.data(), true);
  EncodeMode2Form2Sector(store->MutableMain(4), kFirst + 4, subheader, user.data(), false);
  EncodeMode2Form2Sector(store->MutableMain(6), kFirst + 6, subheader, user.data(), true);
  store->MutableMain(6)[1000] ^= 0x40;
  TDriveSetting s = BaseSetting();
  s.DataReadCmd = 2;
  Start(disc, s);
  for (int64_t a = kFirst; a < kFirst + 10; ++a) {
    const Read r = ReadAt(*Reader, a, dtMode2Form1);
    EXPECT_EQ(r.Ok, a != kFirst + 6) << a;
    if (r.Ok) {
      EXPECT_EQ(std::vector<uint8_t>(r.Data.begin(), r.Data.end()), Image(*Disc, a)) << a;
    }
  }
}

TEST_F(SectorReaderData, SettingsAreHeldToTheirRangesAndTheCacheFollowsThem) {
  TDriveSetting s = BaseSetting();
  s.DataReadAtOnce = 0;
  s.ExtReadAtOnce = 1;
  s.Interval = 4000000000u;
  s.RetryCount = 50;
  s.SoftEccRetryCount = 99;
  s.ForceType = 7;
  Start(Mode1(60), s);
  const TDriveSetting& held = Reader->GetSetting();
  EXPECT_EQ(held.DataReadAtOnce, 1u);
  EXPECT_EQ(held.ExtReadAtOnce, 2u);
  EXPECT_EQ(held.Interval, 1000u);
  EXPECT_EQ(held.RetryCount, 12u);
  EXPECT_EQ(held.SoftEccRetryCount, 12u);
  EXPECT_EQ(held.ForceType, 1);
  EXPECT_EQ(Reader->GetCacheCapacity(), 2u);
  EXPECT_TRUE(ReadAt(*Reader, kFirst).Ok);
  EXPECT_EQ(Rig->Reads().back().Count, 1u);

  // Raised after Prepare: the next batch is read whole and cached whole.
  s.DataReadAtOnce = 100000;
  Reader->SetDrive(Rig->Cdrom(), s);
  EXPECT_EQ(Reader->GetSetting().DataReadAtOnce, 27u);
  const Read r = ReadAt(*Reader, kFirst + 5);
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(Rig->Reads().back().Count, 27u);
  EXPECT_EQ(Reader->GetCacheCount(), 27);
  EXPECT_GE(Reader->GetCacheCapacity(), 27u);
  const Read last = ReadAt(*Reader, kFirst + 31);
  ASSERT_TRUE(last.Ok);
  ExpectMode1UserData(last, *Disc, kFirst + 31);
}

TEST_F(SectorReaderData, NewSettingsAreNeverServedFromWhatTheOldOnesRead) {
  Start(Mode1(60));
  ASSERT_TRUE(ReadAt(*Reader, kFirst).Ok);  // a cooked batch: no sync, no header, no EDC
  ASSERT_EQ(Reader->GetCacheCount(), 15);

  TDriveSetting s = BaseSetting();
  s.DataReadCmd = 2;
  s.TransferBlock = 1;
  Reader->SetDrive(Rig->Cdrom(), s);
  const Read raw = ReadAt(*Reader, kFirst + 1);
  ASSERT_TRUE(raw.Ok);
  EXPECT_EQ(std::vector<uint8_t>(raw.Data.begin(), raw.Data.end()), Image(*Disc, kFirst + 1));
  ASSERT_EQ(Rig->Reads().size(), 2u);
  EXPECT_EQ(Rig->Reads()[1].Start, kFirst + 1);
  // The page follows the new settings, and the good count goes by the page they set.
  EXPECT_EQ(Rig->Drive().CurrentPage01()[2], 0x20);
  EXPECT_EQ(Reader->GetErrorRecoveryByte(), 0x20);
}

TEST_F(SectorReaderData, AddressesThatCannotBeCommandedAreRefused) {
  Start(Mode1(30));
  DiscEndAddress = 500000;
  for (int64_t a : {int64_t{-1}, int64_t{-150}, int64_t{450000}, int64_t{1} << 40}) {
    Read r{};
    r.Data.fill(0xEE);
    r.Ok = Reader->ReadSector(a, dtMode1, r.Type, r.Data.data());
    EXPECT_FALSE(r.Ok) << a;
    EXPECT_EQ(r.Type, 0);
    EXPECT_EQ(r.Data[0], 0);
  }
  EXPECT_TRUE(Rig->Reads().empty());
  // A batch that would run from the program area into the lead-in addresses stops short.
  ReadAt(*Reader, 404995);
  ASSERT_EQ(Rig->Reads().size(), 2u);  // the batch, then the sector alone
  EXPECT_EQ(Rig->Reads()[0].Count, 5u);
}

TEST_F(SectorReaderData, AnUnknownStrategyReadsNothing) {
  TDriveSetting s = BaseSetting();
  s.DataReadCmd = 7;
  Start(Mode1(30), s);
  Read r{};
  r.Data.fill(0xEE);
  r.Type = 9;
  EXPECT_FALSE(Reader->ReadSector(kFirst, dtMode1, r.Type, r.Data.data()));
  EXPECT_EQ(r.Type, 0);
  EXPECT_EQ(r.Data[100], 0xEE);
  EXPECT_TRUE(Rig->Reads().empty());
}

TEST_F(SectorReaderData, PrepareSetsTheErrorRecoveryPageAndReleaseRestoresIt) {
  TDriveSetting s = BaseSetting();
  s.FastErrorSkip = 1;
  s.TransferBlock = 1;
  s.RetryCountEnabled = 1;
  s.RetryCount = 3;
  Start(Mode1(30), s);
  const auto defaults = Rig->Drive().DefaultPage01();
  auto page = Rig->Drive().CurrentPage01();
  EXPECT_EQ(page[2], 0x21);
  EXPECT_EQ(page[3], 3);
  EXPECT_EQ(Reader->GetErrorRecoveryByte(), 0x21);
  EXPECT_GT(Reader->GetCacheCapacity(), 0u);
  Reader->Release();
  EXPECT_EQ(Reader->GetCacheCapacity(), 0u);
  page = Rig->Drive().CurrentPage01();
  EXPECT_EQ(std::vector<uint8_t>(page.begin() + 2, page.end()), std::vector<uint8_t>(defaults.begin() + 2, defaults.end()));

  // A read without a cache prepares on its own.
  EXPECT_TRUE(ReadAt(*Reader, kFirst).Ok);
  EXPECT_EQ(Rig->Drive().CurrentPage01()[2], 0x21);

  // A job's session releases the reader however the job ends, by an exception too.
  Reader->Release();
  try {
    const TReaderSession session(*Reader);
    EXPECT_EQ(Rig->Drive().CurrentPage01()[2], 0x21);
    EXPECT_GT(Reader->GetCacheCapacity(), 0u);
    throw std::runtime_error("the job failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(Reader->GetCacheCapacity(), 0u);
  EXPECT_EQ(Rig->Drive().CurrentPage01()[2], defaults[2]);
}

TEST_F(SectorReaderData, WithTheDiscEndUnknownEveryReadGoesBeyond) {
  TDriveSetting s = BaseSetting();
  s.DataReadCmd = 0;
  s.ExtReadCmd = 2;
  Start(Mode1(30), s);
  DiscEndAddress = 0;
  const Read r = ReadAt(*Reader, kFirst + 4);
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(std::vector<uint8_t>(r.Data.begin(), r.Data.end()), Image(*Disc, kFirst + 4));
  const auto log = Rig->Drive().Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0].Cdb[9], 0xF8);
}

TEST_F(SectorReaderData, ReadCddaFindsDataSectorsByTheirSyncInTheDataAreaToo) {
  TDriveSetting s = BaseSetting();
  s.DataReadCmd = 3;
  s.ExtReadAsAudio = 0;  // READ CDDA answers are always taken as audio-style
  Start(Mode1(40), s);
  for (int64_t a = kFirst + 10; a < kFirst + 40; ++a) {
    const Read r = ReadAt(*Reader, a);
    ASSERT_TRUE(r.Ok) << a;
    EXPECT_EQ(r.Type, dtMode1);
    EXPECT_EQ(std::vector<uint8_t>(r.Data.begin(), r.Data.end()), Image(*Disc, a)) << a;
  }
  const auto log = Rig->Drive().Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0].Cdb[0], 0xD8);
}

TEST(SectorReaderTypes, SectorTypeComesFromTheModeByteAndTheSubheader) {
  std::array<uint8_t, 2352> s{};
  s[15] = 1;
  EXPECT_EQ(TSectorReader::DetectSectorType(s.data()), dtMode1);
  s[15] = 2;
  s[18] = s[22] = 0x20;
  EXPECT_EQ(TSectorReader::DetectSectorType(s.data()), dtMode2Form2);
  s[18] = s[22] = 0x08;
  EXPECT_EQ(TSectorReader::DetectSectorType(s.data()), dtMode2Form1);
  s[18] = 0x20;
  s[22] = 0x00;
  EXPECT_EQ(TSectorReader::DetectSectorType(s.data()), dtMode2Formless);
  for (uint8_t mode : {0, 3, 0xFF}) {
    s[15] = mode;
    EXPECT_EQ(TSectorReader::DetectSectorType(s.data()), dtUnknown);
  }
}

TEST_F(SectorReaderData, GoodCountComesOnlyFromAMediumErrorWithItsAddress) {
  Start(Mode1(30));
  ASSERT_EQ(Reader->GetErrorRecoveryByte(), 0);
  auto sense = [](uint8_t code, uint8_t key, int32_t lba) {
    std::array<uint8_t, 16> s{};
    s[0] = code;
    s[2] = key;
    s[3] = static_cast<uint8_t>(lba >> 24);
    s[4] = static_cast<uint8_t>(lba >> 16);
    s[5] = static_cast<uint8_t>(lba >> 8);
    s[6] = static_cast<uint8_t>(lba);
    return s;
  };
  EXPECT_EQ(Reader->GetGoodCount(1000, 15, sense(0xF0, 3, 1000 - 150 + 4).data()), 4);
  EXPECT_EQ(Reader->GetGoodCount(1000, 15, sense(0xF1, 3, 1000 - 150 + 4).data()), 4);
  EXPECT_EQ(Reader->GetGoodCount(1000, 15, sense(0x00, 0, 0).data()), 0);      // no sense at all
  EXPECT_EQ(Reader->GetGoodCount(1000, 15, sense(0x72, 3, 854).data()), 0);    // not fixed format
  EXPECT_EQ(Reader->GetGoodCount(1000, 15, sense(0x70, 3, 854).data()), 0);    // VALID clear
  EXPECT_EQ(Reader->GetGoodCount(1000, 15, sense(0xF0, 4, 854).data()), 0);    // not MEDIUM ERROR
  EXPECT_EQ(Reader->GetGoodCount(1000, 15, sense(0xF0, 3, 849).data()), 0);    // before the start
  EXPECT_EQ(Reader->GetGoodCount(1000, 15, sense(0xF0, 3, 866).data()), 0);    // past the count
  EXPECT_EQ(Reader->GetGoodCount(1000, 15, sense(0xF0, 3, 865).data()), 15);
}

}  // namespace
