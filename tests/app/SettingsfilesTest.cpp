// The three settings files: defaults and presets, every key saved and read back, and
// hand-edited or stale files.
#include <gtest/gtest.h>

#include "tests/app/AppTestSupport.h"

namespace {

using namespace app_test;

class SettingsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetGlobals();
    CopyPlugins(Program.Path, {"Png.fpi", "Zip.fpi", "Gif.fpi"});
    Where = {Settings.Path, Program.Path};
  }
  void TearDown() override { ResetGlobals(); }

  // Lists the machine's drives as the main window does.
  void Enumerate() { CdRoms.Enumerate(4, false); }
  void Load(int32_t lines = 3) { Selection = LoadSettingsFiles(Where, lines); }

  test_support::TempDir Settings{"qnl-settings"};
  test_support::TempDir Program{"qnl-program"};
  TSettingsLocations Where;
  int32_t Selection = -2;
  test_support::DriveMachine Machine{Drives({test_support::SmallEmulatedDrive("plextor ", "CD-R  PREMIUM"),
                                           test_support::SmallEmulatedDrive("QUARNEL", "EMULATED CD-ROM"),
                                           test_support::SmallEmulatedDrive("PLEXTOR", "cd-r  premium")},
                                          /*aspi=*/false)};
};

TEST_F(SettingsFiles, WithoutFilesEveryValueIsItsDefaultOrTheDrivesPreset) {
  Enumerate();
  ASSERT_EQ(CdRoms.GetCount(), 3u);
  Load();
  EXPECT_EQ(Selection, -1);
  EXPECT_EQ(CurrentDriveIndex, 0);
  EXPECT_TRUE(FastSearch && !Manual && ListOnly && LittleEndian && DeEmph);
  EXPECT_EQ(LastAddress, 360000);
  EXPECT_EQ(TailZeroMode, 6);
  struct Expected {
    uint8_t UseBCD;
    uint32_t ExtReadCmd, DaeCmd, SubChCmd;
    int32_t OffsetSamples;
  };
  const Expected expected[] = {{1, 3, 2, 1, 30}, {0, 0, 0, 0, 0}, {1, 3, 2, 1, 98}};
  for (size_t i = 0; i < 3; ++i) {
    const TDriveSetting& s = DriveSettings[i];
    EXPECT_EQ(s.UseSpti, 1) << i;  // no ASPI manager: pass-through
    EXPECT_EQ(s.UseBCD, expected[i].UseBCD) << i;
    EXPECT_EQ(s.ExtReadCmd, expected[i].ExtReadCmd) << i;
    EXPECT_EQ(s.DaeCmd, expected[i].DaeCmd) << i;
    EXPECT_EQ(s.SubChCmd, expected[i].SubChCmd) << i;
    EXPECT_EQ(s.OffsetSamples, expected[i].OffsetSamples) << i;
    EXPECT_EQ(s.Interval, 20u) << i;
    EXPECT_EQ(s.TransferBlock, 1) << i;
  }
  EXPECT_EQ(DriveSettings[3].UseSpti, 0);  // no drive there
  EXPECT_EQ(PluginFileNames(), (std::vector<std::string>{"Gif.fpi", "Png.fpi", "Zip.fpi"}));
  for (unsigned i = 0; i < PluginManager.GetCount(); ++i) EXPECT_TRUE(PluginManager.GetEnabled(i));
}

TEST_F(SettingsFiles, EveryKeyComesBackAfterSaving) {
  Enumerate();
  Load();
  Manual = true, Leadout = true, FastSearch = false, LastAddress = 12345, MaxLeadout = 77, NoDialog = true;
  ReadPvd = false, ReadTable = false, LittleEndian = false, ListOnly = true, UsePluginInReading = false;
  TailZeroMode = 3, TailZeroVal = 2000, DelTailZero = true, DivAtErr = true, Volume = 55, DeEmph = false;
  TrackDir = "/home/u/tracks", MultiDir = "/tmp/multi dir", CddaDir = "/c", FileExtractDir = "/f";
  FileReadDir = "/r";
  DriveSettings[1].Interval = 250;
  DriveSettings[1].OffsetSamples = -667;
  DriveSettings[1].RetryCountEnabled = 1;
  DriveSettings[1].RetryCount = 9;
  DriveSettings[1].ForceType = 1;
  DriveSettings[1].SetReadSpeed = 1;
  // A speed of 0 reads back as "none chosen" (65535): give every drive one.
  for (size_t i = 0; i < 3; ++i) DriveSettings[i].ReadSpeed = 1411;
  ReadSpeedLists[1].Add(706);
  ReadSpeedLists[1].Add(1411);
  PluginManager.MoveByFileName("Zip.fpi", 0);
  PluginManager.SetEnabled(2, false);
  const auto order = PluginFileNames();
  SaveSettingsFiles(Where, /*selectedIndex=*/1);
  const std::string quarnel = ReadText(Settings / "Quarnel.ini");
  EXPECT_NE(quarnel.find("\r\n[ISO9660]\r\nReadPvd=0\r\nReadSvd=1\r\nReadTable=0\r\nLittleEndian=0\r\nLittleEndian=1\r\n"),
            std::string::npos);
  EXPECT_NE(ReadText(Settings / "Drive.ini").find("[E:]\r\nDeviceName=EMULATED CD-ROM\r\nUseSpti=1\r\n"),
            std::string::npos);

  ResetGlobals();
  Enumerate();
  Load();
  EXPECT_EQ(Selection, 1);
  EXPECT_TRUE(Manual && Leadout && !FastSearch && NoDialog && !ReadPvd && !ReadTable && !LittleEndian && ListOnly);
  EXPECT_EQ(LastAddress, 12345);
  EXPECT_EQ(MultiDir, "/tmp/multi dir");
  EXPECT_EQ(Volume, 55);
  EXPECT_EQ(DriveSettings[1].OffsetSamples, -667);
  EXPECT_EQ(DriveSettings[1].ReadSpeed, 1411u);
  EXPECT_EQ(ReadSpeedLists[1].GetCount(), 2u);
  EXPECT_EQ(PluginFileNames(), order);
  EXPECT_FALSE(PluginManager.GetEnabled(2));
  // Saved again, every file is byte for byte the same: nothing was lost on the way.
  test_support::TempDir again;
  SaveSettingsFiles({again.Path, Program.Path}, 1);
  for (const char* name : {"Quarnel.ini", "Drive.ini", "Plugin.ini"})
    EXPECT_EQ(ReadText(again / name), ReadText(Settings / name)) << name;
}

TEST_F(SettingsFiles, HandEditedAndStaleFilesAreReadSafely) {
  WriteFile(Settings / "Drive.ini",
       "\r\n[D:]\r\nDeviceName=SOME OTHER DRIVE\r\nInterval=5\r\n"                 // another model now
       "\r\n[E:]\r\nDeviceName= EMULATED CD-ROM \r\nInterval=4000000000\r\nDataReadAtOnce=0\r\n"
       "OffsetSamples=-99999\r\nSetReadSpeed=1\r\nReadSpeed=0\r\n"
       "NumReadSpeeds=3\r\nReadSpeed0=706\r\nReadSpeed1=0\r\nReadSpeed2=1411\r\n");
  WriteFile(Settings / "Quarnel.ini",
       "\r\n[Drive]\r\nSelected=F:\r\n\r\n[Toc]\r\nLastAddress=999999999\r\nMaxLeadout=0\r\n"
       "\r\n[CDDA]\r\nVolume=500\r\n\r\n[ISO9660]\r\nLittleEndian=0\r\nListOnly=0\r\n");
  WriteFile(Settings / "Plugin.ini",
       "\r\n[Common]\r\nDirectory=/nonexistent/plugins\r\n\r\n[Order]\r\nNumPlugins=99999999999\r\n"
       "0_Filename=Gone.fpi\r\n0_Enabled=0\r\n1_Filename=Zip.fpi\r\n1_Enabled=0\r\n");
  Enumerate();
  Load(/*lines=*/2);
  EXPECT_EQ(Selection, -1);  // F: is the third drive; the box has two lines
  EXPECT_EQ(DriveSettings[0].Interval, 20u);
  EXPECT_EQ(DriveSettings[0].UseBCD, 1);  // kept its preset
  const TDriveSetting& e = DriveSettings[1];
  EXPECT_EQ(e.Interval, 1000u);
  EXPECT_EQ(e.DataReadAtOnce, 1u);
  EXPECT_EQ(e.OffsetSamples, -10000);
  EXPECT_EQ(e.ReadSpeed, 65535u);
  EXPECT_EQ(e.SetReadSpeed, 0);
  ASSERT_EQ(ReadSpeedLists[1].GetCount(), 2u);
  EXPECT_EQ(ReadSpeedLists[1].Get(1), 1411u);
  EXPECT_EQ(LastAddress, 449999);
  EXPECT_EQ(MaxLeadout, 1);
  EXPECT_EQ(Volume, 100);
  EXPECT_FALSE(LittleEndian);
  EXPECT_TRUE(ListOnly);  // only one LittleEndian line
  EXPECT_EQ(PluginManager.GetDirectory(), (Program.Path / "Plugin").string());
  EXPECT_EQ(PluginFileNames(), (std::vector<std::string>{"Zip.fpi", "Gif.fpi", "Png.fpi"}));
  EXPECT_FALSE(PluginManager.GetEnabled(0));
  EXPECT_TRUE(PluginManager.GetEnabled(1));

  // The split choice by its index in the list: a value beyond the list, a negative one (as
  // a saved -1 reads back), is the last choice, "分割しない"; a malformed one the default.
  struct ZeroCase {
    const char* Text;
    int32_t Mode;
  };
  for (const ZeroCase& c : {ZeroCase{"-1", 14}, {"4294967295", 14}, {"-2147483648", 14}, {"15", 14}, {"0", 0},
                            {"13", 13}, {"+-5", 6}}) {
    ResetGlobals();
    WriteFile(Settings / "Quarnel.ini", std::string("\r\n[ISO9660]\r\nTailZeroMode=") + c.Text + "\r\n");
    Load();
    EXPECT_EQ(TailZeroMode, c.Mode) << c.Text;
  }
}

}  // namespace
