// Track-list files: a list saved and loaded is the same list; odd files load safely;
// a list loaded with a disc in the drive reads that disc's lead-out.
#include <gtest/gtest.h>

#include "app/Tracklistfile.h"
#include "tests/app/AppTestSupport.h"

namespace {

using namespace app_test;

class TrackListFiles : public ::testing::Test {
 protected:
  void SetUp() override { ResetGlobals(); }
  void TearDown() override { ResetGlobals(); }
  test_support::TempDir Dir{"qnl-trk"};
};

TEST_F(TrackListFiles, ASavedListLoadsBackTheSame) {
  const std::vector<TCdTrack> tracks = {
      {1, 1, 150, 20000, 2, 3}, {1, 2, 20150, 30000, 1, 1}, {1, 3, 30000, 40000, 1, 2},
      {2, 4, 51400, 60000, 3, 3}, {2, 5, 60000, 61000, 4, 0}, {2, 6, 61000, 62000, 6, 0}};
  CdTracks = tracks;
  const std::string file = (Dir / "disc.trk").string();
  ASSERT_TRUE(SaveTrackList(file));
  const std::string text = ReadText(file);
  EXPECT_EQ(text.rfind("\r\n[Disc]\r\nNumTracks=6\r\n\r\n[Track_0]\r\nSessionNo=1\r\n", 0), 0u);
  EXPECT_NE(text.find("[Track_2]\r\nSessionNo=1\r\nTrackNo=3\r\nHead=30000\r\nTail=40000\r\nDataType=AUDIO\r\n"
                      "FileSystem=CDDA(EMPH)\r\n"),
            std::string::npos);
  DiscEndAddress = 99;
  ASSERT_TRUE(LoadTrackList(file, /*driveSelected=*/true));
  EXPECT_EQ(CdTracks, tracks);
  EXPECT_EQ(DiscEndAddress, 0);

  CdTracks.clear();
  ASSERT_TRUE(SaveTrackList(file));
  EXPECT_EQ(ReadText(file), "\r\n[Disc]\r\nNumTracks=0\r\n");
  EXPECT_FALSE(SaveTrackList((Dir / "no" / "such.trk").string()));  // the failure is reported
}

TEST_F(TrackListFiles, OddFilesLoadAsFarAsTheyMakeSense) {
  struct Case {
    const char* Name;
    const char* Text;
    std::vector<TCdTrack> Expected;
  };
  const Case cases[] = {
      {"no disc section", "[Track_0]\nHead=5\n", {}},
      {"more tracks than sections", "[Disc]\nNumTracks=2\n[Track_0]\nTrackNo=1\nHead=150\nTail=300\nDataType=MODE1\n",
       {{0, 1, 150, 300, 2, 0}, {}}},
      {"unknown and lower-case words",
       "[Disc]\nNumTracks=2\n[Track_0]\nDataType=UNKNOWN\nFileSystem=cdda\n[Track_1]\nDataType=audio\n",
       {{}, {}}},
      {"addresses out of order or range",
       "[Disc]\nNumTracks=2\n[Track_0]\nSessionNo=257\nHead=-40\nTail=-10\n[Track_1]\nHead=5000\nTail=100\n"
       "[Track_2]\nHead=1\n",
       {{1, 0, 0, 0, 0, 0}, {0, 0, 5000, 5000, 0, 0}}},
      {"a huge count", "[Disc]\nNumTracks=9000000000000000000\n", std::vector<TCdTrack>(kMaxTrackListEntries)},
  };
  for (const Case& c : cases) {
    const auto file = Dir / "odd.trk";
    WriteFile(file, c.Text);
    EXPECT_TRUE(LoadTrackList(file.string(), false)) << c.Name;
    EXPECT_EQ(CdTracks, c.Expected) << c.Name;
  }
  // A DataType without a word of its own is written UNKNOWN and reads back as 0.
  CdTracks = {{1, 1, 150, 300, 5, 7}};
  ASSERT_TRUE(SaveTrackList((Dir / "five.trk").string()));
  ASSERT_TRUE(LoadTrackList((Dir / "five.trk").string(), false));
  EXPECT_EQ(CdTracks, (std::vector<TCdTrack>{{1, 1, 150, 300, 0, 0}}));
  // A folder cannot be read: false, and the list stays cleared.
  EXPECT_FALSE(LoadTrackList(Dir.Path.string(), false));
  EXPECT_TRUE(CdTracks.empty());
}

TEST_F(TrackListFiles, ALoadedListTakesTheDiscEndFromTheDisc) {
  test_support::DriveMachine machine(Drives({test_support::SmallEmulatedDrive()}));
  CdRoms.Enumerate(4, false);
  SetDefaultSettings();
  DriveSettings[0].UseSpti = 1;
  ASSERT_TRUE(SelectDrive(0));
  CdTracks = {{1, 1, 150, 170, 2, 0}};
  const std::string file = (Dir / "small.trk").string();
  ASSERT_TRUE(SaveTrackList(file));
  ASSERT_TRUE(LoadTrackList(file, /*driveSelected=*/true));
  EXPECT_EQ(DiscEndAddress, 170);  // the 20-sector disc's lead-out
  uint8_t sector[2352];
  uint8_t type = 0;
  SectorReader.Prepare();
  EXPECT_TRUE(SectorReader.ReadSector(160, 2, type, sector));
  SectorReader.Release();
  EXPECT_EQ(type, 2);
}

}  // namespace
