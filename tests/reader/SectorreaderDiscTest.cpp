// End to end on discs the disc builder makes from a real ISO 9660 image: every sector
// the reader calls good is the recorded one, every sector it cannot have is failed.
#include <array>
#include <functional>
#include <set>

#include "drive/Cdbbuild.h"
#include "drive/Krcdroms.h"
#include "tests/emulator/BuilderTestSupport.h"
#include "tests/reader/SectorreaderTestSupport.h"

namespace {

using reader_test::BaseSetting;
using reader_test::FailedUpToFlaky;
using reader_test::FrameRange;
using reader_test::Image;
using reader_test::ReaderRig;

// The reader on the rig's drive with its page set, the disc ending at `discEnd`.
void StartReader(TSectorReader& reader, ReaderRig& rig, const TDriveSetting& setting, int64_t discEnd) {
  DiscEndAddress = discEnd;
  reader.SetDrive(rig.Cdrom(), setting);
  reader.Prepare();
}

class SectorReaderDisc : public ::testing::Test {
 protected:
  void SetUp() override {
    QNL_REQUIRE_TOOL("genisoimage");
    Iso = buildertest::MakeIso(Dir, "genisoimage", "volume", 11);
    ASSERT_FALSE(Iso.empty());
    Spec.Sessions.push_back({{emu::TrackSpec{emu::SectorKind::Mode1, Iso}}});
  }
  // Builds the set, loads it and reads every sector of the track through the reader.
  void BuildAndRead(const TDriveSetting& setting) {
    std::string error;
    emu::DiscLayout layout;
    ASSERT_TRUE(emu::BuildImageSet(Spec, Dir / "disc", true, error, &layout)) << error;
    buildertest::LoadedDrive loaded = buildertest::Load(Dir / "disc.ccd");
    ASSERT_TRUE(loaded.Disc);
    Disc = loaded.Disc;
    TrackEnd = 150 + layout.Tracks[0].EndLba;
    ReaderRig rig(Disc);
    DiscEndAddress = 150 + Disc->TocLeadOutLba();
    DiscEnd = DiscEndAddress;
    TSectorReader reader;
    reader.SetDrive(rig.Cdrom(), setting);
    reader.Prepare();
    Good.clear();
    Failed.clear();
    for (int64_t a = 150; a < TrackEnd; ++a) {
      std::array<uint8_t, 2352> buffer{};
      uint8_t type = 0;
      if (reader.ReadSector(a, dtMode1, type, buffer.data())) {
        EXPECT_EQ(type, dtMode1) << a;
        const auto image = Image(*Disc, a);
        if (setting.DataReadCmd == 2 || a >= DiscEndAddress)
          EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), image.begin())) << "frame " << a;
        else
          EXPECT_TRUE(std::equal(buffer.begin() + 16, buffer.begin() + 2064, image.begin() + 16)) << "frame " << a;
        Good.insert(a);
      } else {
        EXPECT_EQ(type, 0);
        Failed.insert(a);
      }
    }
    reader.Release();
    if (Inspect) Inspect(rig);
  }
  void Damage() {
    emu::FaultSet& f = Spec.Faults;
    f.Unreadable.push_back({40, 43});       // frames 190..192
    f.Unreadable.push_back({100, 101});     // frame 250
    f.Retry.push_back({60, 62, 2});         // frames 210, 211: enough with 3 retries
    f.Retry.push_back({70, 71, 9});         // frame 220: never with 3 retries
    f.Bytes.push_back({80, 300, 0x44, false});  // frame 230: the drive corrects it
    f.Bytes.push_back({85, 1000, 0x21, true});  // frame 235: one byte past the drive
    for (uint16_t i = 0; i < 400; ++i)          // frame 240: past any correction
      f.Bytes.push_back({90, static_cast<uint16_t>(100 + i), 0x77, true});
  }
  std::set<int64_t> Frames(std::initializer_list<int64_t> frames) { return std::set<int64_t>(frames); }

  test_support::TempDir Dir;
  std::filesystem::path Iso;
  emu::DiscSpec Spec;
  std::shared_ptr<emu::Disc> Disc;
  int64_t TrackEnd = 0;
  int64_t DiscEnd = 0;
  std::set<int64_t> Good, Failed;
  std::function<void(ReaderRig&)> Inspect;  // sees the drive and the clock once the reader let go
};

TDriveSetting WithRetries(uint32_t command) {
  TDriveSetting s = BaseSetting();
  s.DataReadCmd = command;
  s.RetryCountEnabled = 1;
  s.RetryCount = 3;
  s.SoftEccRetryCount = 1;
  return s;
}

TEST_F(SectorReaderDisc, CookedReadsGiveTheRecordedDataAndFailTheRest) {
  Damage();
  BuildAndRead(WithRetries(0));
  EXPECT_GT(TrackEnd, 300);
  EXPECT_TRUE(FailedUpToFlaky(Failed, Frames({190, 191, 192, 220, 235, 240, 250})));
}

// Frame 235 reaches the reader either from a drive that hands raw sectors over
// uncorrected or as the block a drive that could not correct it sends under transfer
// block (a strict drive drops that bit).
TEST_F(SectorReaderDisc, RawReadsAreRepairedByOnePassOfSoftEcc) {
  for (const bool transferBlock : {false, true}) {
    SCOPED_TRACE(transferBlock ? "transfer block" : "uncorrected raw reads");
    Damage();
    Spec.Profile.RawUncorrectable = transferBlock;
    TDriveSetting s = WithRetries(2);
    s.TransferBlock = transferBlock;
    BuildAndRead(s);
    const bool reaches = !(transferBlock && test_support::StrictDrives());
    std::set<int64_t> lost = Frames({190, 191, 192, 220, 240, 250});
    if (!reaches) lost.insert(235);
    EXPECT_TRUE(FailedUpToFlaky(Failed, lost));
    EXPECT_EQ(Good.count(235), reaches ? 1u : 0u);
    Spec.Faults = {};
    Good.clear();
    Failed.clear();
  }
}

// A drive that mis-seeks returns a whole, sound neighbour with GOOD status: raw reads
// see the other address in its header, so none of those sectors is good.
TEST_F(SectorReaderDisc, RawReadsRefuseTheNeighbourAMisSeekingDriveReturns) {
  Spec.Faults.Neighbour = {{50, 53, 1}, {120, 121, -1}};  // frames 200..202, 270
  BuildAndRead(WithRetries(2));
  EXPECT_TRUE(FailedUpToFlaky(Failed, Frames({200, 201, 202, 270})));
  EXPECT_TRUE(Good.count(199) && Good.count(203) && Good.count(269) && Good.count(271));
}

// Drives end a read that fails part-way in their own ways: the blocks before the failing
// one sent, not sent or garbage, the sense naming the failing block, the first one or
// none, the residual told or not. No way may pass off a block as good or lose one.
TEST_F(SectorReaderDisc, FailedBatchesEndedAsRealDrivesEndThemLoseNothingAndPassNothingOff) {
  struct Habit {
    emu::PartialBlocks Blocks;
    emu::PartialInfo Info;
    emu::PartialResidual Residual;
    uint32_t Command;
    bool SoftEcc;
  };
  const std::vector<Habit> habits = {
      {emu::PartialBlocks::Garbage, emu::PartialInfo::Failing, emu::PartialResidual::Zero, 0, true},
      {emu::PartialBlocks::Missing, emu::PartialInfo::Failing, emu::PartialResidual::Exact, 1, true},
      {emu::PartialBlocks::Garbage, emu::PartialInfo::First, emu::PartialResidual::Zero, 1, true},
      {emu::PartialBlocks::Exact, emu::PartialInfo::None, emu::PartialResidual::Zero, 0, true},
      {emu::PartialBlocks::Garbage, emu::PartialInfo::Failing, emu::PartialResidual::Zero, 2, false},
      {emu::PartialBlocks::Missing, emu::PartialInfo::Failing, emu::PartialResidual::Zero, 2, true},
  };
  for (const Habit& h : habits) {
    SCOPED_TRACE(static_cast<int>(h.Blocks) * 100 + static_cast<int>(h.Info) * 10 + static_cast<int>(h.Command));
    Spec.Faults.Unreadable = {{40, 43}, {100, 101}};
    Spec.Profile.Partial = h.Blocks;
    Spec.Profile.Info = h.Info;
    Spec.Profile.Residual = h.Residual;
    TDriveSetting s = BaseSetting();
    s.DataReadCmd = h.Command;
    s.SoftEccEnabled = h.SoftEcc;
    BuildAndRead(s);  // every sector called good is compared with the image
    EXPECT_TRUE(FailedUpToFlaky(Failed, Frames({190, 191, 192, 250})));
    EXPECT_EQ(Good.size() + Failed.size(), static_cast<size_t>(TrackEnd - 150));
  }
}

// Unreadable sectors that fail slowly inside the drive, against the reader's 30 s
// time-out. Twenty failures of 8 s: first each failing read stays under it, then the
// retries the page asks for push each past it, so that every one is a time-out and a
// drive reset. One sector failing after 40 s inside a read of 2,000: its time-out is
// paid by the batch that first meets it and by its own read, never by each later batch
// that would cover it. The rescue ends either way, with the failed sectors counted and
// the drive's page restored.
TEST_F(SectorReaderDisc, SlowUnreadableSectorsEndTheRescueWithTheDriveRestored) {
  struct Row {
    int32_t First, End;  // the unreadable LBAs
    uint32_t FailMs, RetryMs;
    size_t Bulk;          // bytes more on the disc
    size_t MostTimeouts;  // in the whole rescue
  };
  const Row rows[] = {{40, 60, 8000, 0, 0, 0}, {40, 60, 8000, 5000, 0, 20 + 2}, {1507, 1508, 40000, 0, 2000 * 2048, 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.RetryMs + row.FailMs);
    if (row.Bulk > 0) Spec.Sessions[0].Tracks[0].File = buildertest::MakeIso(Dir, "genisoimage", "bulk", 11, row.Bulk);
    Spec.Faults.Unreadable = {{row.First, row.End}};
    Spec.Profile.FailTimeMs = row.FailMs;
    Spec.Profile.RetryTimeMs = row.RetryMs;
    TDriveSetting s = BaseSetting();
    s.RetryCountEnabled = 1;
    s.RetryCount = 5;
    size_t failedReads = 0, timeouts = 0, reads = 0;
    Inspect = [&](ReaderRig& rig) {
      const auto log = rig.Drive().Log();
      bool resetSeen = false;
      for (const emu::CommandLogEntry& e : log) {
        if (e.Cdb[0] == 0x55 && e.Result.Good()) resetSeen = false;
        if (e.Cdb[0] != 0xBE) continue;
        ++reads;
        // No read is answered between a reset and the page written again.
        EXPECT_FALSE(resetSeen && e.Result.Good()) << "a read ran on the reset drive's defaults";
        if (e.Result.TransportError) {
          ++timeouts;
          resetSeen = true;
        } else if (e.Result.SenseKey() == 0x03) {
          ++failedReads;
        }
      }
      EXPECT_EQ(rig.Drive().CurrentPage01(), rig.Drive().DefaultPage01());
      const uint32_t failMs = row.FailMs + row.RetryMs * s.RetryCount;
      EXPECT_EQ(rig.Clock().Slept(), reads * s.Interval + failedReads * failMs + timeouts * kReadTimeoutMs);
    };
    BuildAndRead(s);
    const std::set<int64_t> unreadable = FrameRange(150 + row.First, 150 + row.End);
    EXPECT_TRUE(FailedUpToFlaky(Failed, unreadable));
    EXPECT_GE(TrackEnd - 150, row.Bulk / 2048);
    EXPECT_EQ(Good.size(), static_cast<size_t>(TrackEnd - 150) - unreadable.size() - reader_test::FlakyAmong(Failed));
    EXPECT_EQ(timeouts == 0, row.FailMs + row.RetryMs * s.RetryCount < kReadTimeoutMs);
    // On the strict test drive a flaky sector fails as slowly, at most once in a batch and once alone.
    EXPECT_LE(timeouts, row.MostTimeouts + 2 * reader_test::FlakyAmong(FrameRange(150, TrackEnd)));
    EXPECT_GE(failedReads + timeouts, unreadable.size());
    Spec.Faults = {};
  }
}

// A second session the TOC lost, read through the gap before it (lead-out and lead-in,
// each frame failing only after 2 s): the gap costs one read a frame, not every retry
// the reader has for a frame beyond the disc end, and the session is read whole, to the
// last data sector before the audio track that follows. Read as audio (the default), on
// a drive that answers such reads scrambled as on one that refuses audio-type reads of
// data sectors (05/64/00) and answers with the data: the refusal is asked once, and the
// session then read as with that box unticked.
TEST_F(SectorReaderDisc, ASlowGapBeforeALostSessionCostsOneReadAFrame) {
  QNL_REQUIRE_TOOL("sox");
  const auto wav = buildertest::MakeWav(Dir, "after.wav", 1.0);
  ASSERT_FALSE(wav.empty());
  Spec.Sessions.push_back({{emu::TrackSpec{emu::SectorKind::Mode1, Iso}, emu::TrackSpec{emu::SectorKind::Audio, wav}}});
  Spec.Toc.DroppedSessions = {2};
  Spec.Profile.GapTimeMs = 2000;
  std::string error;
  emu::DiscLayout layout;
  ASSERT_TRUE(emu::BuildImageSet(Spec, Dir / "disc", true, error, &layout)) << error;
  Disc = buildertest::Load(Dir / "disc.ccd").Disc;
  ASSERT_TRUE(Disc);
  const int64_t leadOut = 150 + Disc->TocLeadOutLba(), end = 150 + layout.Tracks[1].EndLba;
  struct Row {
    uint32_t Command;
    bool AsAudio;
    emu::BeyondLeadOut Beyond;
  };
  const Row rows[] = {{0, false, emu::BeyondLeadOut::Serve},
                      {2, false, emu::BeyondLeadOut::Serve},
                      {0, true, emu::BeyondLeadOut::Serve},
                      {0, true, emu::BeyondLeadOut::Scrambled}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Command * 100 + row.AsAudio * 10 + static_cast<int>(row.Beyond));
    Disc->Faults.Beyond = row.Beyond;
    ReaderRig rig(Disc);
    TDriveSetting s = BaseSetting();
    s.ExtReadCmd = row.Command;
    s.ExtReadAsAudio = row.AsAudio;
    TSectorReader reader;
    StartReader(reader, rig, s, leadOut);
    size_t good = 0;
    std::set<int64_t> gap, failedSet;
    for (int64_t a = leadOut; a < end; ++a) {
      std::array<uint8_t, 2352> buffer{};
      uint8_t type = 0;
      if (!Disc->KindAt(static_cast<int32_t>(a - 150))) gap.insert(a);
      if (!reader.ReadSector(a, dtMode1, type, buffer.data())) {
        failedSet.insert(a);
        continue;
      }
      ++good;
      const auto image = Image(*Disc, a);
      EXPECT_TRUE(std::equal(buffer.begin() + 16, buffer.begin() + 2064, image.begin() + 16)) << a;
    }
    reader.Release();
    EXPECT_TRUE(FailedUpToFlaky(failedSet, gap));
    EXPECT_EQ(gap.size(), static_cast<size_t>(emu::kFirstLeadOutFrames + emu::kLeadInFrames));
    const size_t failed = failedSet.size(), flaky = failed - gap.size();
    EXPECT_EQ(good, static_cast<size_t>(end - leadOut) - failed);
    const size_t reads = rig.Reads().size();
    // One read a frame (a cooked read vouches for its first sector only), and the retries
    // at the edges of the gap. A flaky sector that fails costs its own retries and fails
    // each batch that meets it: those are read again without it.
    EXPECT_LE(reads, failed + good + 4 * kBeyondAttempts + flaky * (2 * kBeyondAttempts + s.ExtReadAtOnce));
    EXPECT_LT(rig.Clock().Slept(), (failed + kBeyondAttempts) * 2000 + reads * s.Interval);
    // Audio-type reads (READ CD of the CD-DA type): the one that asks whether the drive
    // refuses them for data sectors, only where it answered an audio-view read with data.
    const auto log = rig.Drive().Log();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const emu::CommandLogEntry& e) { return e.Cdb[0] == 0xBE && (e.Cdb[1] & 0x1C) == 0x04; }),
              row.AsAudio && row.Beyond == emu::BeyondLeadOut::Serve ? 1 : 0);
  }
}

TEST_F(SectorReaderDisc, TheTailBeyondAShortenedTocIsReadUnderEveryDriveHabit) {
  // Sectors no answer of the drive holds whole are given up on; all others are found.
  // Drifting late, the first frames past the lead-out are skipped and the last ones
  // lie past the drive's end (found only where a batch that started earlier ends on
  // them); drifting early, the last ones would have to be asked past it; shifted by
  // bytes, the first one is cut and the last one runs out.
  struct Habit {
    emu::BeyondLeadOut Beyond;
    int32_t Amount;
    uint32_t Command;
    bool AsAudio;
    std::vector<int64_t> LostAfterLeadOut, LostBeforeEnd;
  };
  const std::vector<Habit> habits = {
      {emu::BeyondLeadOut::Drift, 4, 2, false, {0, 1, 2, 3}, {4, 3, 2, 1}},
      {emu::BeyondLeadOut::Drift, -3, 2, false, {}, {3, 2, 1}},
      {emu::BeyondLeadOut::Scrambled, 0, 0, true, {}, {}},
      {emu::BeyondLeadOut::Scrambled, 0, 3, true, {}, {}},
      {emu::BeyondLeadOut::ByteOffset, 1176, 2, true, {0}, {1}},
  };
  for (const Habit& h : habits) {
    SCOPED_TRACE(static_cast<int>(h.Beyond) * 1000 + h.Amount);
    emu::DiscLayout layout;
    std::string error;
    ASSERT_TRUE(emu::PlanDisc(Spec, layout, error)) << error;
    const int32_t end = layout.Tracks[0].EndLba;
    Spec.Toc.MovedLeadOuts = {{1, end - 40}};  // the TOC loses the last 40 sectors
    Spec.Faults = {};
    Spec.Faults.Beyond = h.Beyond;
    Spec.Faults.BeyondAmount = h.Amount;
    Spec.Faults.Bytes.push_back({end - 20, 800, 0x08, true});  // one byte, repaired by soft ECC
    Spec.Profile.RawUncorrectable = false;                       // of a raw read the drive lets through
    TDriveSetting s = BaseSetting();
    s.ExtReadCmd = h.Command;
    s.ExtReadAsAudio = h.AsAudio;
    BuildAndRead(s);
    EXPECT_EQ(DiscEnd, 150 + end - 40);
    std::set<int64_t> lost;
    for (int64_t i : h.LostAfterLeadOut) lost.insert(DiscEnd + i);
    std::set<int64_t> mayBeLost;
    for (int64_t i : h.LostBeforeEnd) (h.Amount > 0 ? mayBeLost : lost).insert(TrackEnd - i);
    // Where the system refuses READ CDDA, each sector asked with it is counted as failed.
    const bool refused = h.Command == 3 && test_support::VendorCommandsFiltered();
    if (refused) lost = FrameRange(DiscEnd, TrackEnd);
    std::set<int64_t> others = Failed;
    for (int64_t frame : mayBeLost) others.erase(frame);
    EXPECT_TRUE(FailedUpToFlaky(others, lost));
    EXPECT_NE(Good.count(150 + end - 20), refused);
  }
}

}  // namespace

namespace {

// A mixed disc from real inputs: an ISO 9660 data track, then two audio tracks (the
// first behind its 2-second pregap), with damage where discs get it. Each of the four
// data-area strategies reads every sector in order as its own type, then every sector
// as Mode 1 and as audio, so that batches run across the change of track type and
// cached sectors are asked again under another type. No sector reported good may
// differ from what the disc holds.
class SectorReaderMixedDisc : public ::testing::Test {
 protected:
  void Build(const std::function<void(emu::DiscSpec&)>& faults) {
    const auto iso = buildertest::MakeIso(Dir, "genisoimage", "mixed", 5);
    const auto first = buildertest::MakeWav(Dir, "first.wav", 1.0);
    const auto second = buildertest::MakeWav(Dir, "second.wav", 0.5);
    ASSERT_FALSE(iso.empty() || first.empty() || second.empty());
    emu::DiscSpec spec;
    spec.Sessions.push_back({{emu::TrackSpec{emu::SectorKind::Mode1, iso}, emu::TrackSpec{emu::SectorKind::Audio, first},
                              emu::TrackSpec{emu::SectorKind::Audio, second}}});
    faults(spec);
    std::string error;
    ASSERT_TRUE(emu::BuildImageSet(spec, Dir / "disc", true, error, &Layout)) << error;
    Disc = buildertest::Load(Dir / "disc.ccd").Disc;
    ASSERT_TRUE(Disc);
  }
  uint8_t TypeAt(int64_t frame) const {
    return frame < 150 + Layout.Tracks[0].EndLba ? dtMode1 : dtAudio;
  }
  // Reads [first, end) as `asked` (0: each sector's own type) into Failed; the count of
  // good sectors.
  int64_t ReadAll(TSectorReader& reader, uint32_t command, int64_t first, int64_t end, uint8_t asked) {
    int64_t good = 0;
    Failed.clear();
    for (int64_t a = first; a < end; ++a) {
      std::array<uint8_t, 2352> buffer{};
      uint8_t type = 0;
      const uint8_t request = asked ? asked : TypeAt(a);
      if (!reader.ReadSector(a, request, type, buffer.data())) {
        Failed.insert(a);
        continue;
      }
      ++good;
      uint32_t size = 2352, offset = 0;
      if (command < 2) GetUserDataLayout(type, &size, &offset);
      const auto image = Image(*Disc, a);
      EXPECT_TRUE(std::equal(buffer.begin() + offset, buffer.begin() + offset + size, image.begin() + offset))
          << "command " << command << ", frame " << a << " asked as " << int(request) << ", reported " << int(type);
    }
    return good;
  }

  test_support::TempDir Dir;
  emu::DiscLayout Layout;
  std::shared_ptr<emu::Disc> Disc;
  std::set<int64_t> Failed;
};

TEST_F(SectorReaderMixedDisc, NoStrategyReportsAGoodSectorThatDiffersFromTheDisc) {
  QNL_REQUIRE_TOOL("genisoimage");
  QNL_REQUIRE_TOOL("sox");
  Build([](emu::DiscSpec& spec) {
    spec.Faults.Unreadable.push_back({20, 23});
    spec.Faults.Bytes.push_back({30, 700, 0x11, true});
    // Mode bytes read 02: under that header the first user bytes (a descriptor's, a
    // file's) make a formless Mode 2 sector, which carries no EDC. Soft ECC mends the
    // sectors with that byte alone wrong; the others have lost user data too.
    for (const int32_t lba : {16, 17, 125, 126}) spec.Faults.Bytes.push_back({lba, 15, 0x03, true});
    for (uint16_t i = 0; i < 300; ++i)
      for (const int32_t lba : {17, 126}) spec.Faults.Bytes.push_back({lba, static_cast<uint16_t>(40 + i), 0x5A, true});
  });
  const int64_t end = 150 + Layout.Tracks.back().EndLba, dataEnd = 150 + Layout.Tracks[0].EndLba;
  // Reads every sector as its own type, then as Mode 1 and as audio; only the damaged
  // sectors and `mayFail` may fail. Where the system refuses READ CDDA, all of them fail.
  const auto readAll = [&](uint32_t command, const TDriveSetting& s, int64_t discEnd, std::set<int64_t> mayFail) {
    ReaderRig rig(Disc);
    TSectorReader reader;
    StartReader(reader, rig, s, discEnd);
    ReadAll(reader, command, 150, end, 0);
    mayFail.merge(std::set<int64_t>{166, 167, 170, 171, 172, 180, 275, 276});
    const bool refused = command == 3 && test_support::VendorCommandsFiltered();
    if (refused) mayFail = FrameRange(150, end);
    EXPECT_TRUE(FailedUpToFlaky(Failed, mayFail, /*mustFail=*/refused));
    EXPECT_EQ(reader.ReadRefused(), refused);
    EXPECT_TRUE(Failed.count(167) && Failed.count(276));
    for (const int64_t mended : {166, 275}) EXPECT_EQ(Failed.count(mended), command == 3 ? refused : 1u) << mended;
    ReadAll(reader, command, 150, end, dtMode1);
    ReadAll(reader, command, 150, end, dtAudio);
    reader.Release();
  };
  // Before the disc end: the audio carries no sync for the audio-view strategy to find.
  for (uint32_t command = 0; command < 4; ++command) {
    SCOPED_TRACE(command);
    TDriveSetting s = BaseSetting();
    s.DataReadCmd = command;
    readAll(command, s, end, command == 3 ? FrameRange(dataEnd, end) : std::set<int64_t>{});
  }
  // Beyond a disc end inside the data track, each command read as audio and not: every
  // data sector after it reads but the damaged ones; the audio may fail.
  for (uint32_t command = 0; command < 4; ++command)
    for (const bool asAudio : {false, true}) {
      SCOPED_TRACE(command * 10 + asAudio);
      TDriveSetting s = BaseSetting();
      s.DataReadCmd = s.ExtReadCmd = command;
      s.ExtReadAsAudio = asAudio;
      readAll(command, s, 150 + 120, FrameRange(dataEnd, end));
    }
}

// ASPI tells no residual: only the zeroed tail of the transfer shows that a cooked batch
// ran into the audio tracks, whose sectors come at their own, larger size.
TEST_F(SectorReaderMixedDisc, CookedBatchesOverAspiStopWhereTheAudioBegins) {
  QNL_REQUIRE_TOOL("genisoimage");
  QNL_REQUIRE_TOOL("sox");
  Build([](emu::DiscSpec&) {});
  const int64_t end = 150 + Layout.Tracks.back().EndLba;
  const int64_t soundEnd = 150 + Layout.Tracks[1].EndLba;
  for (uint32_t command : {0u, 1u}) {
    ReaderRig rig(Disc);
    DiscEndAddress = end;
    TDriveSetting s = BaseSetting();
    s.UseSpti = 0;
    s.DataReadCmd = command;
    TKrCdRoms drives;  // ASPI speaks to the drive by its address, not its letter
    ASSERT_EQ(drives.Enumerate(/*both transports*/ 3, false), 1u);
    TSectorReader reader;
    reader.SetDrive(*drives.GetCdRom(0), s);
    reader.Prepare();
    ReadAll(reader, command, 150, end, 0);
    EXPECT_TRUE(FailedUpToFlaky(Failed, {})) << "command " << command;
    // Asked as Mode 1, an audio sector passes a user-data read only as silence (the
    // pregap; the last track, padded with silence, is left out); a typed read refuses it.
    const int64_t passed = command == 0 ? Layout.Tracks[1].StartLba : Layout.Tracks[0].EndLba;
    ReadAll(reader, command, 150, soundEnd, dtMode1);
    EXPECT_TRUE(FailedUpToFlaky(Failed, FrameRange(150 + passed, soundEnd))) << "command " << command;
    reader.Release();
  }
}

// A drive that drifts returns whole, sound sectors of another address; raw reads see
// it in the header.
TEST_F(SectorReaderMixedDisc, RawReadsOfADriftingDriveAreNeverGood) {
  QNL_REQUIRE_TOOL("genisoimage");
  QNL_REQUIRE_TOOL("sox");
  Build([](emu::DiscSpec& spec) {
    spec.Faults.Beyond = emu::BeyondLeadOut::Drift;
    spec.Faults.BeyondFromLba = 40;
    spec.Faults.BeyondAmount = 3;
  });
  const int64_t dataEnd = 150 + Layout.Tracks[0].EndLba;
  for (uint32_t command : {2u, 3u}) {
    ReaderRig rig(Disc);
    DiscEndAddress = 150 + Layout.Tracks.back().EndLba;
    TDriveSetting s = BaseSetting();
    s.DataReadCmd = command;
    TSectorReader reader;
    reader.SetDrive(rig.Cdrom(), s);
    reader.Prepare();
    ReadAll(reader, command, 150, dataEnd, dtMode1);
    // Raw reads stop where the drift starts; audio-view reads find each sector by its
    // header wherever the drive put it, all but the drift's width where it starts (no
    // read lands on those). Where the system refuses READ CDDA, each sector asked with it fails.
    const bool refused = command == 3 && test_support::VendorCommandsFiltered();
    const std::set<int64_t> lost = command == 2 ? FrameRange(190, dataEnd)
                                   : refused    ? FrameRange(150, dataEnd)
                                                : FrameRange(190, 193);
    EXPECT_TRUE(FailedUpToFlaky(Failed, lost)) << "command " << command;
    reader.Release();
  }
}

}  // namespace
