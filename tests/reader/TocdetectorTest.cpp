// Detection from the TOC: classification of every track kind, the disc end, the drive's
// error-recovery page, and TOCs that describe impossible ranges.
#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/reader/TocdetectorTestSupport.h"

namespace {

using emu::SectorKind;
using toctest::BuildDisc;
using toctest::Rig;
using toctest::TempDir;
using toctest::TrackInput;
using toctest::TrueTracks;

// Session 1: Mode 1 with a volume mark, audio, audio with pre-emphasis; session 2:
// Form 1 with a volume mark, Form 2, formless with a volume mark (its user data starts
// at byte 16, not 24 as Form 1's).
std::vector<std::vector<TrackInput>> EveryKind() {
  return {{{SectorKind::Mode1, 40, false, true}, {SectorKind::Audio, 30}, {SectorKind::Audio, 30, true}},
          {{SectorKind::Mode2Form1, 40, false, true},
           {SectorKind::Mode2Form2, 30},
           {SectorKind::Mode2Formless, 30, false, true}}};
}

TEST(TocdetectorDetect, ClassifiesEveryTrackKindAndTheVolumeMark) {
  TempDir clean;
  const auto layout = BuildDisc(clean, EveryKind()).Layout;
  // Also with a scratch over the first sector of every data track: the next ones tell.
  for (const bool scratched : {false, true}) {
    SCOPED_TRACE(scratched);
    TempDir dir;
    auto disc = BuildDisc(dir, EveryKind(), [&](emu::DiscSpec& spec) {
      for (const emu::TrackLayout& t : layout.Tracks)
        if (scratched && t.Kind != SectorKind::Audio) spec.Faults.Unreadable.push_back({t.StartLba, t.StartLba + 1});
    });
    ASSERT_TRUE(disc.Drive);
    Rig rig(disc.Drive);

    ASSERT_EQ(rig.Detector.Detect(), 6u);
    toctest::ExpectSameLayout(rig.Tracks, TrueTracks(disc.Layout));
    const uint8_t types[] = {dtMode1, dtAudio, dtAudio, dtMode2Form1, dtMode2Form2, dtMode2Formless};
    const uint8_t systems[] = {fsIso9660, fsCdda, fsCddaEmph, fsIso9660, fsUnknown, fsIso9660};
    for (size_t i = 0; i < rig.Tracks.size(); ++i) {
      EXPECT_EQ(rig.Tracks[i].DataType, types[i]) << i;
      EXPECT_EQ(rig.Tracks[i].FileSystem, systems[i]) << i;
    }
    EXPECT_EQ(DiscEndAddress, LbaToFrames(disc.Layout.Sessions.back().LeadOutLba));
    EXPECT_EQ(rig.View.GetShowCount(), 0);  // no search was asked for
  }
}

TEST(TocdetectorDetect, TellsDataTypesFromScrambledAudioReadsWhenReadCdIsRefused) {
  TempDir dir;
  auto disc = BuildDisc(dir, EveryKind(), [](emu::DiscSpec& spec) {
    // READ CD refused: only READ CDDA, which hands data sectors back scrambled, shows them.
    spec.Faults.Commands.push_back({0xBE, 0, emu::CommandFaultKind::CheckCondition, 0x05, 0x20, 0x00});
  });
  ASSERT_TRUE(disc.Drive);
  Rig rig(disc.Drive);
  const auto truth = TrueTracks(disc.Layout);
  // Where the system filters READ CDDA too, nothing reads them: plain data, not a guess.
  const auto expect = [](uint8_t type) { return test_support::VendorCommandsFiltered() ? uint8_t{dtData} : type; };
  EXPECT_EQ(rig.Detector.DetectDataType(truth[0].Head), expect(dtMode1));
  EXPECT_EQ(rig.Detector.DetectDataType(truth[3].Head), expect(dtMode2Form1));
  EXPECT_EQ(rig.Detector.DetectDataType(truth[4].Head), expect(dtMode2Form2));
}

TEST(TocdetectorDetect, ASectorNoReadShowsWithASyncIsPlainData) {
  TempDir dir;
  auto disc = BuildDisc(dir, EveryKind(), [](emu::DiscSpec& spec) {
    spec.Profile.ReadCddaSupported = false;
    // The raw READ CD fails; the plain one that follows gives user data without sync.
    spec.Faults.Commands.push_back({0xBE, 1, emu::CommandFaultKind::CheckCondition, 0x03, 0x11, 0x00});
  });
  ASSERT_TRUE(disc.Drive);
  Rig rig(disc.Drive);
  const auto truth = TrueTracks(disc.Layout);
  EXPECT_EQ(rig.Detector.DetectDataType(truth[0].Head), dtData);
  // Three ways were tried, each followed by the next (a filtered READ CDDA never reaches
  // the drive).
  int reads = 0;
  for (const auto& entry : rig.Drive->Log())
    if (entry.Cdb[0] == 0xBE || entry.Cdb[0] == 0xD8) ++reads;
  EXPECT_EQ(reads, test_support::VendorCommandsFiltered() ? 2 : 3);
}

TEST(TocdetectorDetect, LeavesTheErrorRecoveryPageAtItsDefault) {
  TempDir dir;
  auto disc = BuildDisc(dir, EveryKind());
  ASSERT_TRUE(disc.Drive);
  Rig rig(disc.Drive);
  ASSERT_EQ(rig.Detector.Detect(), 6u);
  bool selected = false;
  for (const auto& entry : rig.Drive->Log())
    if (entry.Cdb[0] == 0x55 || entry.Cdb[0] == 0x15) selected = true;
  EXPECT_TRUE(selected) << "the page was never changed, so the test shows nothing";
  EXPECT_TRUE(rig.PageAtDefault());
}

// A window that fails while a search runs: Detect throws, the drive is restored.
class ThrowingView : public IProgressView {
 public:
  void SetText(std::string_view) override {}
  void Deliver(TProgressEvent) override {}
  void ShowModalUntilClosed() override { throw std::runtime_error("window failed"); }
};

TEST(TocdetectorDetect, LeavesThePageAtItsDefaultWhenItThrows) {
  TempDir dir;
  auto disc = BuildDisc(dir, EveryKind());
  ASSERT_TRUE(disc.Drive);
  Rig rig(disc.Drive);
  ThrowingView view;
  rig.Detector.SetProgressView(&view);
  rig.Detector.Options.Leadout = true;
  EXPECT_THROW(rig.Detector.Detect(), std::runtime_error);
  EXPECT_TRUE(rig.PageAtDefault());
  EXPECT_EQ(rig.Detector.GetState(), wsIdle);
  EXPECT_EQ(rig.Tracks.size(), 6u);  // the TOC tracks came before the search
}

TEST(TocdetectorDetect, WithoutTocAndWithoutSearchTheListIsEmpty) {
  TempDir dir;
  auto disc = BuildDisc(dir, EveryKind(), [](emu::DiscSpec& spec) { spec.Faults.Toc = emu::TocFailure::Both; });
  ASSERT_TRUE(disc.Drive);
  Rig rig(disc.Drive);
  DiscEndAddress = 1234;
  EXPECT_EQ(rig.Detector.Detect(), 0u);
  EXPECT_EQ(DiscEndAddress, 0);
  EXPECT_EQ(rig.View.GetShowCount(), 0);
}

TEST(TocdetectorDetect, ManualWithLeadoutReadsTheTocButListsOnlyWhatTheSearchFinds) {
  TempDir dir;
  auto disc = BuildDisc(dir, {{{SectorKind::Mode1, 200, false, true}, {SectorKind::Audio, 300}}});
  ASSERT_TRUE(disc.Drive);
  Rig rig(disc.Drive);
  rig.Detector.Options.Manual = true;
  rig.Detector.Options.Leadout = true;
  rig.Detector.Options.LastAddress = 2000;
  ASSERT_EQ(rig.Detector.Detect(), 2u);
  EXPECT_EQ(DiscEndAddress, LbaToFrames(disc.Layout.Sessions[0].LeadOutLba));
  toctest::ExpectSameLayout(rig.Tracks, TrueTracks(disc.Layout, 0));
  EXPECT_EQ(rig.Tracks[0].DataType, dtMode1);
  EXPECT_EQ(rig.Tracks[0].FileSystem, fsIso9660);
  EXPECT_EQ(rig.Tracks[1].FileSystem, fsCdda);
  EXPECT_EQ(rig.Detector.GetSearchStart(), 150);
}

TEST(TocdetectorDetect, ATocThatLostASessionOrEndsARangeBeforeItStartsGivesNoTrackItDoesNotHold) {
  // Also a TOC that lost a middle session: no track of it, none from frame 0.
  TempDir lost;
  auto dropped = BuildDisc(lost, {{{SectorKind::Mode1, 100}}, {{SectorKind::Audio, 300}}, {{SectorKind::Mode1, 100}}},
                           [](emu::DiscSpec& spec) { spec.Toc.DroppedSessions.push_back(2); });
  ASSERT_TRUE(dropped.Drive);
  {
    Rig rig(dropped.Drive);
    ASSERT_EQ(rig.Detector.Detect(), 2u) << toctest::Describe(rig.Tracks);
    const auto truth = TrueTracks(dropped.Layout);
    toctest::ExpectSameLayout(rig.Tracks, {truth[0], truth[2]});
  }
  TempDir dir;
  auto disc = BuildDisc(dir, {{{SectorKind::Mode1, 100}, {SectorKind::Mode1, 100}}, {{SectorKind::Mode1, 100}}},
                        [](emu::DiscSpec& spec) { spec.Toc.MovedLeadOuts.push_back({1, 0}); });
  ASSERT_TRUE(disc.Drive);
  const auto truth = TrueTracks(disc.Layout);

  {
    Rig rig(disc.Drive);
    rig.Detector.Detect();
    for (const TCdTrack& t : rig.Tracks) EXPECT_GT(t.Tail, t.Head) << toctest::Describe(rig.Tracks);
    ASSERT_EQ(rig.Tracks.size(), 2u) << toctest::Describe(rig.Tracks);
    EXPECT_EQ(rig.Tracks[0].TrackNo, 1);
    EXPECT_EQ(rig.Tracks[1].TrackNo, 3);
  }
  {
    // One search a session: session 1's range is empty and is skipped, session 2's runs.
    Rig rig(disc.Drive);
    rig.Detector.Options.Manual = true;
    rig.Drive->ClearLog();
    ASSERT_EQ(rig.Detector.Detect(), 1u) << toctest::Describe(rig.Tracks);
    EXPECT_EQ(rig.Tracks[0].TrackNo, 3);
    EXPECT_EQ(rig.Tracks[0].SessionNo, 2);
    EXPECT_EQ(rig.Tracks[0].Head, truth[2].Head);
    EXPECT_EQ(rig.Tracks[0].Tail, truth[2].Tail);
    EXPECT_EQ(rig.View.GetShowCount(), 1);
    EXPECT_EQ(rig.QReadsFrom(0), rig.QReadsFrom(truth[2].Head - 150));
  }
}

TEST(TocdetectorDetect, AnEmptyOrReversedSearchRangeEndsAtOnceWithNothing) {
  TempDir dir;
  auto disc = BuildDisc(dir, {{{SectorKind::Mode1, 100}}});
  ASSERT_TRUE(disc.Drive);
  Rig rig(disc.Drive);
  rig.Drive->ClearLog();
  EXPECT_TRUE(rig.Detector.StartFastSearch(5000, 4000, 1));
  EXPECT_TRUE(rig.Detector.StartLinearSearch(300, 300, 1));
  EXPECT_TRUE(rig.Tracks.empty());
  EXPECT_EQ(rig.View.GetShowCount(), 0);
  EXPECT_TRUE(rig.Drive->Log().empty());
}

TEST(TocdetectorDetect, ASearchWithoutAWindowDoesNotRun) {
  TempDir dir;
  auto disc = BuildDisc(dir, {{{SectorKind::Mode1, 100}}});
  ASSERT_TRUE(disc.Drive);
  Rig rig(disc.Drive);
  rig.Detector.SetProgressView(nullptr);
  rig.Drive->ClearLog();
  EXPECT_FALSE(rig.Detector.StartFastSearch(150, 250, 1));
  EXPECT_TRUE(rig.Drive->Log().empty());
}

TEST(TocdetectorOptions, DefaultsAndCancelOutsideARun) {
  TempDir dir;
  auto disc = BuildDisc(dir, {{{SectorKind::Mode1, 100}}});
  ASSERT_TRUE(disc.Drive);
  Rig rig(disc.Drive);
  rig.Detector.Options.Manual = true;
  rig.Detector.Options.LastAddress = 5;
  rig.Detector.SetDefaults();
  EXPECT_FALSE(rig.Detector.Options.Manual);
  EXPECT_FALSE(rig.Detector.Options.Leadout);
  EXPECT_TRUE(rig.Detector.Options.FastSearch);
  EXPECT_EQ(rig.Detector.Options.LastAddress, 360000);
  EXPECT_EQ(rig.Detector.Options.MaxLeadout, 300);
  rig.Detector.Cancel();  // nothing runs: the state stays idle
  EXPECT_EQ(rig.Detector.GetState(), wsIdle);
}

}  // namespace
