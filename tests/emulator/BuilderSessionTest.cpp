// Sessions, the full TOC and a TOC that no longer tells the whole truth.
#include <cstring>

#include "sector/SectorEncoder.h"
#include "tests/emulator/BuilderTestSupport.h"

namespace {

using namespace buildertest;
using emu::SectorKind;

struct Inputs {
  fs::path A, B, C;
  std::vector<uint8_t> BytesA, BytesB, BytesC;
};

Inputs MakeInputs(const TempDir& dir) {
  Inputs in;
  in.A = dir / "a.iso";
  in.B = dir / "b.iso";
  in.C = dir / "c.iso";
  in.BytesA = RandomBytes(60 * 2048, 1);
  in.BytesB = RandomBytes(45 * 2048, 2);
  in.BytesC = RandomBytes(20 * 2048, 3);
  WriteFile(in.A, in.BytesA);
  WriteFile(in.B, in.BytesB);
  WriteFile(in.C, in.BytesC);
  return in;
}

std::vector<uint8_t> ReadCooked(emu::EmulatedDrive& drive, int32_t lba, uint32_t count) {
  Reply r = ReadCd(drive, lba, count, 0x10, 0, 2048);
  EXPECT_TRUE(r.Result.Good()) << "LBA " << lba;
  return r.Data;
}

TEST(BuilderSession, ThreeSessionsAreLaidOutAndListedInTheToc) {
  TempDir dir;
  const Inputs in = MakeInputs(dir);
  emu::DiscSpec spec;
  spec.Sessions.push_back({{Track(SectorKind::Mode1, in.A)}});
  spec.Sessions.push_back({{Track(SectorKind::Mode2Form1, in.B)}});
  spec.Sessions.push_back({{Track(SectorKind::Mode2Form1, in.C)}});
  std::string error;
  emu::DiscLayout layout;
  ASSERT_TRUE(emu::BuildImageSet(spec, dir / "disc", false, error, &layout)) << error;

  ASSERT_EQ(layout.Sessions.size(), 3u);
  EXPECT_EQ(layout.Sessions[0].LeadOutLba, 60);
  EXPECT_EQ(layout.Tracks[1].StartLba, 60 + 6750 + 4500 + 150);
  EXPECT_EQ(layout.Sessions[1].LeadOutLba, 11460 + 45);
  EXPECT_EQ(layout.Tracks[2].StartLba, 11505 + 2250 + 4500 + 150);
  EXPECT_EQ(layout.ImageSectors, layout.Tracks[2].StartLba + 20);
  EXPECT_EQ(fs::file_size(dir / "disc.img"), uint64_t(layout.ImageSectors) * 2352);
  EXPECT_EQ(fs::file_size(dir / "disc.sub"), uint64_t(layout.ImageSectors) * 96);

  LoadedDrive loaded = Load(dir / "disc.ccd");
  ASSERT_TRUE(loaded.Drive);
  emu::EmulatedDrive& drive = *loaded.Drive;
  // The loaded disc is the one the builder described.
  const emu::Disc described = emu::DescribeDisc(spec, layout);
  EXPECT_EQ(loaded.Disc->Toc, described.Toc);
  EXPECT_EQ(loaded.Disc->Layout, described.Layout);

  bool ok = false;
  uint8_t first = 0, last = 0;
  const auto toc = ReadFullToc(drive, &ok, &first, &last);
  ASSERT_TRUE(ok);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 3);
  for (int s = 1; s <= 3; ++s) {
    const emu::TocDescriptor* a0 = FindPoint(toc, s, 0xA0);
    const emu::TocDescriptor* a1 = FindPoint(toc, s, 0xA1);
    const emu::TocDescriptor* a2 = FindPoint(toc, s, 0xA2);
    const emu::TocDescriptor* point = FindPoint(toc, s, static_cast<uint8_t>(s));
    ASSERT_TRUE(a0 && a1 && a2 && point) << "session " << s;
    EXPECT_EQ(a0->PMin, s);
    EXPECT_EQ(a0->PSec, s == 1 ? 0x00 : 0x20) << "disc type of session " << s;
    EXPECT_EQ(a1->PMin, s);
    EXPECT_EQ(PLba(*a2), layout.Sessions[s - 1].LeadOutLba);
    EXPECT_EQ(PLba(*point), layout.Tracks[s - 1].StartLba);
    EXPECT_EQ(point->AdrControl, 0x14);
    const emu::TocDescriptor* b0 = FindPoint(toc, s, 0xB0);
    if (s < 3) {
      ASSERT_NE(b0, nullptr) << "session " << s;
      EXPECT_EQ(b0->AdrControl >> 4, 5);
      EXPECT_EQ((b0->Min * 60 + b0->Sec) * 75 + b0->Frame - 150, layout.Tracks[s].StartLba - 150)
          << "next program area";
      EXPECT_EQ(PLba(*b0), 359849) << "outermost lead-out 79:59:74";
    } else {
      EXPECT_EQ(b0, nullptr) << "no further session";
    }
    EXPECT_EQ(FindPoint(toc, s, 0xC0) != nullptr, s == 1);
  }

  EXPECT_EQ(ReadCooked(drive, 0, 60), in.BytesA);
  EXPECT_EQ(ReadCooked(drive, layout.Tracks[1].StartLba, 45), in.BytesB);
  EXPECT_EQ(ReadCooked(drive, layout.Tracks[2].StartLba, 20), in.BytesC);
  // The main channel of the lead-out and the lead-in is not readable; the first pregap
  // of session 2 is, as zero-filled sectors of its track.
  for (int32_t lba : {60, 60 + 6750})
    EXPECT_FALSE(ReadCd(drive, lba, 1, 0x10, 0, 2048).Result.Good()) << "LBA " << lba;
  EXPECT_EQ(ReadCooked(drive, layout.Tracks[1].StartLba - 1, 1), std::vector<uint8_t>(2048, 0));
  const std::vector<uint8_t> img = ReadFile(dir / "disc.img");
  EXPECT_TRUE(std::all_of(img.begin() + 60 * 2352, img.begin() + 11310 * 2352, [](uint8_t b) { return b == 0; }));
}

// Between two sessions a real disc holds the lead-out (Q track AA), the next lead-in
// (Q carrying that session's TOC) and the next first track's pregap (index 0 counting
// down); a bare disc holds nothing there.
TEST(BuilderSession, LeadOutLeadInAndPregapCarryTheirQ) {
  TempDir dir;
  const Inputs in = MakeInputs(dir);
  for (const bool real : {true, false}) {
    SCOPED_TRACE(real ? "real" : "bare");
    emu::DiscSpec spec;
    spec.Sessions.push_back({{Track(SectorKind::Mode1, in.A)}});
    spec.Sessions.push_back({{Track(SectorKind::Mode2Form1, in.B), Track(SectorKind::Mode2Form1, in.C)}});
    spec.RecordLeadAreas = real;
    std::string error;
    emu::DiscLayout layout;
    ASSERT_TRUE(emu::BuildImageSet(spec, dir / "disc", true, error, &layout)) << error;
    LoadedDrive loaded = Load(dir / "disc.ccd");
    ASSERT_TRUE(loaded.Drive);
    const int32_t leadIn = 60 + 6750, start = layout.Tracks[1].StartLba;
    EXPECT_EQ(layout.Tracks[1].PregapRecorded, real);
    for (int32_t lba : {60, 61, leadIn - 1, leadIn, leadIn + 5, leadIn + 4499, start - 150, start - 1}) {
      const Reply q = ReadQ(*loaded.Drive, lba);
      if (!real) {
        EXPECT_FALSE(q.Result.Good()) << "LBA " << lba;
        continue;
      }
      ASSERT_TRUE(q.Result.Good()) << "LBA " << lba;
      ASSERT_TRUE(IsQFrameCrcValid(q.Data.data())) << "LBA " << lba;
      const int frame = lba + 150;
      if (lba < leadIn) {
        EXPECT_EQ(q.Data[0], 0x41);
        EXPECT_EQ(q.Data[1], 0xAA) << "lead-out";
        EXPECT_EQ(q.Data[5], Bcd((lba - 60) % 75)) << "relative time from the lead-out's start";
        EXPECT_EQ(q.Data[9], Bcd(frame % 75));
      } else if (lba < start - 150) {
        EXPECT_EQ(q.Data[1], 0x00) << "lead-in";
        // Each entry three frames in a row: A0, A1, A2, track 2, track 3, again.
        const uint8_t points[] = {0xA0, 0xA1, 0xA2, 0x02, 0x03};
        const uint8_t point = points[(lba - leadIn) / 3 % 5];
        EXPECT_EQ(q.Data[2], point) << "LBA " << lba;
        if (point == 0xA0) {
          EXPECT_EQ(q.Data[7], 0x02) << "first track";
          EXPECT_EQ(q.Data[8], 0x20) << "XA disc type";
        }
        if (point == 0x03) {
          EXPECT_EQ(q.Data[9], Bcd((layout.Tracks[2].StartLba + 150) % 75));
        }
      } else {
        EXPECT_EQ(q.Data[1], 0x02) << "pregap of track 2";
        EXPECT_EQ(q.Data[2], 0x00) << "index 0";
        EXPECT_EQ(q.Data[5], Bcd((start - 1 - lba) % 75)) << "counting down to the track";
      }
    }
    // An audio read of the lead-out hears silence and the Q beside it.
    Reply audio = DataIn(*loaded.Drive, emu::test::ReadCddaCdb(100, 1, 1), 2368);
    EXPECT_EQ(audio.Result.Good(), real);
    if (real) {
      EXPECT_TRUE(std::all_of(audio.Data.begin(), audio.Data.begin() + 2352, [](uint8_t b) { return b == 0; }));
      EXPECT_EQ(audio.Data[2353], 0xAA);
    }
  }
}

TEST(BuilderSession, DroppedSessionIsStillRecordedAndItsQSaysWhereItsTracksAre) {
  TempDir dir;
  const Inputs in = MakeInputs(dir);
  emu::DiscSpec spec;
  spec.Sessions.push_back({{Track(SectorKind::Mode1, in.A)}});
  spec.Sessions.push_back({{Track(SectorKind::Mode2Form1, in.B), Track(SectorKind::Mode2Form1, in.C)}});
  spec.Toc.DroppedSessions = {2};
  std::string error;
  emu::DiscLayout layout;
  ASSERT_TRUE(emu::BuildImageSet(spec, dir / "disc", false, error, &layout)) << error;

  LoadedDrive loaded = Load(dir / "disc.ccd");
  ASSERT_TRUE(loaded.Drive);
  emu::EmulatedDrive& drive = *loaded.Drive;
  uint8_t first = 0, last = 0;
  const auto toc = ReadFullToc(drive, nullptr, &first, &last);
  EXPECT_EQ(last, 1) << "the TOC knows one session";
  for (const auto& d : toc) EXPECT_EQ(d.Session, 1);
  EXPECT_EQ(FindPoint(toc, 1, 2), nullptr);
  ASSERT_NE(FindPoint(toc, 1, 0xA2), nullptr);
  EXPECT_EQ(PLba(*FindPoint(toc, 1, 0xA2)), 60);
  const std::string ccd = test_support::ReadText(dir / "disc.ccd");
  EXPECT_EQ(ccd.find("[TRACK 2]"), std::string::npos);

  // Beyond the TOC's lead-out the second session is served, and its Q is whole.
  const emu::TrackLayout& t3 = layout.Tracks[2];
  EXPECT_EQ(ReadCooked(drive, layout.Tracks[1].StartLba, 45), in.BytesB);
  EXPECT_EQ(ReadCooked(drive, t3.StartLba, 20), in.BytesC);
  for (int32_t lba : {layout.Tracks[1].StartLba, t3.StartLba + 7}) {
    Reply q = ReadQ(drive, lba);
    ASSERT_TRUE(q.Result.Good()) << "LBA " << lba;
    ASSERT_TRUE(IsQFrameCrcValid(q.Data.data()));
    const int track = lba == t3.StartLba + 7 ? 3 : 2;
    EXPECT_EQ(q.Data[0], 0x41);
    EXPECT_EQ(q.Data[1], Bcd(track));
    EXPECT_EQ(q.Data[2], 0x01);
    const int frame = lba + 150;
    EXPECT_EQ(q.Data[7], Bcd(frame / 4500));
    EXPECT_EQ(q.Data[8], Bcd(frame / 75 % 60));
    EXPECT_EQ(q.Data[9], Bcd(frame % 75));
  }
}

TEST(BuilderSession, LeadOutLeftOutOrMovedInTheToc) {
  TempDir dir;
  const Inputs in = MakeInputs(dir);
  std::string error;
  {
    emu::DiscSpec spec;
    spec.Sessions.push_back({{Track(SectorKind::Mode1, in.A)}});
    spec.Toc.DroppedLeadOuts = {1};
    ASSERT_TRUE(emu::BuildImageSet(spec, dir / "noleadout", false, error)) << error;
    LoadedDrive loaded = Load(dir / "noleadout.ccd");
    ASSERT_TRUE(loaded.Drive);
    const auto toc = ReadFullToc(*loaded.Drive);
    EXPECT_EQ(FindPoint(toc, 1, 0xA2), nullptr);
    EXPECT_NE(FindPoint(toc, 1, 0xA0), nullptr);
    EXPECT_NE(FindPoint(toc, 1, 1), nullptr);
    EXPECT_EQ(ReadCooked(*loaded.Drive, 59, 1), std::vector<uint8_t>(in.BytesA.end() - 2048, in.BytesA.end()));
  }
  {
    emu::DiscSpec spec;
    spec.Sessions.push_back({{Track(SectorKind::Mode1, in.A)}});
    spec.Toc.MovedLeadOuts = {{1, 25}};
    ASSERT_TRUE(emu::BuildImageSet(spec, dir / "early", false, error)) << error;
    LoadedDrive loaded = Load(dir / "early.ccd");
    ASSERT_TRUE(loaded.Drive);
    const auto toc = ReadFullToc(*loaded.Drive);
    ASSERT_NE(FindPoint(toc, 1, 0xA2), nullptr);
    EXPECT_EQ(PLba(*FindPoint(toc, 1, 0xA2)), 25);
    EXPECT_EQ(loaded.Disc->TocLeadOutLba(), 25);
    // Recorded beyond the TOC's lead-out: the .flt keeps the true layout.
    ASSERT_EQ(loaded.Disc->Layout.size(), 1u);
    EXPECT_EQ(loaded.Disc->Layout[0].EndLba, 60);
    EXPECT_EQ(ReadCooked(*loaded.Drive, 40, 2),
              std::vector<uint8_t>(in.BytesA.begin() + 40 * 2048, in.BytesA.begin() + 42 * 2048));
  }
}

TEST(BuilderSession, PlanRefusesWhatCannotBeBuilt) {
  TempDir dir;
  const Inputs in = MakeInputs(dir);
  emu::DiscLayout layout;
  std::string error;
  auto refused = [&](const emu::DiscSpec& spec, const std::string& expect) {
    error.clear();
    const bool ok = emu::PlanDisc(spec, layout, error);
    EXPECT_FALSE(ok) << "expected a refusal mentioning \"" << expect << "\"";
    EXPECT_NE(error.find(expect), std::string::npos) << error;
  };
  emu::DiscSpec empty;
  refused(empty, "no session");

  emu::DiscSpec emptySession;
  emptySession.Sessions.push_back({{Track(SectorKind::Mode1, in.A)}});
  emptySession.Sessions.emplace_back();
  refused(emptySession, "session 2 has no track");

  emu::DiscSpec missing;
  missing.Sessions.push_back({{Track(SectorKind::Mode1, dir / "nothere.iso")}});
  refused(missing, "nothere.iso");

  WriteFile(dir / "empty.iso", "");
  emu::DiscSpec zero;
  zero.Sessions.push_back({{Track(SectorKind::Mode1, dir / "empty.iso")}});
  refused(zero, "no data");

  emu::DiscSpec firstPregap;
  firstPregap.Sessions.push_back({{Track(SectorKind::Mode1, in.A)}});
  firstPregap.Sessions[0].Tracks[0].PregapFrames = 10;
  refused(firstPregap, "first track of a session");

  emu::DiscSpec dataEmphasis;
  dataEmphasis.Sessions.push_back({{Track(SectorKind::Mode1, in.A, true)}});
  refused(dataEmphasis, "audio tracks only");

  emu::DiscSpec dropThree;
  dropThree.Sessions.push_back({{Track(SectorKind::Mode1, in.A)}});
  dropThree.Toc.DroppedSessions = {3};
  refused(dropThree, "cannot drop session 3");

  emu::DiscSpec qOutside;
  qOutside.Sessions.push_back({{Track(SectorKind::Mode1, in.A)}});
  qOutside.QDamages.push_back({55, 61, emu::QDamageKind::Zero});
  refused(qOutside, "outside the image");

  emu::DiscSpec hundred;
  hundred.Sessions.emplace_back();
  for (int i = 0; i < 100; ++i) hundred.Sessions[0].Tracks.push_back(Track(SectorKind::Mode1, in.C));
  refused(hundred, "99 tracks");
  hundred.Sessions[0].Tracks.pop_back();
  EXPECT_TRUE(emu::PlanDisc(hundred, layout, error)) << error;
}

}  // namespace
