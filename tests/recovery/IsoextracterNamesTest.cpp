// Japanese names on discs genisoimage makes: 8-bit Shift-JIS names (ISO 9660:1999, no
// Joliet) and all-CJK Joliet names, each disc with a folder that holds only a folder. The
// volume read and the recovery scan of the same disc with its roots destroyed list and copy
// every name right.
#include <cstring>

#include "tests/recovery/ExtracterTestSupport.h"

namespace {

using namespace extracter_test;

struct NamedFile {
  std::string Path;    // UTF-8
  std::string OnDisc;  // the bytes the disc's names hold, "/" between folders
};

struct NamesCase {
  const char* Name;
  std::vector<NamedFile> Files;
  std::string Options;    // of genisoimage
  bool DescriptorsLost;   // the scan finds no descriptor to tell the trees apart
};

class JapaneseNames : public ::testing::TestWithParam<NamesCase> {};

TEST_P(JapaneseNames, ListAndCopyEveryNameInTheVolumeReadAndTheScan) {
  const NamesCase& c = GetParam();
  QNL_REQUIRE_TOOL("genisoimage");
  const test_support::TempDir Dir{"qnl-names"};
  const fs::path tree = Dir / "tree";
  for (size_t k = 0; k < c.Files.size(); ++k) {
    fs::create_directories((tree / c.Files[k].OnDisc).parent_path());
    WriteFile(tree / c.Files[k].OnDisc, RandomBytes(1500 + 1000 * k, static_cast<uint32_t>(60 + k)));
  }
  RunShell("find " + Quote(tree) + " -exec touch -h -d @" + std::to_string(kMtime) + " {} +");
  const fs::path iso = Dir / "v.iso";
  ASSERT_EQ(RunShell("genisoimage -quiet " + c.Options + " -o " + Quote(iso) + " " + Quote(tree) + " >/dev/null 2>&1"),
            0);

  // The volume read lists every name and copies every file.
  ExtracterRig intact(iso, emu::SectorKind::Mode1, Dir / "intact");
  ASSERT_TRUE(intact.Ready() && intact.Extracter.ReadVolume(intact.Track));
  for (const NamedFile& f : c.Files) {
    const TExtractedFile* node = NodeAt(intact.Extracter.Root, f.Path);
    ASSERT_NE(node, nullptr) << f.Path << " in " << ::testing::PrintToString(EntriesOf(intact.Extracter.Root));
    const fs::path target = Dir / ("copy" + std::to_string(node->Start));
    ASSERT_TRUE(intact.Extracter.ReadListedFile(*node, target.string()));
    ExpectImageExceptFailed(ReadFile(target), ReadFile(tree / f.OnDisc), node->Start, 2048,
                            intact.Extracter.GetUnreadableCount(), f.Path);
  }

  // The scan of the disc without its roots: each root folder's subtree under a folder of
  // its own, every name below it right.
  std::vector<uint8_t> data = ReadFile(iso);
  const bool flaky = ListingsFlaky(data);
  for (const uint8_t type : {uint8_t{1}, uint8_t{2}})
    if (const auto dirs = DirectoriesOf(data, type); !dirs.empty()) std::memset(&data[dirs.at("").Extent * 2048], 0, 2048);
  if (c.DescriptorsLost) std::memset(&data[16 * 2048], 0, 2 * 2048);
  WriteFile(Dir / "damaged.bin", data);
  ExtracterRig rig(Dir / "damaged.bin", emu::SectorKind::Mode1, Dir / "damaged");
  ASSERT_TRUE(rig.Ready());
  const auto written = ScanWriting(rig, Dir / "out");
  for (const NamedFile& f : c.Files) {
    if (f.Path.find('/') == std::string::npos) continue;  // the lost root's own files
    if (flaky) break;
    const auto* hit = WrittenBelowLostRoot(written, f.Path);
    ASSERT_NE(hit, nullptr) << f.Path << " in " << ::testing::PrintToString(EntriesBelow(Dir / "out"));
    EXPECT_TRUE(ReadFile(hit->second) == ReadFile(tree / f.OnDisc) || test_support::StrictDrives()) << f.Path;
    EXPECT_NE(NodeAt(rig.Extracter.Root, hit->first), nullptr) << hit->first;
  }
}

// 日本 holds only 写真, 写真 holds only 日本: folders whose own bytes cannot tell the two
// encodings apart.
INSTANTIATE_TEST_SUITE_P(
    Discs, JapaneseNames,
    ::testing::Values(
        NamesCase{"ShiftJis",
                  {{"日本/写真/一.bin", "\x93\xFA\x96\x7B/\x8E\xCA\x90\x5E/\x88\xEA.bin"},
                   {"資料/説明.txt", "\x8E\x91\x97\xBF/\x90\xE0\x96\xBE.txt"},
                   {"資料/画像", "\x8E\x91\x97\xBF/\x89\xE6\x91\x9C"},
                   {"readme.txt", "readme.txt"}},
                  // ISO 9660:1999 names keep the Shift-JIS bytes as they are.
                  "-iso-level 4 -input-charset iso8859-1",
                  true},
        NamesCase{"JolietCjk",
                  {{"写真/日本/説明", "写真/日本/説明"}, {"資料/画像", "資料/画像"}, {"日本語", "日本語"}},
                  "-input-charset utf-8 -J -joliet-long",
                  false}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
