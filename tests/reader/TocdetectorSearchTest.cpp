// The Q-subchannel searches, end to end on discs made with the disc builder: a TOC that
// lost a session, an unreadable TOC, short tracks, damaged Q frames, the end of the
// range, and Cancel.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/reader/TocdetectorTestSupport.h"

namespace {

using emu::SectorKind;
using toctest::BuildDisc;
using toctest::ExpectSameLayout;
using toctest::Rig;
using toctest::TempDir;
using toctest::TrackInput;
using toctest::TrueTracks;

struct SearchKind {
  bool Fast;
  uint32_t SubChCmd;
};

std::string Name(const testing::TestParamInfo<SearchKind>& info) {
  return std::string(info.param.Fast ? "Fast" : "Linear") + (info.param.SubChCmd == 1 ? "ReadCdda" : "ReadCd");
}

class TocdetectorSearch : public testing::TestWithParam<SearchKind> {
 protected:
  void Configure(Rig& rig) {
    rig.Setting.SubChCmd = GetParam().SubChCmd;
    rig.Apply();
    rig.Detector.Options.FastSearch = GetParam().Fast;
  }
  // The linear search reads every frame: keep its range near the recorded area.
  static int64_t EndNear(const emu::DiscLayout& layout) {
    return LbaToFrames(layout.Sessions.back().LeadOutLba) + 600;
  }
};

INSTANTIATE_TEST_SUITE_P(Kinds, TocdetectorSearch,
                         testing::Values(SearchKind{true, 0}, SearchKind{false, 0}, SearchKind{true, 1},
                                         SearchKind{false, 1}),
                         Name);

// Damage a disc may carry: Q frames, and faults of the drive that reads it.
struct QDamageCase {
  const char* Name;
  std::vector<emu::QDamage> Damage;
  emu::FaultSet Faults{};
};

emu::QDamage ZeroQ(int32_t firstLba, int32_t count) {
  return {firstLba, firstLba + count, emu::QDamageKind::Zero};
}

emu::QDamage GarbleQ(int32_t firstLba, int32_t count) {
  return {firstLba, firstLba + count, emu::QDamageKind::BadCrc};
}

emu::FaultSet Unreadable(int32_t lba) {
  emu::FaultSet f;
  f.Unreadable.push_back({lba, lba + 1});
  return f;
}

// Beyond the TOC's lead-out every read lands `frames` further on, Q and all.
emu::FaultSet Drifting(int32_t frames) {
  emu::FaultSet f;
  f.Beyond = emu::BeyondLeadOut::Drift;
  f.BeyondAmount = frames;
  return f;
}

// The lost data track is classified through the sector reader with its default reading
// beyond the lead-out (user data read as audio), on a drive that refuses audio-type reads
// of data sectors (05/64/00) and answers with the data.
TEST_P(TocdetectorSearch, FindsTheSessionATocLostBeyondItsLeadOut) {
  // Session 2's ISO track (frames 16700..17900) and the 13 seconds of track 4 after its
  // pregap lie between the minute samples at 3:00 (in the lead-in), 4:00 (in track 4's
  // pregap) and 5:00 (in track 5).
  constexpr int32_t kIsoEnd = 17900 - 150;  // LBA of track 4's pregap
  const QDamageCase cases[] = {
      {"none", {}},
      {"the last frame of the ISO track", {ZeroQ(kIsoEnd - 1, 1)}},
      {"garbage on the last frame of the ISO track", {GarbleQ(kIsoEnd - 1, 1)}},
      {"an unreadable last sector of the ISO track", {}, Unreadable(kIsoEnd - 1)},
      {"a drive that drifts three frames", {}, Drifting(3)},
      {"a second of damage over the sample at 5:00", {ZeroQ(22500 - 150 - 30, 75)}},
      {"a second of garbage inside the ISO track", {GarbleQ(kIsoEnd - 600, 75)}},
  };
  for (const QDamageCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir dir;
    auto disc = BuildDisc(dir,
                          {{{SectorKind::Mode1, 3000, false, true}, {SectorKind::Audio, 2000}},
                           {{SectorKind::Mode1, 1200, false, true}, {SectorKind::Audio, 1000}, {SectorKind::Audio, 6000}}},
                          [&](emu::DiscSpec& spec) {
                            spec.Toc.DroppedSessions.push_back(2);
                            spec.Profile.ScrambleAudioReads = false;
                            spec.QDamages = c.Damage;
                            spec.Faults = c.Faults;
                          });
    ASSERT_TRUE(disc.Drive);
    ASSERT_EQ(disc.Layout.Tracks[3].StartLba, kIsoEnd + 150);
    Rig rig(disc.Drive);
    rig.Setting.ExtReadCmd = 0;
    rig.Setting.ExtReadAsAudio = 1;
    Configure(rig);
    rig.Detector.Options.Leadout = true;
    if (!GetParam().Fast) rig.Detector.Options.LastAddress = EndNear(disc.Layout);
    if (toctest::RefusedSearchChecked(rig, 2)) return;

    rig.Detector.Detect();
    auto expected = TrueTracks(disc.Layout);
    for (size_t i = 2; i < expected.size(); ++i) expected[i].SessionNo = 0;  // found by the search
    ExpectSameLayout(rig.Tracks, expected);
    if (rig.Tracks.size() != expected.size()) continue;
    EXPECT_EQ(DiscEndAddress, LbaToFrames(disc.Layout.Sessions[0].LeadOutLba));
    EXPECT_EQ(rig.Detector.GetSearchStart(), DiscEndAddress);
    EXPECT_EQ(rig.Tracks[2].DataType, dtMode1);
    EXPECT_EQ(rig.Tracks[2].FileSystem, fsIso9660);
    EXPECT_EQ(rig.Tracks[3].FileSystem, fsCdda);
    EXPECT_EQ(rig.ClosingCodes(), 1u);
    EXPECT_TRUE(rig.PageAtDefault());
  }
}

// A disc shaped like a real one (lead-out, lead-in and the session's first pregap
// recorded) whose TOC lost the second session. Session 1 ends so that the lost ISO track
// starts at frame 19000, between the minute samples at 4:00 and 5:00; the first
// bisection probe between them falls at 4:40 (21000), inside that track.
class TocdetectorLostSession : public TocdetectorSearch {
 protected:
  static constexpr int32_t kLostHead = 19000 - 150;  // LBA of track 3's index 1
  static constexpr int32_t kAudioHead = kLostHead + 6000 + 150;  // after its pregap
};

TEST_P(TocdetectorLostSession, ListsTheLostTracksFromIndexOneWhateverQFramesAreDamaged) {
  const QDamageCase cases[] = {
      {"none", {}},
      {"first frame of the lost track", {ZeroQ(kLostHead, 1)}},
      {"first frame of the next track", {ZeroQ(kAudioHead, 1)}},
      {"three around a minute sample", {ZeroQ(22500 - 151, 3)}},
      {"three at the first bisection probe", {ZeroQ(21000 - 151, 3)}},
      {"garbage at a probe", {GarbleQ(21000 - 150, 1)}},
      {"a scratch at the probe between two tracks", {ZeroQ(25500 - 150 - 10, 20)}},
      {"a second of damage over the sample at 5:00", {ZeroQ(22500 - 150 - 30, 75)}},
  };
  for (const QDamageCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir dir;
    auto disc = BuildDisc(dir,
                          {{{SectorKind::Mode1, 3000, false, true}, {SectorKind::Audio, 4300}},
                           {{SectorKind::Mode1, 6000, false, true}, {SectorKind::Audio, 3000}}},
                          [&](emu::DiscSpec& spec) {
                            spec.Toc.DroppedSessions.push_back(2);
                            spec.QDamages = c.Damage;
                            spec.Faults = c.Faults;
                          });
    ASSERT_TRUE(disc.Drive);
    ASSERT_EQ(disc.Layout.Tracks[2].StartLba, kLostHead);
    ASSERT_EQ(disc.Layout.Tracks[3].StartLba, kAudioHead);
    Rig rig(disc.Drive);
    Configure(rig);
    rig.Detector.Options.Leadout = true;
    if (!GetParam().Fast) rig.Detector.Options.LastAddress = EndNear(disc.Layout);
    if (toctest::RefusedSearchChecked(rig, 2)) continue;

    ASSERT_EQ(rig.Detector.Detect(), 4u) << toctest::Describe(rig.Tracks);
    auto expected = TrueTracks(disc.Layout);
    for (size_t i = 2; i < expected.size(); ++i) expected[i].SessionNo = 0;
    ExpectSameLayout(rig.Tracks, expected);
    EXPECT_EQ(rig.Tracks[2].DataType, dtMode1);
    EXPECT_EQ(rig.Tracks[2].FileSystem, fsIso9660);
    EXPECT_EQ(rig.Tracks[3].FileSystem, fsCdda);
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, TocdetectorLostSession,
                         testing::Values(SearchKind{true, 0}, SearchKind{false, 0}, SearchKind{true, 1},
                                         SearchKind{false, 1}),
                         Name);

// A small added session falls between the fast search's minute samples; the linear
// search walks through the full lead-out and the next lead-in and lists it.
TEST(TocdetectorLinearSearch, ListsALostTwentySecondSessionAfterALeadOutAndLeadIn) {
  for (const uint32_t subChCmd : {0u, 1u}) {
    SCOPED_TRACE(subChCmd);
    TempDir dir;
    auto disc = BuildDisc(dir, {{{SectorKind::Mode1, 3000, false, true}}, {{SectorKind::Mode1, 1500, false, true}}},
                          [](emu::DiscSpec& spec) { spec.Toc.DroppedSessions.push_back(2); });
    ASSERT_TRUE(disc.Drive);
    Rig rig(disc.Drive);
    rig.Setting.SubChCmd = subChCmd;
    rig.Apply();
    rig.Detector.Options.FastSearch = false;
    rig.Detector.Options.Manual = true;  // the whole disc from its first track on
    rig.Detector.Options.Leadout = true;
    rig.Detector.Options.LastAddress = LbaToFrames(disc.Layout.Sessions.back().LeadOutLba) + 600;
    if (toctest::RefusedSearchChecked(rig, 0)) continue;

    ASSERT_EQ(rig.Detector.Detect(), 2u) << toctest::Describe(rig.Tracks);
    ExpectSameLayout(rig.Tracks, TrueTracks(disc.Layout, 0));
    EXPECT_EQ(rig.Tracks[1].FileSystem, fsIso9660);
  }
}

TEST_P(TocdetectorSearch, FindsEveryTrackOfADiscWhoseTocCannotBeRead) {
  TempDir dir;
  // The second track (2000 frames) lies wholly between the samples at 1:00 and 2:00.
  auto disc = BuildDisc(dir,
                        {{{SectorKind::Mode1, 5000, false, true},
                          {SectorKind::Audio, 2000},
                          {SectorKind::Audio, 6000},
                          {SectorKind::Audio, 3000, true}}},
                        [](emu::DiscSpec& spec) { spec.Faults.Toc = emu::TocFailure::Both; });
  ASSERT_TRUE(disc.Drive);
  Rig rig(disc.Drive);
  Configure(rig);
  rig.Detector.Options.Manual = true;
  rig.Detector.Options.Leadout = true;
  if (!GetParam().Fast) rig.Detector.Options.LastAddress = EndNear(disc.Layout);
  if (toctest::RefusedSearchChecked(rig, 0)) return;

  ASSERT_EQ(rig.Detector.Detect(), 4u) << toctest::Describe(rig.Tracks);
  ExpectSameLayout(rig.Tracks, TrueTracks(disc.Layout, 0));
  EXPECT_EQ(DiscEndAddress, 0);
  const uint8_t types[] = {dtMode1, dtAudio, dtAudio, dtAudio};
  const uint8_t systems[] = {fsIso9660, fsCdda, fsCdda, fsCddaEmph};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(rig.Tracks[i].DataType, types[i]) << i;
    EXPECT_EQ(rig.Tracks[i].FileSystem, systems[i]) << i;
  }
}

TEST_P(TocdetectorSearch, DamagedQFramesNeitherSplitATrackNorMakeOne) {
  TempDir dir;
  auto disc = BuildDisc(dir, {{{SectorKind::Mode1, 6000}, {SectorKind::Audio, 6000}, {SectorKind::Audio, 6000}}},
                        [](emu::DiscSpec& spec) {
                          // Unreadable Q on and around the sample at 1:00.
                          spec.QDamages.push_back({4350, 4353, emu::QDamageKind::Zero});
                          // Garbage in the middle of track 2.
                          spec.QDamages.push_back({7000, 7001, emu::QDamageKind::BadCrc});
                          spec.QDamages.push_back({9000, 9001, emu::QDamageKind::BadCrc});
                          // A pregap frame of track 2 that names track 3 at index 1.
                          spec.QDamages.push_back({6050, 6051, emu::QDamageKind::WrongTrack});
                          // A frame of track 2 near its end, and the sample at 4:00.
                          spec.QDamages.push_back({12100, 12101, emu::QDamageKind::Zero});
                          spec.QDamages.push_back({17850, 17851, emu::QDamageKind::Zero});
                        });
  ASSERT_TRUE(disc.Drive);
  Rig rig(disc.Drive);
  Configure(rig);
  rig.Detector.Options.Manual = true;
  rig.Detector.Options.Leadout = true;
  rig.Detector.Options.LastAddress = EndNear(disc.Layout);
  if (toctest::RefusedSearchChecked(rig, 0)) return;

  ASSERT_EQ(rig.Detector.Detect(), 3u) << toctest::Describe(rig.Tracks);
  ExpectSameLayout(rig.Tracks, TrueTracks(disc.Layout, 0));
}

TEST_P(TocdetectorSearch, ASessionEndingOnAWholeMinuteGetsNoOneFrameTrack) {
  TempDir dir;
  // 2000 + 150 (pregap) + 2200 sectors: the lead-out starts at 1:00:00.
  auto disc = BuildDisc(dir, {{{SectorKind::Mode1, 2000}, {SectorKind::Audio, 2200}}});
  ASSERT_TRUE(disc.Drive);
  ASSERT_EQ(LbaToFrames(disc.Layout.Sessions[0].LeadOutLba), 4500);
  Rig rig(disc.Drive);
  Configure(rig);
  rig.Detector.Options.Manual = true;  // one search a TOC session
  if (toctest::RefusedSearchChecked(rig, 0)) return;

  ASSERT_EQ(rig.Detector.Detect(), 2u) << toctest::Describe(rig.Tracks);
  ExpectSameLayout(rig.Tracks, TrueTracks(disc.Layout));
  EXPECT_EQ(rig.Detector.GetSearchEnd(), 4500);
}

TEST_P(TocdetectorSearch, CancelEndsTheSearchWithOneClosingCodeAndKeepsTheTracksBefore) {
  TempDir dir;
  auto disc = BuildDisc(dir, {{{SectorKind::Mode1, 2000}, {SectorKind::Audio, 2000}},
                              {{SectorKind::Audio, 2000}, {SectorKind::Audio, 2000}}});
  ASSERT_TRUE(disc.Drive);
  Rig rig(disc.Drive);
  Configure(rig);
  rig.Detector.Options.Manual = true;  // one search a session; the loop stops at a cancel
  if (toctest::RefusedSearchChecked(rig, 0)) return;
  // Sent on the worker's thread: the first report of the second search.
  int closed = 0;
  bool pressed = false;
  rig.View.OnDeliver = [&](const TProgressEvent& event) {
    if (IsClosingCode(event.Code)) ++closed;
    else if (closed == 1 && !pressed) pressed = rig.Detector.GetState() == wsRunning && (rig.Detector.Cancel(), true);
  };
  const auto truth = TrueTracks(disc.Layout);

  rig.Detector.Detect();
  EXPECT_EQ(rig.View.GetShowCount(), 2);  // no third search
  ASSERT_GE(rig.Codes.size(), 2u);
  EXPECT_EQ(rig.Codes.back(), pcCancelled);
  EXPECT_EQ(rig.ClosingCodes(), 2u);  // one per search
  EXPECT_EQ(rig.Detector.GetState(), wsIdle);
  EXPECT_TRUE(rig.PageAtDefault());
  // Session 1's tracks stay; session 2 ends without a track of its own.
  ASSERT_GE(rig.Tracks.size(), 2u) << toctest::Describe(rig.Tracks);
  EXPECT_EQ(rig.Tracks[0].Head, truth[0].Head);
  EXPECT_EQ(rig.Tracks[1].Tail, truth[1].Tail);
  for (const TCdTrack& t : rig.Tracks) EXPECT_LT(t.Head, truth[2].Head) << toctest::Describe(rig.Tracks);

  // The detector runs again afterwards.
  rig.View.OnDeliver = nullptr;
  EXPECT_EQ(rig.Detector.Detect(), 4u);
}

// READ CDDA refused by the system (Linux without CAP_SYS_RAWIO): no search by it may end
// "done" with nothing, as if no track were there.
TEST(TocdetectorRefusedSearch, EndsFailedWithTheReasonInsteadOfListingNothing) {
  for (const bool fast : {true, false}) {
    SCOPED_TRACE(fast);
    TempDir dir;
    auto disc = BuildDisc(dir, {{{SectorKind::Mode1, 2000, false, true}}}, [](emu::DiscSpec& spec) {
      spec.Faults.Toc = emu::TocFailure::Both;
      spec.Profile.FilterVendorCommands = true;
    });
    ASSERT_TRUE(disc.Drive);
    Rig rig(disc.Drive);
    rig.Setting.SubChCmd = 1;
    rig.Apply();
    rig.Detector.Options = {.Manual = true, .Leadout = true, .FastSearch = fast, .LastAddress = 3000};
    EXPECT_TRUE(toctest::RefusedSearchChecked(rig, 0));
  }
}

TEST(TocdetectorLinearSearch, StopsAfterMaxLeadoutFramesWithoutQOnceATrackWasSeen) {
  TempDir dir;
  auto disc = BuildDisc(dir, {{{SectorKind::Audio, 500}}});
  ASSERT_TRUE(disc.Drive);
  Rig rig(disc.Drive);
  rig.Detector.Options.MaxLeadout = 300;
  rig.Drive->ClearLog();
  ASSERT_TRUE(rig.Detector.StartLinearSearch(0, 20000, 7));
  ASSERT_EQ(rig.Tracks.size(), 1u);
  EXPECT_EQ(rig.Tracks[0].SessionNo, 7);
  EXPECT_EQ(rig.Tracks[0].Head, 150);
  EXPECT_EQ(rig.Tracks[0].Tail, 650);
  // Frames 0..149 have no Q but come before any track: they do not count.
  const size_t reads = rig.QReadsFrom(0);
  EXPECT_GE(reads, 650u + TTocDetector::kInvalidRunToClose + 300u - 1);
  // Catalogue and ISRC frames (the strict test drive has them) cost a read more each.
  EXPECT_LE(reads, 650u + TTocDetector::kInvalidRunToClose + 300u + 8 + (650u + 300u) / 50);
  EXPECT_EQ(rig.QReadsFrom(2000), 0u);
}

}  // namespace
