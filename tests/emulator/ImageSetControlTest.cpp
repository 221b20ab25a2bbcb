// Loading the .ccd: a set written by hand the way other tools write it, the layout
// derived from its tracks and lead-outs, tolerance of harmless variations, and refusal
// of malformed files.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "ImageSetTestSupport.h"
#include "emulator/ImageSet.h"

namespace emu {
namespace {

using test::Descriptor;
using test::PatternByte;
using test::PatternSectors;
using test::TempDir;
using test::WriteFile;

std::string CrLf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// One TOC entry as the set writes it, every field in its own line.
struct CcdEntry {
  int Session, Point, Adr, Control, AMin, ASec, AFrame, ALba, Zero, PMin, PSec, PFrame, PLba;
};

std::string EntryText(int number, const CcdEntry& e) {
  char text[400];
  std::snprintf(text, sizeof text,
                "[Entry %d]\nSession=%d\nPoint=0x%02x\nADR=0x%02x\nControl=0x%02x\nTrackNo=0\nAMin=%d\nASec=%d\n"
                "AFrame=%d\nALBA=%d\nZero=%d\nPMin=%d\nPSec=%d\nPFrame=%d\nPLBA=%d\n",
                number, e.Session, e.Point, e.Adr, e.Control, e.AMin, e.ASec, e.AFrame, e.ALba, e.Zero, e.PMin, e.PSec,
                e.PFrame, e.PLba);
  return text;
}

// Two sessions: an audio track and a Mode 1 track with a pregap, lead-out at 200;
// then a Mode 2 track (pregap from 290) with its lead-out at 350. 360 sectors.
const std::string kTwoSessionCcd = [] {
  const CcdEntry entries[] = {{1, 0xA0, 1, 0, 0, 0, 0, -150, 0, 1, 32, 0, 6750},
                               {1, 0xA1, 1, 4, 0, 0, 0, -150, 0, 2, 0, 0, 8850},
                               {1, 0xA2, 1, 4, 0, 0, 0, -150, 0, 0, 4, 50, 200},
                               {1, 0x01, 1, 0, 0, 0, 0, -150, 0, 0, 2, 0, 0},
                               {1, 0x02, 1, 4, 0, 0, 0, -150, 0, 0, 3, 35, 110},
                               {1, 0xB0, 5, 4, 0, 3, 65, 140, 2, 79, 59, 74, 359849},
                               {1, 0xC0, 5, 4, 128, 0, 0, 575850, 0, 97, 27, 21, 438546},
                               {2, 0xA0, 1, 4, 0, 0, 0, -150, 0, 3, 32, 0, 13350},
                               {2, 0xA1, 1, 4, 0, 0, 0, -150, 0, 3, 0, 0, 13350},
                               {2, 0xA2, 1, 4, 0, 0, 0, -150, 0, 0, 6, 50, 350},
                               {2, 0x03, 1, 4, 0, 0, 0, -150, 0, 0, 6, 0, 300}};
  std::string ccd =
      "[CloneCD]\nVersion=3\n[Disc]\nTocEntries=11\nSessions=2\nDataTracksScrambled=0\nCDTextLength=0\n"
      "[Session 1]\nPreGapMode=0\nPreGapSubC=0\n[Session 2]\nPreGapMode=2\nPreGapSubC=0\n";
  int number = 0;
  for (const CcdEntry& e : entries) ccd += EntryText(number++, e);
  return ccd + "[TRACK 1]\nMODE=0\nINDEX 1=0\n[TRACK 2]\nMODE=1\nINDEX 0=100\nINDEX 1=110\n"
               "[TRACK 3]\nMODE=2\nINDEX 0=290\nINDEX 1=300\n";
}();

class HandWrittenSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Img = PatternSectors(360, 2352);
    // Track 3 begins with a Form 2 sector: submode bit 5 in both subheader copies.
    for (size_t at : {size_t{300} * 2352 + 18, size_t{300} * 2352 + 22}) Img[at] = 0x20;
    WriteFile(Dir / "disc.img", Img);
    WriteFile(Dir / "disc.sub", PatternSectors(360, 96, 0x33));
  }
  bool Load(std::string_view ccd) {
    WriteFile(Dir / "disc.ccd", ccd);
    Error.clear();
    return LoadImageSet(Dir / "disc.ccd", Loaded, Error);
  }
  TempDir Dir;
  std::string Img;
  Disc Loaded;
  std::string Error;
};

TEST_F(HandWrittenSetTest, LoadsTheTocInDriveOrder) {
  ASSERT_TRUE(Load(CrLf(kTwoSessionCcd))) << Error;
  ASSERT_EQ(Loaded.Toc.size(), 11u);
  TocDescriptor first = Descriptor(1, 1, 0, 0xA0, 1, 32, 0);
  EXPECT_EQ(Loaded.Toc[0], first);
  EXPECT_EQ(Loaded.Toc[2], Descriptor(1, 1, 4, 0xA2, 0, 4, 50));
  EXPECT_EQ(Loaded.Toc[4], Descriptor(1, 1, 4, 0x02, 0, 3, 35));
  TocDescriptor b0 = Descriptor(1, 5, 4, 0xB0, 79, 59, 74);
  b0.Min = 0;
  b0.Sec = 3;
  b0.Frame = 65;
  b0.Zero = 2;
  EXPECT_EQ(Loaded.Toc[5], b0);
  EXPECT_EQ(Loaded.Toc[6].Min, 128);
  EXPECT_EQ(Loaded.Toc[10], Descriptor(2, 1, 4, 0x03, 0, 6, 0));
  EXPECT_EQ(Loaded.FirstSession, 1);
  EXPECT_EQ(Loaded.LastSession, 2);
  EXPECT_EQ(Loaded.TocLeadOutLba(), 350);
}

TEST_F(HandWrittenSetTest, DerivesTheLayoutFromTracksAndLeadOuts) {
  ASSERT_TRUE(Load(CrLf(kTwoSessionCcd))) << Error;
  std::vector<Extent> expected = {{0, 100, SectorKind::Audio, 0},
                                  {100, 200, SectorKind::Mode1, 4},
                                  {290, 350, SectorKind::Mode2Form2, 4}};
  EXPECT_EQ(Loaded.Layout, expected);
  // Between the sessions and after the last lead-out nothing is recorded.
  EXPECT_EQ(Loaded.KindAt(200), std::nullopt);
  EXPECT_EQ(Loaded.KindAt(289), std::nullopt);
  EXPECT_EQ(Loaded.KindAt(355), std::nullopt);
}

TEST_F(HandWrittenSetTest, AMode2TrackWithoutTheForm2MarkIsForm1) {
  Img[300 * 2352 + 22] = 0x08;  // the copies disagree: not taken as Form 2
  WriteFile(Dir / "disc.img", Img);
  ASSERT_TRUE(Load(CrLf(kTwoSessionCcd))) << Error;
  ASSERT_EQ(Loaded.Layout.size(), 3u);
  EXPECT_EQ(Loaded.Layout[2].Kind, SectorKind::Mode2Form1);
}

TEST_F(HandWrittenSetTest, ServesTheImageAndSubChannelByLba) {
  ASSERT_TRUE(Load(CrLf(kTwoSessionCcd))) << Error;
  ASSERT_TRUE(Loaded.Store);
  ASSERT_EQ(Loaded.Store->SectorCount(), 360);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Loaded.Store->Main(123)), 2352), Img.substr(123 * 2352, 2352));
  EXPECT_EQ(Loaded.Store->Sub(359)[95], PatternByte(359, 95, 0x33));
  EXPECT_EQ(Loaded.Store->Main(360), nullptr);
}

TEST_F(HandWrittenSetTest, AnyFileOfTheSetNamesIt) {
  WriteFile(Dir / "disc.ccd", CrLf(kTwoSessionCcd));
  for (const char* name : {"disc.img", "disc.sub", "disc", "disc.flt"}) {
    Disc disc;
    EXPECT_TRUE(LoadImageSet(Dir / name, disc, Error)) << name << ": " << Error;
    EXPECT_EQ(disc.Toc.size(), 11u) << name;
  }
}

TEST_F(HandWrittenSetTest, UpperCaseExtensionsAreFound) {
  WriteFile(Dir / "UP.CCD", CrLf(kTwoSessionCcd));
  std::filesystem::rename(Dir / "disc.img", Dir / "UP.IMG");
  std::filesystem::rename(Dir / "disc.sub", Dir / "UP.SUB");
  ASSERT_TRUE(LoadImageSet(Dir / "UP.CCD", Loaded, Error)) << Error;
  EXPECT_EQ(Loaded.Store->SectorCount(), 360);
  EXPECT_NE(Loaded.Store->Sub(0), nullptr);
}

TEST_F(HandWrittenSetTest, ASessionWithoutLeadOutRunsToTheNextTrackOrTheImageEnd) {
  std::string ccd(kTwoSessionCcd);
  // Drop both lead-outs: renumber so that TocEntries stays right.
  auto drop = [&ccd](const std::string& header, const std::string& next) {
    size_t from = ccd.find(header), to = ccd.find(next);
    ccd.erase(from, to - from);
  };
  drop("[Entry 9]", "[Entry 10]");
  drop("[Entry 2]", "[Entry 3]");
  for (int n : {3, 4, 5, 6, 7, 8, 10}) {
    std::string from = "[Entry " + std::to_string(n) + "]";
    ccd.replace(ccd.find(from), from.size(), "[Entry " + std::to_string(n - (n == 10 ? 2 : 1)) + "]");
  }
  ccd.replace(ccd.find("TocEntries=11"), 13, "TocEntries=9");
  ASSERT_TRUE(Load(ccd)) << Error;
  std::vector<Extent> expected = {{0, 100, SectorKind::Audio, 0},
                                  {100, 290, SectorKind::Mode1, 4},
                                  {290, 360, SectorKind::Mode2Form2, 4}};
  EXPECT_EQ(Loaded.Layout, expected);
  EXPECT_EQ(Loaded.TocLeadOutLba(), -1);
}

TEST_F(HandWrittenSetTest, ToleratesCaseHexDecimalLfAndMissingOptionalKeys) {
  constexpr std::string_view ccd = R"([clonecd]
version=3
[DISC]
tocentries = 0x3
[entry 0]
session=1
point=160
adr=1
control=0X4
pmin=1
psec=0
pframe=0
[ENTRY 1]
Session=1
Point=0xA2
ADR=1
CONTROL=4
PMIN=0
PSEC=0x04
PFRAME=50
[Entry   2]
Session=1
Point=1
ADR=0x01
Control=0x04
PMin=0
PSec=2
PFrame=0
[CDText]
Entries=0
[track 1]
mode=1
flags=DCP
index   1=0
)";
  ASSERT_TRUE(Load(ccd)) << Error;
  ASSERT_EQ(Loaded.Toc.size(), 3u);
  EXPECT_EQ(Loaded.Toc[0], Descriptor(1, 1, 4, 0xA0, 1, 0, 0));
  EXPECT_EQ(Loaded.Toc[1], Descriptor(1, 1, 4, 0xA2, 0, 4, 50));
  EXPECT_EQ(Loaded.Toc[2], Descriptor(1, 1, 4, 0x01, 0, 2, 0));
  EXPECT_EQ(Loaded.Layout, (std::vector<Extent>{{0, 200, SectorKind::Mode1, 4}}));
}

TEST_F(HandWrittenSetTest, WithoutSubChannelFileNoSubChannelIsServed) {
  std::filesystem::remove(Dir / "disc.sub");
  ASSERT_TRUE(Load(CrLf(kTwoSessionCcd))) << Error;
  EXPECT_NE(Loaded.Store->Main(0), nullptr);
  EXPECT_EQ(Loaded.Store->Sub(0), nullptr);
}

struct Malformed {
  const char* Name;
  std::string From, To;  // replacement in the good file
  const char* Message;   // a piece of the expected message
};

class MalformedControlFileTest : public HandWrittenSetTest, public ::testing::WithParamInterface<Malformed> {};

TEST_P(MalformedControlFileTest, IsRefusedWithAMessage) {
  const Malformed& c = GetParam();
  std::string ccd(kTwoSessionCcd);
  size_t at = ccd.find(c.From);
  ASSERT_NE(at, std::string::npos) << c.From;
  ccd.replace(at, c.From.size(), c.To);
  Loaded.Toc.push_back(Descriptor(9, 1, 4, 1, 0, 2, 0));  // must survive a failed load
  EXPECT_FALSE(Load(CrLf(ccd)));
  EXPECT_NE(Error.find(c.Message), std::string::npos) << Error;
  EXPECT_EQ(Loaded.Toc.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedControlFileTest,
    ::testing::Values(Malformed{"TooManyEntriesClaimed", "TocEntries=11", "TocEntries=12", "TocEntries=12"},
                      Malformed{"TooFewEntriesClaimed", "TocEntries=11", "TocEntries=10", "TocEntries=10"},
                      Malformed{"EntryNumberedPastTheCount", "[Entry 10]", "[Entry 11]", "numbered up to 11"},
                      Malformed{"DuplicateEntry", "[Entry 10]", "[Entry 9]", "appears twice"},
                      Malformed{"NegativeCount", "TocEntries=11", "TocEntries=-1", "out of range"},
                      Malformed{"NoCount", "TocEntries=11", "", "TocEntries is missing"},
                      Malformed{"NoDiscSection", "[Disc]", "[Disk]", "no [Disc]"},
                      Malformed{"PointOutOfByteRange", "Point=0x03", "Point=300", "out of range 0..255"},
                      Malformed{"AdrOutOfNibbleRange", "ADR=0x05", "ADR=0x15", "out of range 0..15"},
                      Malformed{"NotANumber", "PMin=79", "PMin=7x9", "is not a number"},
                      Malformed{"HexWithoutDigits", "PMin=79", "PMin=0x", "is not a number"},
                      Malformed{"MissingRequiredKey", "PSec=59\n", "", "PSec is missing"},
                      Malformed{"MalformedSectionHeader", "[Entry 4]", "[Entry 4", "malformed section"},
                      Malformed{"LineWithoutEquals", "Zero=2", "Zero 2", "expected KEY=VALUE"},
                      Malformed{"ValueBeforeAnySection", "[CloneCD]\n", "", "outside any"},
                      Malformed{"TrackZero", "[TRACK 1]", "[TRACK 0]", "not 1..99"},
                      Malformed{"TrackAbove99", "[TRACK 3]", "[TRACK 100]", "not 1..99"},
                      Malformed{"DuplicateTrack", "[TRACK 3]", "[TRACK 2]", "appears twice"},
                      Malformed{"UnknownMode", "MODE=2", "MODE=3", "out of range 0..2"},
                      Malformed{"TrackWithoutIndex1", "INDEX 1=110", "", "INDEX 1 is missing"},
                      Malformed{"PregapAfterIndex1", "INDEX 0=100", "INDEX 0=111", "INDEX 0 lies after INDEX 1"},
                      Malformed{"ScrambledData", "DataTracksScrambled=0", "DataTracksScrambled=1", "scrambled"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(HandWrittenSetTest, MessagesNameTheFileAndLine) {
  std::string ccd(kTwoSessionCcd);
  size_t at = ccd.find("Point=0x03");
  ccd.replace(at, 10, "Point=256");
  const auto line = std::count(ccd.begin(), ccd.begin() + at, '\n') + 1;
  EXPECT_FALSE(Load(ccd));
  EXPECT_NE(Error.find("disc.ccd"), std::string::npos) << Error;
  EXPECT_NE(Error.find("line " + std::to_string(line) + " [Entry 10] Point"), std::string::npos) << Error;
}

TEST_F(HandWrittenSetTest, RefusesMissingFilesAndJunk) {
  EXPECT_FALSE(LoadImageSet(Dir / "absent.ccd", Loaded, Error));
  EXPECT_NE(Error.find("absent.ccd"), std::string::npos) << Error;

  std::filesystem::remove(Dir / "disc.img");
  EXPECT_FALSE(Load(CrLf(kTwoSessionCcd)));
  EXPECT_NE(Error.find("disc.img"), std::string::npos) << Error;
  WriteFile(Dir / "disc.img", Img);

  EXPECT_FALSE(Load(""));
  std::mt19937 random(7);
  for (int round = 0; round < 50; ++round) {
    std::string junk(200 + round * 13, '\0');
    for (char& c : junk) c = static_cast<char>(random());
    EXPECT_FALSE(Load(junk));
    EXPECT_FALSE(Error.empty());
  }
}

TEST_F(HandWrittenSetTest, RandomDamageToAGoodFileNeverCrashes) {
  // Each mutation must load or be refused with a message; nothing else.
  std::mt19937 random(11);
  const std::string good = CrLf(kTwoSessionCcd);
  int refused = 0;
  for (int round = 0; round < 200; ++round) {
    std::string ccd = good;
    for (int edits = 0; edits < 3; ++edits) {
      size_t at = random() % ccd.size();
      ccd[at] = "=[]x0\n;-9 "[random() % 10];
    }
    WriteFile(Dir / "disc.ccd", ccd);
    Disc disc;
    std::string error;
    if (!LoadImageSet(Dir / "disc.ccd", disc, error)) {
      ++refused;
      EXPECT_FALSE(error.empty());
    }
  }
  EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace emu
