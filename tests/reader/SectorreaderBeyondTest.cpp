// The sector reader at and beyond the lead-out: drives that drift, scramble, shift by
// bytes, refuse, repeat frames or answer without a sync.
#include <array>
#include <set>

#include "sector/SectorEncoder.h"
#include "tests/reader/SectorreaderTestSupport.h"

namespace {

using reader_test::BaseSetting;
using reader_test::Bytes;
using reader_test::FailedUpToFlaky;
using reader_test::Image;
using reader_test::ReaderRig;
using reader_test::ScriptedDevice;

constexpr int64_t kLeadOut = 180;  // frame address of the TOC lead-out of the test disc
constexpr int64_t kPhysicalEnd = 240;

// One Mode 1 track of 30 sectors, 60 more recorded after its lead-out.
std::shared_ptr<emu::Disc> DiscWithDataBeyond(emu::BeyondLeadOut beyond, int32_t amount = 0) {
  emu::test::DiscSpec spec = emu::test::Mode1Disc(30);
  spec.RecordedBeyond = 60;
  auto disc = emu::test::BuildDisc(spec);
  disc->Faults.Beyond = beyond;
  disc->Faults.BeyondAmount = amount;
  return disc;
}

struct Read {
  bool Ok;
  uint8_t Type;
  std::array<uint8_t, 2352> Data;
  std::vector<uint8_t> All() const { return std::vector<uint8_t>(Data.begin(), Data.end()); }
};

Read ReadAt(TSectorReader& reader, int64_t address, uint8_t type = dtMode1) {
  Read r{};
  r.Data.fill(0xEE);
  r.Ok = reader.ReadSector(address, type, r.Type, r.Data.data());
  return r;
}

class SectorReaderBeyond : public ::testing::Test {
 protected:
  void Start(std::shared_ptr<emu::Disc> disc, TDriveSetting setting) {
    Disc = disc;
    Rig = std::make_unique<ReaderRig>(disc);
    Begin(setting);
  }
  void Start(std::shared_ptr<ScriptedDevice> device, TDriveSetting setting) {
    Device = device;
    Rig = std::make_unique<ReaderRig>(device);
    Begin(setting);
  }
  void Begin(TDriveSetting setting) {
    DiscEndAddress = kLeadOut;
    Reader = std::make_unique<TSectorReader>();
    Reader->SetDrive(Rig->Cdrom(), setting);
    Reader->Prepare();
    if (Disc) Rig->Drive().ClearLog();
  }
  void TearDown() override {
    Reader.reset();
    Rig.reset();
  }
  // Reads every address of [from, to) and checks each good one against the image; the
  // frames that failed.
  std::set<int64_t> ReadAndCompare(int64_t from, int64_t to) {
    std::set<int64_t> failed;
    for (int64_t a = from; a < to; ++a) {
      const Read r = ReadAt(*Reader, a);
      if (!r.Ok) {
        failed.insert(a);
        continue;
      }
      EXPECT_EQ(r.Type, dtMode1) << "frame " << a;
      EXPECT_EQ(r.All(), Image(*Disc, a)) << "frame " << a;
    }
    return failed;
  }
  void ExpectAllEqualImage(int64_t from, int64_t to) { EXPECT_TRUE(FailedUpToFlaky(ReadAndCompare(from, to), {})); }
  static TDriveSetting Setting(uint32_t command, bool asAudio) {
    TDriveSetting s = BaseSetting();
    s.ExtReadCmd = command;
    s.ExtReadAsAudio = asAudio ? 1 : 0;
    return s;
  }

  std::shared_ptr<emu::Disc> Disc;
  std::shared_ptr<ScriptedDevice> Device;
  std::unique_ptr<ReaderRig> Rig;
  std::unique_ptr<TSectorReader> Reader;
};

TEST_F(SectorReaderBeyond, RecordedSectorsAfterTheLeadOutReadABatchACommand) {
  Start(DiscWithDataBeyond(emu::BeyondLeadOut::Serve), Setting(2, false));
  const std::set<int64_t> failed = ReadAndCompare(kLeadOut, kPhysicalEnd);
  EXPECT_TRUE(FailedUpToFlaky(failed, {}));
  // A flaky sector that fails is given up on as any sector beyond the disc end (each
  // attempt and its confirmation), and the batches after it no longer end with the
  // drive's last sector: those past it are read again as two. Sixty good sectors take
  // four reads.
  const size_t flakyCost = 2 * kBeyondAttempts + Setting(2, false).ExtReadAtOnce;
  EXPECT_LE(Rig->Reads().size(), 4u + reader_test::FlakyAmong(failed) * flakyCost);
  EXPECT_EQ(Rig->Clock().SleepCalls(), Rig->Reads().size());
}

// A batch that came back shifted is read again from where the header found in it says.
struct Shift {
  const char* Name;
  emu::BeyondLeadOut Mode;
  int32_t Amount;
  bool AsAudio;
  int64_t Again;   // where the second read starts
  int32_t Cached;  // sectors of it kept from 190 on
  int64_t End;     // of the sectors read after it
};

class SectorReaderBeyondShift : public SectorReaderBeyond, public ::testing::WithParamInterface<Shift> {};

TEST_P(SectorReaderBeyondShift, IsFollowedByTheOffsetOfAFoundHeader) {
  const Shift& c = GetParam();
  Start(DiscWithDataBeyond(c.Mode, c.Amount), Setting(2, c.AsAudio));
  const Read r = ReadAt(*Reader, 190);
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.All(), Image(*Disc, 190));
  const auto reads = Rig->Reads();
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].Start, 190);
  EXPECT_EQ(reads[1].Start, c.Again);
  EXPECT_EQ(Reader->GetCacheStart(), 190);
  EXPECT_EQ(Reader->GetCacheCount(), c.Cached);
  ExpectAllEqualImage(191, c.End);
}

INSTANTIATE_TEST_SUITE_P(Drives, SectorReaderBeyondShift,
                         ::testing::Values(
                             // The batch came back 3 frames late.
                             Shift{"Drift", emu::BeyondLeadOut::Drift, 3, false, 187, 15, 220},
                             // 120 bytes off, aligned on the sync: the batch's last sector is cut.
                             Shift{"ByteOffset", emu::BeyondLeadOut::ByteOffset, 120, true, 189, 14, 230}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(SectorReaderBeyond, ASectorInsideAnEarlyBatchIsTakenFromItsSlot) {
  Start(DiscWithDataBeyond(emu::BeyondLeadOut::Drift, -2), Setting(2, false));
  ExpectAllEqualImage(190, 203);
  const auto reads = Rig->Reads();
  ASSERT_EQ(reads.size(), 1u);  // frames 188..202 came back; 190 sat in slot 2
  EXPECT_EQ(Reader->GetCacheStart(), 190);
  EXPECT_EQ(Reader->GetCacheCount(), 13);
}

TEST_F(SectorReaderBeyond, ScrambledAnswersAreDescrambledForEveryCommand) {
  // (A typed read gets no audio-style answer: the drive refuses the type.)
  for (uint32_t command : {0u, 2u, 3u}) {
    SCOPED_TRACE(command);
    Start(DiscWithDataBeyond(emu::BeyondLeadOut::Scrambled), Setting(command, true));
    // Where the system refuses READ CDDA, each sector asked with it is counted as failed.
    const bool refused = command == 3 && test_support::VendorCommandsFiltered();
    const auto all = reader_test::FrameRange(kLeadOut, kLeadOut + 30);
    EXPECT_TRUE(FailedUpToFlaky(ReadAndCompare(kLeadOut, kLeadOut + 30), refused ? all : std::set<int64_t>{}));
    EXPECT_EQ(Reader->ReadRefused(), refused);
    if (refused) {
      EXPECT_EQ(Rig->Clock().SleepCalls(), all.size());  // each asked once, never again
    }
    TearDown();
  }
  // A raw read whose sync sits at the start descrambles only the scrambled sectors.
  Start(DiscWithDataBeyond(emu::BeyondLeadOut::Scrambled), Setting(2, false));
  ExpectAllEqualImage(kLeadOut, kLeadOut + 30);
}

TEST_F(SectorReaderBeyond, SoftEccRepairsWhatItCanAndNothingElseIsReportedGood) {
  auto disc = DiscWithDataBeyond(emu::BeyondLeadOut::Scrambled);
  disc->Faults.Bytes.push_back({45, 700, 0x31, true});  // frame 195: one byte
  disc->Faults.Bytes.push_back({47, 14, 0x01, true});   // frame 197: its header's frame byte
  for (uint16_t i = 0; i < 300; ++i)                    // frame 200: far beyond repair
    disc->Faults.Bytes.push_back({50, static_cast<uint16_t>(16 + i), 0xA5, true});
  TDriveSetting s = Setting(2, true);
  s.SoftEccRetryCount = 1;
  Start(disc, s);
  ExpectAllEqualImage(190, 200);
  EXPECT_EQ(Reader->GetCacheStart(), 190);
  EXPECT_EQ(Reader->GetCacheCount(), 10);  // the run stops before the broken sector

  const Read bad = ReadAt(*Reader, 200);
  EXPECT_FALSE(bad.Ok);
  EXPECT_EQ(bad.Type, 0);
  EXPECT_EQ(bad.All(), std::vector<uint8_t>(2352, 0));
  EXPECT_EQ(Reader->GetCacheCount(), 0);
  ExpectAllEqualImage(201, 215);
}

TEST_F(SectorReaderBeyond, ARefusingDriveIsGivenUpOnAfterTenReads) {
  Start(DiscWithDataBeyond(emu::BeyondLeadOut::Refuse), Setting(2, true));
  const Read r = ReadAt(*Reader, 190);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.Type, 0);
  EXPECT_EQ(r.All(), std::vector<uint8_t>(2352, 0));
  // Each empty batch is read again as two sectors and as one, then the start moves on.
  const auto reads = Rig->Reads();
  ASSERT_EQ(reads.size(), 10u);
  const uint32_t counts[3] = {15, 2, 1};
  for (size_t i = 0; i < reads.size(); ++i) {
    EXPECT_EQ(reads[i].Start, 190 + static_cast<int64_t>(i / 3));
    EXPECT_EQ(reads[i].Count, counts[i % 3]);
  }
  EXPECT_EQ(Rig->Clock().SleepCalls(), 10u);
}

TEST_F(SectorReaderBeyond, TheLastRecordedSectorsAreFoundThoughBatchesRunPastThem) {
  // The drive refuses any read that reaches past its last sector.
  Start(DiscWithDataBeyond(emu::BeyondLeadOut::Scrambled), Setting(2, true));
  ExpectAllEqualImage(kPhysicalEnd - 10, kPhysicalEnd);
  EXPECT_FALSE(ReadAt(*Reader, kPhysicalEnd).Ok);

  // A drive that answers 3 frames early would have to be asked past its end for the
  // last 3: those are given up on, never answered with another sector.
  TearDown();
  Start(DiscWithDataBeyond(emu::BeyondLeadOut::Drift, -3), Setting(2, false));
  ExpectAllEqualImage(kPhysicalEnd - 10, kPhysicalEnd - 3);
  for (int64_t a = kPhysicalEnd - 3; a < kPhysicalEnd; ++a) {
    const Read r = ReadAt(*Reader, a);
    EXPECT_FALSE(r.Ok) << a;
    EXPECT_EQ(r.All(), std::vector<uint8_t>(2352, 0));
  }
}

TEST_F(SectorReaderBeyond, AnOffsetBackPastTheFirstSectorsGivesUpAtOnce) {
  auto disc = DiscWithDataBeyond(emu::BeyondLeadOut::Drift, 5);
  disc->Faults.BeyondFromLba = 0;
  Start(disc, Setting(2, false));
  DiscEndAddress = 0;  // unknown: everything is read as beyond the lead-out
  EXPECT_FALSE(ReadAt(*Reader, 150).Ok);
  EXPECT_EQ(Rig->Reads().size(), 1u);
}

TEST_F(SectorReaderBeyond, ForcedTypesAreReportedAndOnlyMode1IsCorrected) {
  auto disc = DiscWithDataBeyond(emu::BeyondLeadOut::Scrambled);
  disc->Faults.Bytes.push_back({42, 500, 0x10, true});  // frame 192
  TDriveSetting s = Setting(2, true);
  s.ForceType = 1;
  Start(disc, s);
  const Read asForm1 = ReadAt(*Reader, 192, dtMode2Form1);
  ASSERT_TRUE(asForm1.Ok);
  EXPECT_EQ(asForm1.Type, dtMode2Form1);
  EXPECT_EQ(asForm1.Data[500], Image(*Disc, 192)[500] ^ 0x10);  // not corrected as Mode 1
  const Read next = ReadAt(*Reader, 193, dtMode2Form1);
  EXPECT_EQ(next.Type, dtMode2Form1);

  TearDown();
  Start(disc, s);
  const Read asMode1 = ReadAt(*Reader, 192, dtMode1);
  ASSERT_TRUE(asMode1.Ok);
  EXPECT_EQ(asMode1.Type, dtMode1);
  EXPECT_EQ(asMode1.All(), Image(*Disc, 192));
}

TEST_F(SectorReaderBeyond, WithoutSoftEccLocatedSectorsReportTheirOwnType) {
  TDriveSetting s = Setting(2, true);
  s.SoftEccEnabled = 0;
  Start(DiscWithDataBeyond(emu::BeyondLeadOut::Scrambled), s);
  const Read r = ReadAt(*Reader, 200);
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.Type, dtMode1);
  EXPECT_EQ(r.All(), Image(*Disc, 200));
}

TEST_F(SectorReaderBeyond, ACookedAnswerWithoutSyncIsTheSectorOnlyWhenReadAtItsAddress) {
  Start(DiscWithDataBeyond(emu::BeyondLeadOut::Serve), Setting(0, false));
  const Read r = ReadAt(*Reader, 200);
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.Type, dtMode1);
  EXPECT_EQ(Bytes(r.Data.data(), 16, 2064), Bytes(Image(*Disc, 200).data(), 16, 2064));
  EXPECT_EQ(Reader->GetCacheCount(), 0);

  // The read at the address fails; the next one, a sector later, answers without sync.
  // Its first sector is 201, so it must not come back as 200.
  TearDown();
  Disc.reset();
  auto device = std::make_shared<ScriptedDevice>([](const ScriptedDevice::Read& read, std::span<uint8_t> buffer) {
    if (read.Start == 200) return reader_test::NoSenseFailure();
    for (uint32_t i = 0; i < read.Count; ++i) std::fill_n(buffer.data() + i * 2048, 2048, uint8_t(read.Start + i));
    return reader_test::GoodResult();
  });
  Start(device, Setting(0, false));
  const Read wrong = ReadAt(*Reader, 200);
  EXPECT_FALSE(wrong.Ok);
  EXPECT_EQ(wrong.Type, 0);
  EXPECT_EQ(wrong.Data[16], 0);
  ASSERT_EQ(device->Reads.size(), 4u);  // the batch, two, one, then a sector later
  EXPECT_EQ(device->Reads[3].Start, 201);
}

// Raw Mode 1 sectors with the given header addresses, one per slot of the answer.
ScriptedDevice::Answer RawSectors(std::function<int64_t(int64_t start, uint32_t index)> header) {
  return [header](const ScriptedDevice::Read& read, std::span<uint8_t> buffer) {
    std::array<uint8_t, 2048> user{};
    for (uint32_t i = 0; i < read.Count; ++i) {
      const int64_t frame = header(read.Start, i);
      user.fill(static_cast<uint8_t>(frame));
      EncodeMode1Sector(buffer.data() + i * 2352, frame, user.data());
    }
    return reader_test::GoodResult();
  };
}

TEST_F(SectorReaderBeyond, OnlyFramesInOrderAfterTheFoundOneAreCached) {
  // The drive repeats frame 201 and skips 202.
  auto device = std::make_shared<ScriptedDevice>(
      RawSectors([](int64_t start, uint32_t i) { return start + i - (i == 2 ? 1 : 0); }));
  Start(device, Setting(2, false));
  const Read r = ReadAt(*Reader, 200);
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(Reader->GetCacheCount(), 2);
  EXPECT_TRUE(ReadAt(*Reader, 201).Ok);
  EXPECT_EQ(device->Reads.size(), 1u);
  const Read skipped = ReadAt(*Reader, 202);
  EXPECT_EQ(device->Reads.size(), 2u);  // not served from the slot that holds 201 again
  EXPECT_EQ(skipped.Data[16], 202);
}

TEST_F(SectorReaderBeyond, ASyncOnlyInACutOffSectorMovesOnBySectors) {
  auto device = std::make_shared<ScriptedDevice>([](const ScriptedDevice::Read& read, std::span<uint8_t> buffer) {
    std::fill(buffer.begin(), buffer.end(), uint8_t{0x5C});
    if (read.Start == 300) {
      std::array<uint8_t, 2352> sector{};
      std::array<uint8_t, 2048> user{};
      EncodeMode1Sector(sector.data(), 900, user.data());
      std::copy_n(sector.begin(), buffer.size() - 2352 - 100, buffer.begin() + 2352 + 100);
    }
    return reader_test::GoodResult();
  });
  TDriveSetting s = Setting(2, false);
  s.ExtReadAtOnce = 2;
  Start(device, s);
  EXPECT_FALSE(ReadAt(*Reader, 300).Ok);
  ASSERT_GE(device->Reads.size(), 2u);
  EXPECT_EQ(device->Reads[1].Start, 301);  // no offset taken from a sector that was never whole
}

TEST_F(SectorReaderBeyond, ASlotWithoutSyncIsNeverTakenForTheSector) {
  // Slot 0 holds a whole sector 5 frames late; slot 1 the requested header with its
  // sync wiped out (a drive answering with a frame it could not frame).
  auto device = std::make_shared<ScriptedDevice>([](const ScriptedDevice::Read& read, std::span<uint8_t> buffer) {
    std::array<uint8_t, 2048> user{};
    for (uint32_t i = 0; i < read.Count; ++i) {
      const int64_t frame = i == 1 ? read.Start : read.Start + 5 + i;
      user.fill(static_cast<uint8_t>(frame));
      EncodeMode1Sector(buffer.data() + i * 2352, frame, user.data());
    }
    std::fill_n(buffer.data() + 2352, 12, uint8_t{0x42});
    return reader_test::GoodResult();
  });
  Start(device, Setting(2, false));
  const Read r = ReadAt(*Reader, 400);
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.Data[16], static_cast<uint8_t>(400));
  ASSERT_EQ(device->Reads.size(), 2u);
  EXPECT_EQ(device->Reads[1].Start, 395);
  EXPECT_EQ(Reader->GetCacheCount(), 1);  // the slot after it has no sync either
}

std::shared_ptr<emu::Disc> Mode2DiscWithDataBeyond(emu::SectorKind kind) {
  emu::test::DiscSpec spec;
  spec.Sessions = {{emu::test::TrackSpec{kind, 30}}};
  spec.RecordedBeyond = 30;
  auto disc = emu::test::BuildDisc(spec);
  disc->Faults.Beyond = emu::BeyondLeadOut::Scrambled;
  return disc;
}

TEST_F(SectorReaderBeyond, Mode2SectorsAreClassifiedAndHeldToTheirEdc) {
  for (const auto& [kind, type] : {std::pair{emu::SectorKind::Mode2Form1, dtMode2Form1},
                                   std::pair{emu::SectorKind::Mode2Form2, dtMode2Form2}}) {
    SCOPED_TRACE(type);
    auto disc = Mode2DiscWithDataBeyond(kind);
    disc->Faults.Bytes.push_back({35, 1000, 0x01, true});  // frame 185: one byte of user data
    Start(disc, Setting(2, true));
    std::set<int64_t> failed;
    for (int64_t a = kLeadOut; a < kLeadOut + 10; ++a) {
      const Read r = ReadAt(*Reader, a, dtMode1);
      if (!r.Ok) {
        failed.insert(a);
        continue;
      }
      EXPECT_EQ(r.Type, type) << a;
      EXPECT_EQ(r.All(), Image(*Disc, a)) << a;
    }
    EXPECT_TRUE(FailedUpToFlaky(failed, {185}));
    TearDown();
  }
}

}  // namespace
