// Volume read and copy end to end: ISO images made by real tools, on discs the disc
// builder makes, read through the sector reader from the emulated drive.
#include <cstring>
#include <set>

#include "recovery/Iso9660util.h"
#include "tests/recovery/ExtracterTestSupport.h"

namespace {

using namespace extracter_test;

struct VolumeCase {
  const char* Tool;
  emu::SectorKind Kind;
  bool BigFile;
  uint32_t ReadCmd = 0;  // the sector reader's DataReadCmd
  // The volume lies in a second session the TOC lost, read with the program's default
  // drive settings (beyond the lead-out, user data read as audio) on a drive that refuses
  // audio-type reads of data sectors (05/64/00).
  bool LostSession = false;
};

class VolumeRead : public ::testing::TestWithParam<VolumeCase> {
 protected:
  test_support::TempDir Dir{"qnl-volume"};
};

TEST_P(VolumeRead, EveryFileCopiesOutWithItsTime) {
  const VolumeCase c = GetParam();
  QNL_REQUIRE_TOOL(c.Tool);
  MakeVolumeTree(Dir / "tree", c.BigFile);
  fs::path first, iso = MakeVolumeIso(Dir / "tree", Dir / "volume.iso", c.Tool);
  ASSERT_FALSE(iso.empty());
  if (c.LostSession) {
    first = iso;
    iso = MakeVolumeIso(Dir / "tree", Dir / "update.iso", c.Tool, SecondSessionLba(first, c.Kind));
    ASSERT_FALSE(iso.empty());
  }
  ExtracterRig rig(iso, c.Kind, Dir.Path, {}, first);
  ASSERT_TRUE(rig.Ready());
  ASSERT_EQ(DiscEndAddress < rig.Track.Head, c.LostSession);
  TIsoExtracter& ex = rig.Extracter;
  TDriveSetting setting = reader_test::BaseSetting();
  setting.DataReadCmd = c.ReadCmd;
  if (c.LostSession) {
    setting.Interval = 20;
    setting.ExtReadCmd = 0;
    setting.ExtReadAsAudio = 1;
    setting.TransferBlock = 1;
  }
  rig.Reader.SetDrive(rig.Rig->Cdrom(), setting);
  if (c.ReadCmd == 3 && test_support::VendorCommandsFiltered()) {
    // Every read refused: no volume, and a scan or a copy fails at once, saying why.
    EXPECT_FALSE(ex.ReadVolume(rig.Track));
    EXPECT_FALSE(ex.ExtractFiles(rig.Track));
    EXPECT_EQ(ex.GetFailure(), fcReadRefused);
    EXPECT_TRUE(ex.Root.Children.empty());
    EXPECT_EQ(ex.GetUnreadableCount(), 0u);
    TExtractedFile node;
    node.Start = rig.Track.Head + 20;
    node.Size = 5000;
    EXPECT_FALSE(ex.ReadListedFile(node, (Dir / "refused").string()));
    EXPECT_EQ(ex.GetFailure(), fcReadRefused);
    EXPECT_EQ(ex.GetUnreadableCount(), 0u);
    return;
  }

  ASSERT_TRUE(ex.ReadVolume(rig.Track));
  // A directory sector that failed loses its entries, and is counted.
  const bool whole = ex.GetUnreadableCount() == 0;
  EXPECT_TRUE(whole || test_support::StrictDrives());
  // Every directory sector of a clean disc is taken for one: nothing is reported lost.
  EXPECT_TRUE(ex.GetDamage().DirectorySectors == 0 || !whole);
  EXPECT_TRUE(ex.Joliet);
  EXPECT_EQ(ex.GetVolumeLabel(), "QNLTEST");
  std::map<std::string, const TExtractedFile*> listed;
  std::set<std::string> directories;
  WalkTree(ex.Root, "", [&](const TExtractedFile& node, const std::string& path) {
    if (node.DirRecord.IsDirectory())
      directories.insert(path);
    else
      listed[path] = &node;
  });
  const auto source = FilesBelow(Dir / "tree");
  if (whole) {
    ASSERT_EQ(listed.size(), source.size());
  }
  EXPECT_TRUE(directories.count("docs/" + kJapaneseDir + "/deep"));

  const fs::path out = Dir / "out";
  for (const auto& [path, file] : source) {
    if (!listed.count(path) && !whole) continue;
    ASSERT_TRUE(listed.count(path)) << path;
    const fs::path target = out / path;
    fs::create_directories(target.parent_path());
    ASSERT_TRUE(ex.ReadListedFile(*listed[path], target.string())) << path;
    const uint64_t unreadable = ex.GetUnreadableCount();
    ExpectImageExceptFailed(ReadFile(target), ReadFile(file), listed[path]->Start, 2048, unreadable, path);
    // A copy with holes must not pass for the original, and is told of.
    EXPECT_EQ(MtimeOf(target) == kMtime, unreadable == 0) << path;
    EXPECT_EQ(ex.GetDamage().FileCount, unreadable == 0 ? 0u : 1u) << path;
  }
  EXPECT_EQ(ex.GetState(), wsIdle);
  // An existing file is never replaced.
  EXPECT_FALSE(ex.ReadListedFile(*listed["readme.txt"], (out / "readme.txt").string()));

  // The primary tree with its 8-bit names and versions cut.
  ex.ReadSvd = false;
  ASSERT_TRUE(ex.ReadVolume(rig.Track));
  EXPECT_FALSE(ex.Joliet);
  std::set<std::string> primary;
  WalkTree(ex.Root, "", [&](const TExtractedFile&, const std::string& path) { primary.insert(path); });
  EXPECT_TRUE(primary.count("README.TXT")) << *primary.begin();
  EXPECT_TRUE(primary.count("DOCS/NOTES.BIN"));
}

INSTANTIATE_TEST_SUITE_P(Discs, VolumeRead,
                         ::testing::Values(VolumeCase{"genisoimage", emu::SectorKind::Mode1, false},
                                           VolumeCase{"genisoimage", emu::SectorKind::Mode2Form1, false},
                                           VolumeCase{"xorriso", emu::SectorKind::Mode1, true},
                                           VolumeCase{"xorriso", emu::SectorKind::Mode2Form1, false},
                                           VolumeCase{"genisoimage", emu::SectorKind::Mode1, false, 3},
                                           VolumeCase{"genisoimage", emu::SectorKind::Mode1, false, 0, true}));


// A disc of 342 files in 18 folders, each with a subfolder, whose directory sectors of one
// tree are lost to a scratch or one bad sector while the other tree reads: the volume read
// lists the lost directories from the other tree, keeping the names it can, and every file
// copies out whole with the default settings.
struct FallbackCase {
  const char* Name;
  bool ReadSvd;
  uint8_t Lost;          // descriptor type whose tree is damaged
  std::string Damaged;   // "*": every subdirectory; else the directory at that path
};

class VolumeFallback : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(VolumeFallback, EveryFileOfALostDirectoryComesFromTheOtherTree) {
  const FallbackCase& c = GetParam();
  QNL_REQUIRE_TOOL("xorriso");
  const test_support::TempDir Dir{"qnl-fallback"};
  const fs::path tree = Dir / "tree";
  for (int d = 0; d < 18; ++d) {
    const std::string set = "set_" + std::string(d < 10 ? "0" : "") + std::to_string(d);
    fs::create_directories(tree / set / "inner");
    for (int f = 0; f < 19; ++f)
      WriteFile(tree / set / (f < 17 ? "" : "inner/") / ("item_" + std::to_string(100 + f) + ".dat"),
                RandomBytes(100 + 331 * ((d * 19 + f) % 23), d * 19 + f));
  }
  RunShell("find " + Quote(tree) + " -exec touch -h -d @" + std::to_string(kMtime) + " {} +");
  const fs::path iso = MakeVolumeIso(tree, Dir / "v.iso", "xorriso");
  ASSERT_FALSE(iso.empty());
  const auto damagedTree = DirectoriesOf(ReadFile(iso), c.Lost);
  ASSERT_EQ(damagedTree.size(), 37u);
  emu::FaultSet faults;
  for (const auto& [path, dir] : damagedTree)
    if (c.Damaged == "*" ? !path.empty() : path == c.Damaged) MakeUnreadable(faults, dir);
  ExtracterRig rig(iso, emu::SectorKind::Mode1, Dir.Path, faults);
  ASSERT_TRUE(rig.Ready());
  TIsoExtracter& ex = rig.Extracter;
  ex.ReadSvd = c.ReadSvd;
  ASSERT_TRUE(ex.ReadVolume(rig.Track));
  EXPECT_GT(ex.GetUnreadableCount(), 0u);
  // Nothing is missing, so the read tells of no lost directory sector.
  const uint64_t lacking = ex.GetDamage().DirectorySectors;
  EXPECT_TRUE(lacking == 0 || test_support::StrictDrives()) << lacking;

  // Every file at its place, the other tree's names differing only in case; the folders
  // the readable root lists keep its names.
  const auto fold = [](std::string s, int (*to)(int)) {
    for (char& ch : s) ch = static_cast<char>(to(static_cast<unsigned char>(ch)));
    return s;
  };
  std::map<std::string, const TExtractedFile*> listed;
  WalkTree(ex.Root, "", [&](const TExtractedFile& node, const std::string& path) {
    if (!node.DirRecord.IsDirectory()) listed[fold(path, ::tolower)] = &node;
    if (path.find('/') == std::string::npos && !c.Damaged.empty()) {
      EXPECT_EQ(path, fold(path, c.ReadSvd ? ::tolower : ::toupper));
    }
  });
  const auto source = FilesBelow(tree);
  EXPECT_EQ(listed.size(), source.size());
  for (const auto& [path, file] : source) {
    if (!listed.count(path) && lacking != 0) continue;
    ASSERT_TRUE(listed.count(path)) << path;
    const fs::path target = Dir / "out" / path;
    fs::create_directories(target.parent_path());
    ASSERT_TRUE(ex.ReadListedFile(*listed[path], target.string())) << path;
    ExpectImageExceptFailed(ReadFile(target), ReadFile(file), listed[path]->Start, 2048, ex.GetUnreadableCount(),
                            path);
  }
}

INSTANTIATE_TEST_SUITE_P(Damage, VolumeFallback,
                         ::testing::Values(FallbackCase{"JolietScratch", true, 2, "*"},
                                           FallbackCase{"OneJolietSector", true, 2, "set_05"},
                                           FallbackCase{"JolietRoot", true, 2, ""},
                                           FallbackCase{"PrimaryScratch", false, 1, "*"}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
