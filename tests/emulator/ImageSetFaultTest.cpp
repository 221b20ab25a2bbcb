// The fault file (.flt): every key read and written back, the documented notation,
// repeats, unknown keys, and refusal of bad values on both sides.
#include <gtest/gtest.h>

#include "ImageSetTestSupport.h"
#include "emulator/ImageSet.h"

namespace emu {
namespace {

using test::Descriptor;
using test::PatternSectors;
using test::TempDir;
using test::WriteFile;

// One audio track 0..99 and a Mode 1 track 100..199, lead-out at 200; 210 sectors.
constexpr std::string_view kCcd =
    "[CloneCD]\r\nVersion=3\r\n[Disc]\r\nTocEntries=3\r\nSessions=1\r\n"
    "[Entry 0]\r\nSession=1\r\nPoint=0x01\r\nADR=0x01\r\nControl=0x00\r\nPMin=0\r\nPSec=2\r\nPFrame=0\r\n"
    "[Entry 1]\r\nSession=1\r\nPoint=0x02\r\nADR=0x01\r\nControl=0x04\r\nPMin=0\r\nPSec=3\r\nPFrame=25\r\n"
    "[Entry 2]\r\nSession=1\r\nPoint=0xa2\r\nADR=0x01\r\nControl=0x04\r\nPMin=0\r\nPSec=4\r\nPFrame=50\r\n"
    "[TRACK 1]\r\nMODE=0\r\nINDEX 1=0\r\n[TRACK 2]\r\nMODE=1\r\nINDEX 1=100\r\n";

class FaultFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(Dir / "d.ccd", kCcd);
    WriteFile(Dir / "d.img", PatternSectors(210, 2352));
  }
  bool LoadWith(std::string_view flt) {
    WriteFile(Dir / "d.flt", flt);
    Error.clear();
    Loaded = Disc();
    return LoadImageSet(Dir / "d.ccd", Loaded, Error);
  }
  TempDir Dir;
  Disc Loaded;
  std::string Error;
};

TEST_F(FaultFileTest, ReadsTheDocumentedNotation) {
  constexpr std::string_view flt = R"(; a drive that reads badly
[Drive]
Vendor=PLEXTOR            ; INQUIRY vendor
Product=CD-R   PX-W4012A
Revision=1.07
AnsiVersion=2
BcdToc=1
BinaryQ=1
Speeds=706,1411,2822
AudioOffset=-30
Jitter=4
Form2Size=2324
BlockDescriptor=0
LegacyToc=Format0
ReadCdda=0
SetSpeed=0
ScrambleAudioReads=1
DefaultRetryCount=9
DefaultErrorRecovery=0x20
PartialBlocks=Garbage
PartialInfo=None
PartialResidual=Exact
FailTimeMs=8000
RetryTimeMs=500
ResetOnTimeout=0
RawUncorrectable=0
GapAnswer=NoSeek
GapTimeMs=2500
AnyTypeStops=1
TypeFromHeader=1
CacheRepeat=1
FilterVendorCommands=1
StrictModeCommands=1
Read10NeedsDensity=1
Page01Dropped=20
QCrcZero=1
[Layout]
FirstSession=1
LastSession=2
Extent=0,100,AUDIO,1
Extent=100,205,MODE1,4
[Faults]
Unreadable=150-159
Unreadable=160,11,05
Retry=170-171,3
Flaky=172-173,25
Neighbour=174-175,+1
Neighbour=176,-2
SoftByte=180,100,0x5A
HardByte=181,2351,A5
Toc=Legacy
BeyondLeadOut=Drift
BeyondFrom=200
BeyondAmount=-3
Command=0x43,1,CheckCondition,4,44,00
Command=BE,0,Timeout
NoMedium=1
BecomingReadyOnce=1
UnitAttentionOnce=1
)";
  ASSERT_TRUE(LoadWith(flt)) << Error;
  const DriveProfile& p = Loaded.Profile;
  EXPECT_EQ(p.Vendor, "PLEXTOR");
  EXPECT_EQ(p.Product, "CD-R   PX-W4012A");
  EXPECT_EQ(p.Revision, "1.07");
  EXPECT_EQ(p.AnsiVersion, 2);
  EXPECT_TRUE(p.BcdToc);
  EXPECT_TRUE(p.BinaryQ);
  EXPECT_EQ(p.Speeds, (std::vector<uint16_t>{706, 1411, 2822}));
  EXPECT_EQ(p.AudioOffset, -30);
  EXPECT_EQ(p.Jitter, 4);
  EXPECT_EQ(p.Form2Size, 2324u);
  EXPECT_FALSE(p.BlockDescriptor);
  EXPECT_EQ(p.LegacyToc, LegacyTocPolicy::Format0);
  EXPECT_FALSE(p.ReadCddaSupported);
  EXPECT_FALSE(p.SetSpeedSupported);
  EXPECT_TRUE(p.ScrambleAudioReads);
  EXPECT_EQ(p.DefaultRetryCount, 9);
  EXPECT_EQ(p.DefaultErrorRecovery, 0x20);
  EXPECT_EQ(p.Partial, PartialBlocks::Garbage);
  EXPECT_EQ(p.Info, PartialInfo::None);
  EXPECT_EQ(p.Residual, PartialResidual::Exact);
  EXPECT_EQ(p.FailTimeMs, 8000u);
  EXPECT_EQ(p.RetryTimeMs, 500u);
  EXPECT_FALSE(p.ResetOnTimeout);
  EXPECT_FALSE(p.RawUncorrectable);
  EXPECT_EQ(p.Gap, GapAnswer::NoSeek);
  EXPECT_EQ(p.GapTimeMs, 2500u);
  EXPECT_TRUE(p.AnyTypeStops && p.TypeFromHeader && p.CacheRepeat && p.FilterVendorCommands && p.StrictModeCommands &&
              p.Read10NeedsDensity && p.QCrcZero);
  EXPECT_EQ(p.Page01Dropped, 0x20);

  EXPECT_EQ(Loaded.FirstSession, 1);
  EXPECT_EQ(Loaded.LastSession, 2);
  EXPECT_EQ(Loaded.Layout, (std::vector<Extent>{{0, 100, SectorKind::Audio, 1}, {100, 205, SectorKind::Mode1, 4}}));

  const FaultSet& f = Loaded.Faults;
  EXPECT_EQ(f.Unreadable, (std::vector<UnreadableFault>{{150, 160, 0x11, 0x00}, {160, 161, 0x11, 0x05}}));
  EXPECT_EQ(f.Retry, (std::vector<RetryFault>{{170, 172, 3}}));
  EXPECT_EQ(f.Flaky, (std::vector<FlakyFault>{{172, 174, 25}}));
  EXPECT_EQ(f.Neighbour, (std::vector<NeighbourFault>{{174, 176, 1}, {176, 177, -2}}));
  EXPECT_EQ(f.Bytes, (std::vector<ByteFault>{{180, 100, 0x5A, false}, {181, 2351, 0xA5, true}}));
  EXPECT_EQ(f.Toc, TocFailure::Legacy);
  EXPECT_EQ(f.Beyond, BeyondLeadOut::Drift);
  EXPECT_EQ(f.BeyondFromLba, 200);
  EXPECT_EQ(f.BeyondAmount, -3);
  ASSERT_EQ(f.Commands.size(), 2u);
  EXPECT_EQ(f.Commands[0], (CommandFault{0x43, 1, CommandFaultKind::CheckCondition, 0x04, 0x44, 0x00}));
  EXPECT_EQ(f.Commands[1].Opcode, 0xBE);
  EXPECT_EQ(f.Commands[1].Nth, 0u);
  EXPECT_EQ(f.Commands[1].Kind, CommandFaultKind::Timeout);
  EXPECT_TRUE(f.NoMedium);
  EXPECT_TRUE(f.BecomingReadyOnce);
  EXPECT_TRUE(f.UnitAttentionOnce);
}

TEST_F(FaultFileTest, AnAbsentOrEmptyFileMeansTheDefaults) {
  Disc reference;
  ASSERT_TRUE(LoadImageSet(Dir / "d.ccd", Loaded, Error)) << Error;
  EXPECT_EQ(Loaded.Profile, reference.Profile);
  EXPECT_EQ(Loaded.Faults, reference.Faults);
  ASSERT_TRUE(LoadWith("\n; nothing\r\n")) << Error;
  EXPECT_EQ(Loaded.Profile, reference.Profile);
  EXPECT_EQ(Loaded.Faults, reference.Faults);
  EXPECT_EQ(Loaded.Layout, (std::vector<Extent>{{0, 100, SectorKind::Audio, 0}, {100, 200, SectorKind::Mode1, 4}}));
}

TEST_F(FaultFileTest, RepeatsAddToListsAndTheLastScalarWins) {
  ASSERT_TRUE(LoadWith("[Faults]\nUnreadable=5\nToc=Both\n[Drive]\nJitter=1\nJitter=7\n[Faults]\nUnreadable=9\nToc=None\n"))
      << Error;
  EXPECT_EQ(Loaded.Faults.Unreadable.size(), 2u);
  EXPECT_EQ(Loaded.Faults.Unreadable[1].FirstLba, 9);
  EXPECT_EQ(Loaded.Faults.Toc, TocFailure::None);
  EXPECT_EQ(Loaded.Profile.Jitter, 7);
}

TEST_F(FaultFileTest, IgnoresUnknownSectionsAndToleratesCase) {
  ASSERT_TRUE(LoadWith("[drive]\r\nVENDOR=ACME\r\nlegacytoc=reject\r\n[Extra]\r\nA=b\r\n"
                       "[FAULTS]\r\nbeyondleadout=notready\r\n"))
      << Error;
  EXPECT_EQ(Loaded.Profile.Vendor, "ACME");
  EXPECT_EQ(Loaded.Profile.LegacyToc, LegacyTocPolicy::Reject);
  EXPECT_EQ(Loaded.Faults.Beyond, BeyondLeadOut::NotReady);
}

TEST_F(FaultFileTest, AnEmptySpeedListIsKept) {
  ASSERT_TRUE(LoadWith("[Drive]\nSpeeds=\n")) << Error;
  EXPECT_TRUE(Loaded.Profile.Speeds.empty());
}

TEST_F(FaultFileTest, ALayoutSectionReplacesTheDerivedLayoutAndSessions) {
  // Data recorded past the TOC's lead-out (200) is described only by [Layout].
  ASSERT_TRUE(LoadWith("[Layout]\nExtent=100,210,MODE2FORM1\nExtent=0,50,MODE2\nExtent=60,70,MODE2FORM2,5\n"))
      << Error;
  EXPECT_EQ(Loaded.Layout, (std::vector<Extent>{{100, 210, SectorKind::Mode2Form1, 4},
                                                {0, 50, SectorKind::Mode2Formless, 4},
                                                {60, 70, SectorKind::Mode2Form2, 5}}));
  EXPECT_EQ(Loaded.KindAt(205), SectorKind::Mode2Form1);
  EXPECT_EQ(Loaded.FirstSession, 1);  // from the TOC entries

  ASSERT_TRUE(LoadWith("[Layout]\nFirstSession=2\nLastSession=0\n")) << Error;
  EXPECT_TRUE(Loaded.Layout.empty());
  EXPECT_EQ(Loaded.FirstSession, 2);
  EXPECT_EQ(Loaded.LastSession, 0);
}

struct BadFlt {
  const char* Name;
  const char* Text;
  const char* Message;
};

class MalformedFaultFileTest : public FaultFileTest, public ::testing::WithParamInterface<BadFlt> {};

TEST_P(MalformedFaultFileTest, IsRefusedWithAMessage) {
  EXPECT_FALSE(LoadWith(GetParam().Text));
  EXPECT_NE(Error.find(GetParam().Message), std::string::npos) << Error;
  EXPECT_NE(Error.find("d.flt"), std::string::npos) << Error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedFaultFileTest,
    ::testing::Values(
        BadFlt{"Form2Size", "[Drive]\nForm2Size=2326\n", "2324 or 2328"},
        BadFlt{"Form2SizeRange", "[Drive]\nForm2Size=2048\n", "out of range"},
        BadFlt{"Policy", "[Drive]\nLegacyToc=Maybe\n", "Honour | Reject | Format0"},
        BadFlt{"FlagTwo", "[Drive]\nBcdToc=2\n", "out of range 0..1"},
        BadFlt{"FlagWord", "[Drive]\nBinaryQ=yes\n", "not a number"},
        BadFlt{"LongVendor", "[Drive]\nVendor=NINECHARS\n", "longer than 8"},
        BadFlt{"LongProduct", "[Drive]\nProduct=SEVENTEEN CHARS!!\n", "longer than 16"},
        BadFlt{"ZeroSpeed", "[Drive]\nSpeeds=176,0\n", "out of range"},
        BadFlt{"HugeSpeed", "[Drive]\nSpeeds=70000\n", "out of range"},
        BadFlt{"NegativeJitter", "[Drive]\nJitter=-1\n", "out of range"},
        BadFlt{"RetryCount", "[Drive]\nDefaultRetryCount=256\n", "out of range"},
        BadFlt{"BackwardRange", "[Faults]\nUnreadable=10-5\n", "ends before it starts"},
        BadFlt{"NegativeLba", "[Faults]\nUnreadable=-5\n", "LBA range"},
        BadFlt{"WordRange", "[Faults]\nUnreadable=a-b\n", "not a number"},
        BadFlt{"TooManyFields", "[Faults]\nUnreadable=1,11,00,7\n", "comma-separated"},
        BadFlt{"AscNotHex", "[Faults]\nUnreadable=1,zz\n", "hexadecimal"},
        BadFlt{"AscTooBig", "[Faults]\nUnreadable=1,100\n", "out of range"},
        BadFlt{"RetryWithoutCount", "[Faults]\nRetry=5-6\n", "comma-separated"},
        BadFlt{"FarNeighbour", "[Faults]\nNeighbour=5,-1001\n", "out of range -1000..1000"},
        BadFlt{"OffsetPastSector", "[Faults]\nSoftByte=1,2352,0x5A\n", "out of range 0..2351"},
        BadFlt{"ShortByteFault", "[Faults]\nHardByte=1,2\n", "comma-separated"},
        BadFlt{"CommandKind", "[Faults]\nCommand=0x43,1,Crash\n", "CheckCondition | Timeout"},
        BadFlt{"SenseKey", "[Faults]\nCommand=0x43,1,CheckCondition,10,44,00\n", "out of range 0..15"},
        BadFlt{"Opcode", "[Faults]\nCommand=0x143,1,Timeout\n", "out of range 0..255"},
        BadFlt{"TocFailure", "[Faults]\nToc=Half\n", "None | Legacy | Both"},
        BadFlt{"Beyond", "[Faults]\nBeyondLeadOut=Wrap\n", "Serve | Refuse"},
        BadFlt{"BeyondFrom", "[Faults]\nBeyondFrom=-2\n", "out of range"},
        BadFlt{"Overlap", "[Layout]\nExtent=0,100,AUDIO\nExtent=50,150,MODE1\n", "overlap"},
        BadFlt{"OverlapOutOfOrder", "[Layout]\nExtent=50,150,MODE1\nExtent=0,51,AUDIO\n", "overlap"},
        BadFlt{"EmptyExtent", "[Layout]\nExtent=10,10,MODE1\n", "ends before it starts"},
        BadFlt{"ExtentKind", "[Layout]\nExtent=0,10,MODE3\n", "AUDIO | MODE1"},
        BadFlt{"ExtentControl", "[Layout]\nExtent=0,10,AUDIO,16\n", "out of range 0..15"},
        BadFlt{"Session", "[Layout]\nFirstSession=256\n", "out of range"},
        BadFlt{"UnknownDriveKey", "[Drive]\nColour=blue\n", "line 2 [Drive] Colour: unknown key"},
        BadFlt{"UnknownFaultKey", "[Faults]\nScratch=5\n", "unknown key"},
        BadFlt{"UnknownLayoutKey", "[Layout]\nExtents=0,10,AUDIO\n", "unknown key"},
        BadFlt{"NoEquals", "[Faults]\nUnreadable\n", "KEY=VALUE"},
        BadFlt{"NoSection", "Unreadable=5\n", "outside any"}),
    [](const auto& info) { return std::string(info.param.Name); });

// A disc whose every .flt value differs from the default.
Disc UnusualDisc() {
  Disc disc;
  disc.FirstSession = 1;
  disc.LastSession = 3;
  disc.Toc = {Descriptor(1, 1, 4, 0x01, 0, 2, 0), Descriptor(1, 1, 4, 0xA2, 0, 4, 50)};
  disc.Layout = {{0, 100, SectorKind::Audio, 1},        {100, 150, SectorKind::Mode1, 6},
                 {150, 160, SectorKind::Mode2Form1, 4}, {160, 170, SectorKind::Mode2Form2, 4},
                 {170, 210, SectorKind::Mode2Formless, 4}};
  DriveProfile& p = disc.Profile;
  p.Vendor = "PLEXTOR";
  p.Product = "A B";
  p.Revision = "";
  p.AnsiVersion = 5;
  p.BcdToc = true;
  p.BinaryQ = true;
  p.Speeds = {1411, 353, 65535};
  p.AudioOffset = 667;
  p.Jitter = 12;
  p.Form2Size = 2324;
  p.BlockDescriptor = false;
  p.LegacyToc = LegacyTocPolicy::Reject;
  p.ReadCddaSupported = false;
  p.SetSpeedSupported = false;
  p.ScrambleAudioReads = true;
  p.DefaultRetryCount = 0;
  p.DefaultErrorRecovery = 0x21;
  p.Partial = PartialBlocks::Missing;
  p.Info = PartialInfo::First;
  p.FailTimeMs = 3600000;
  p.RetryTimeMs = 1;
  p.Gap = GapAnswer::IllegalMode;
  p.GapTimeMs = 7;
  p.AnyTypeStops = p.TypeFromHeader = p.CacheRepeat = p.FilterVendorCommands = true;
  p.StrictModeCommands = p.Read10NeedsDensity = p.QCrcZero = true;
  p.Page01Dropped = 0xFF;
  FaultSet& f = disc.Faults;
  f.Unreadable = {{0, 1, 0x11, 0x06}, {120, 130, 0x02, 0xFF}};
  f.Retry = {{140, 141, 255}, {142, 150, 1}};
  f.Flaky = {{150, 151, 100}, {0, 209, 0}};
  f.Neighbour = {{160, 162, -1000}, {0, 1, 1000}};
  f.Bytes = {{0, 0, 0xFF, true}, {209, 2351, 0x01, false}};
  f.Toc = TocFailure::Both;
  f.Beyond = BeyondLeadOut::ByteOffset;
  f.BeyondFromLba = 180;
  f.BeyondAmount = -2352;
  f.Commands = {{0x28, 4294967295u, CommandFaultKind::CheckCondition, 0x0F, 0x00, 0xAB},
                {0x00, 0, CommandFaultKind::Timeout, 0x04, 0x44, 0x00}};
  f.NoMedium = true;
  f.BecomingReadyOnce = true;
  f.UnitAttentionOnce = true;
  return disc;
}

TEST_F(FaultFileTest, EveryKeyRoundTrips) {
  // The defaults round trip too (nothing written as "absent" reads back otherwise).
  for (const Disc& disc : {UnusualDisc(), Disc()}) {
    ASSERT_TRUE(WriteFaultFile(Dir / "d.flt", disc, Error)) << Error;
    ASSERT_TRUE(LoadImageSet(Dir / "d.ccd", Loaded, Error)) << Error;
    EXPECT_EQ(Loaded.Profile, disc.Profile);
    EXPECT_EQ(Loaded.Faults, disc.Faults);
    EXPECT_EQ(Loaded.Layout, disc.Layout);
    EXPECT_EQ(Loaded.FirstSession, disc.FirstSession);
    EXPECT_EQ(Loaded.LastSession, disc.LastSession);
  }
}

TEST_F(FaultFileTest, RefusesToWriteWhatCouldNotBeReadBack) {
  std::vector<std::pair<const char*, void (*)(Disc&)>> cases = {
      {"empty fault range", [](Disc& d) { d.Faults.Unreadable = {{10, 10}}; }},
      {"negative fault LBA", [](Disc& d) { d.Faults.Retry = {{-1, 3, 2}}; }},
      {"offset past the sector", [](Disc& d) { d.Faults.Bytes = {{1, 2352, 1, false}}; }},
      {"comment character", [](Disc& d) { d.Profile.Product = "A;B"; }},
      {"long vendor", [](Disc& d) { d.Profile.Vendor = "NINECHARS"; }},
      {"surrounding blank", [](Disc& d) { d.Profile.Revision = "1.0 "; }},
      {"odd Form 2 size", [](Disc& d) { d.Profile.Form2Size = 2336; }},
      {"overlapping layout", [](Disc& d) { d.Layout = {{0, 10, SectorKind::Audio, 0}, {5, 20, SectorKind::Mode1, 4}}; }},
      {"empty extent", [](Disc& d) { d.Layout = {{5, 5, SectorKind::Audio, 0}}; }},
      {"sense key", [](Disc& d) { d.Faults.Commands = {{0x43, 1, CommandFaultKind::CheckCondition, 0x10, 0, 0}}; }},
  };
  for (auto& [name, damage] : cases) {
    Disc disc;
    damage(disc);
    std::filesystem::remove(Dir / "d.flt");
    Error.clear();
    EXPECT_FALSE(WriteFaultFile(Dir / "d.flt", disc, Error)) << name;
    EXPECT_FALSE(Error.empty()) << name;
    EXPECT_FALSE(std::filesystem::exists(Dir / "d.flt")) << name;
  }
  // No temporary file is left behind either.
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(Dir.Path)) ++files;
  EXPECT_EQ(files, 2u);
}

}  // namespace
}  // namespace emu
