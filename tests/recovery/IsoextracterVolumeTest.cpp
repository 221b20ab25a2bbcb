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
};

class VolumeRead : public ::testing::TestWithParam<VolumeCase> {
 protected:
  buildertest::TempDir Dir{"qnl-volume"};
};

TEST_P(VolumeRead, EveryFileCopiesOutWithItsTime) {
  const VolumeCase c = GetParam();
  QNL_REQUIRE_TOOL(c.Tool);
  MakeVolumeTree(Dir / "tree", c.BigFile);
  const fs::path iso = MakeVolumeIso(Dir / "tree", Dir / "volume.iso", c.Tool);
  ASSERT_FALSE(iso.empty());
  ExtracterRig rig(iso, c.Kind, Dir.Path);
  ASSERT_TRUE(rig.Ready());
  TIsoExtracter& ex = rig.Extracter;
  TDriveSetting setting = reader_test::BaseSetting();
  setting.DataReadCmd = c.ReadCmd;
  rig.Reader.SetDrive(rig.Rig->Cdrom(), setting);
  if (c.ReadCmd == 3 && test_support::VendorCommandsFiltered()) {
    // Every read refused: no volume, and a scan or a copy fails at once, saying why.
    EXPECT_FALSE(ex.ReadVolume(rig.Track));
    EXPECT_FALSE(ex.ExtractFiles(rig.Track));
    EXPECT_EQ(rig.View.GetModel().GetStatusText(), TSectorReader::kReadCommandRefused);
    EXPECT_TRUE(ex.Root.Children.empty());
    EXPECT_EQ(ex.GetUnreadableCount(), 0u);
    TExtractedFile node;
    node.Start = rig.Track.Head + 20;
    node.Size = 5000;
    EXPECT_FALSE(ex.ReadListedFile(node, (Dir / "refused").string()));
    EXPECT_EQ(rig.View.GetModel().GetStatusText(), TSectorReader::kReadCommandRefused);
    EXPECT_EQ(ex.GetUnreadableCount(), 0u);
    return;
  }

  ASSERT_TRUE(ex.ReadVolume(rig.Track));
  // A directory sector that failed loses its entries, and is counted.
  const bool whole = ex.GetUnreadableCount() == 0;
  EXPECT_TRUE(whole || test_support::StrictDrives());
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
    // A copy with holes must not pass for the original.
    EXPECT_EQ(MtimeOf(target) == kMtime, unreadable == 0) << path;
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
                                           VolumeCase{"genisoimage", emu::SectorKind::Mode1, false, 3}));

}  // namespace
