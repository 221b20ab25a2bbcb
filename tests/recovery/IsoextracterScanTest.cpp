// The recovery scan end to end: a genisoimage volume whose primary descriptor and root
// directory are destroyed, followed by files made by real tools, noise and zeros, on a
// disc the disc builder makes; the real plug-ins carve through the plug-in manager.
#include <algorithm>
#include <cstring>
#include <set>

#include "recovery/Iso9660util.h"
#include "tests/recovery/ExtracterTestSupport.h"

namespace {

using namespace extracter_test;

constexpr size_t kUser = 2048;

struct Placed {
  Sample What;
  int64_t First = 0, Last = 0;  // frames
};

class RecoveryScan : public ::testing::Test {
 protected:
  // Builds the disc's user data: the damaged volume, then per sample its file padded to
  // whole sectors, noise runs and a zero sector, then a last run of noise to the track end.
  void SetUp() override {
    QNL_REQUIRE_TOOL("genisoimage");
    QNL_REQUIRE_TOOL("convert");
    MakeVolumeTree(Dir / "tree", false);
    const fs::path iso = MakeVolumeIso(Dir / "tree", Dir / "v.iso", "genisoimage");
    ASSERT_FALSE(iso.empty());
    Data = ReadFile(iso);
    const uint32_t root = BothEndian32Lsb(&Data[16 * kUser + 156 + 2]);
    std::memset(&Data[root * kUser], 0, kUser);  // the primary root directory
    std::memset(&Data[16 * kUser], 0, kUser);    // the primary descriptor
    for (const Sample& s : MakeSamples(Dir.Path)) {
      Placed p{s, Frame(), 0};
      Append(ReadFile(s.File));
      p.Last = Frame() - 1;
      Samples.push_back(p);
    }
    ASSERT_GE(Samples.size(), 6u);
    NoiseFirst = Frame();
    Append(Noise(3 * kUser + 100, 21));  // a run that ends at a zero tail
    Append(std::vector<uint8_t>(kUser, 0));
    LastRunFirst = Frame();
    Append(Noise(3 * kUser, 22));  // the run the track end closes
    WriteFile(Dir / "disc.bin", Data);
  }

  int64_t Frame() const { return 150 + static_cast<int64_t>(Data.size() / kUser); }
  void Append(const std::vector<uint8_t>& bytes) {
    Data.insert(Data.end(), bytes.begin(), bytes.end());
    Data.resize((Data.size() + kUser - 1) / kUser * kUser, 0);
  }
  // Random bytes that no plug-in takes for the start of a file.
  static std::vector<uint8_t> Noise(size_t size, uint32_t seed) {
    std::vector<uint8_t> noise = RandomBytes(size, seed);
    for (size_t i = 0; i < size; i += kUser) noise[i] = 0x11;
    return noise;
  }

  test_support::TempDir Dir{"qnl-scan"};
  std::vector<uint8_t> Data;
  std::vector<Placed> Samples;
  int64_t NoiseFirst = 0, LastRunFirst = 0;
};

TEST_F(RecoveryScan, RebuildsLostDirectoriesCarvesAndKeepsRuns) {
  ExtracterRig rig(Dir / "disc.bin", emu::SectorKind::Mode1, Dir.Path);
  ASSERT_TRUE(rig.Ready());
  ASSERT_EQ(rig.Plugins.LoadPlugins(QNL_REAL_PLUGIN_DIR), 10);
  TIsoExtracter& ex = rig.Extracter;
  ex.ListOnly = false;
  ex.DelTailZero = true;
  ex.Folder = (Dir / "out").string();
  ASSERT_TRUE(ex.ExtractFiles(rig.Track));
  EXPECT_EQ(ex.GetState(), wsIdle);
  EXPECT_EQ(rig.View.GetModel().GetPosition(), rig.View.GetModel().GetMaximum());
  // Found directories and carves move the bar on; it never goes back.
  EXPECT_TRUE(std::is_sorted(rig.Shown.begin(), rig.Shown.end()));
  EXPECT_LE(*std::max_element(rig.Shown.begin(), rig.Shown.end()), rig.View.GetModel().GetMaximum());

  // Every file of the volume comes out byte-identical with its time, the root's own
  // files through the Joliet root, which is intact.
  const auto written = FilesBelow(Dir / "out");
  std::multimap<std::vector<uint8_t>, fs::path> byContent;
  for (const auto& [rel, path] : written) byContent.emplace(ReadFile(path), path);
  for (const auto& [rel, path] : FilesBelow(Dir / "tree")) {
    const auto range = byContent.equal_range(ReadFile(path));
    EXPECT_TRUE(std::any_of(range.first, range.second, [](const auto& e) { return MtimeOf(e.second) == kMtime; }))
        << rel;
  }
  EXPECT_TRUE(written.count("readme.txt"));
  EXPECT_TRUE(written.count(kLongName));
  // Files first written through the primary tree end up under their Joliet names.
  EXPECT_TRUE(written.count("docs/" + kJapaneseDir + "/" + kJapaneseFile));
  EXPECT_TRUE(written.count("\xE5\x86\x99\xE7\x9C\x9F/" + kJapaneseDir + "/a/photo.bin"));

  // Carved through the real plug-ins, named by their first and last sector, and runs:
  // each holds the disc's bytes, where a sector failed zeros that the scan counted.
  uint64_t differ = 0;
  for (const TExtractedFile& n : ex.Root.Children) {
    if (n.Kind < nkZeroTailRun || !written.count(n.Name)) continue;
    const std::vector<uint8_t> run = ReadFile(written.at(n.Name));
    const auto from = Data.begin() + (n.Start - 150) * kUser;
    const std::vector<uint8_t> image(from, from + static_cast<std::ptrdiff_t>(run.size()));
    differ += ExpectImageExceptFailed(run, image, n.Start, kUser, std::nullopt, n.Name);
  }
  for (const Placed& p : Samples) {
    const std::string name = std::to_string(p.First) + "_" + std::to_string(p.Last) + p.What.Extension;
    ASSERT_TRUE(written.count(name)) << name;
    const std::vector<uint8_t> carved = ReadFile(written.at(name));
    differ += ExpectImageExceptFailed(carved, ReadFile(p.What.File), p.First, kUser, std::nullopt, name);
  }

  // Runs: one ended at a zero tail (its zeros dropped), one ended by the track end.
  const std::string tailRun = std::to_string(NoiseFirst) + "_" + std::to_string(NoiseFirst + 3);
  const std::string lastRun = std::to_string(LastRunFirst) + "_" + std::to_string(rig.Track.Tail - 1);
  ASSERT_TRUE(written.count(tailRun) && written.count(lastRun));
  EXPECT_EQ(fs::file_size(written.at(tailRun)), 3 * kUser + 100);
  EXPECT_EQ(fs::file_size(written.at(lastRun)), 3 * kUser);
  EXPECT_LE(differ, ex.GetUnreadableCount());
  std::map<std::string, const TExtractedFile*> nodes;
  bool cjkDirectory = false;
  WalkTree(ex.Root, "", [&](const TExtractedFile& n, const std::string& path) {
    nodes[path] = &n;
    cjkDirectory = cjkDirectory || (n.Name == kJapaneseDir && n.Kind == nkFound);
  });
  ASSERT_TRUE(nodes.count(tailRun) && nodes.count(lastRun));
  EXPECT_EQ(nodes[tailRun]->Kind, nkZeroTailRun);
  EXPECT_EQ(nodes[tailRun]->Size, 3 * kUser + 100);
  EXPECT_EQ(nodes[tailRun]->TailZeroCount, kUser - 100);
  EXPECT_EQ(nodes[lastRun]->Kind, nkHitRun);
  EXPECT_TRUE(cjkDirectory);
  // The tree names every file where it is, and no folder is left empty by those that
  // moved to their Joliet names.
  for (const auto& [rel, path] : written) {
    EXPECT_FALSE(std::all_of(rel.begin(), rel.end(), ::isdigit)) << "a run left open: " << rel;
    EXPECT_TRUE(nodes.count(rel)) << rel;
  }
  for (const auto& e : EntriesBelow(Dir / "out"))
    EXPECT_FALSE(e.ends_with("/") && fs::is_empty(Dir / "out" / e)) << e;

  ExpectListingGivesTheSameTree(ex, rig.Track, Dir / "listed");

  // Without the Joliet descriptor too, its root is still the root: its "." and ".." agree
  // and nothing lists it. The same found files at the same places.
  const auto found = [](const TExtractedFile& root) {
    std::set<std::string> paths;
    WalkTree(root, "", [&](const TExtractedFile& n, const std::string& path) {
      if (n.Kind == nkFound) paths.insert(path);
    });
    return paths;
  };
  ASSERT_EQ(Data[17 * kUser], 2);  // the Joliet descriptor
  std::memset(&Data[17 * kUser], 0, kUser);
  WriteFile(Dir / "nodescriptor.bin", Data);
  ExtracterRig bare(Dir / "nodescriptor.bin", emu::SectorKind::Mode1, Dir / "bare");
  ASSERT_TRUE(bare.Ready());
  ASSERT_TRUE(bare.Extracter.ExtractFiles(bare.Track));
  EXPECT_EQ(found(bare.Extracter.Root), found(ex.Root));
}

TEST_F(RecoveryScan, CancelClosesTheRunAndReportsNothingDone) {
  ExtracterRig rig(Dir / "disc.bin", emu::SectorKind::Mode1, Dir.Path);
  ASSERT_TRUE(rig.Ready());
  TIsoExtracter& ex = rig.Extracter;
  CancellingView view(ex, pcSetPosition, 1);  // after the first 64 sectors
  ex.SetProgressView(&view);
  ex.ListOnly = false;
  ex.DetectDir = false;  // the volume's sectors become runs: the cancel lands in one
  ex.Folder = (Dir / "out").string();
  EXPECT_FALSE(ex.ExtractFiles(rig.Track));
  EXPECT_EQ(view.Closing, std::vector<int8_t>{pcCancelled});
  EXPECT_EQ(ex.GetState(), wsIdle);
  // The scan stopped at the cancel, and the run it was in is closed and named by its last
  // sector, which is the last the scan read.
  const auto written = FilesBelow(Dir / "out");
  int64_t last = 0;
  for (const auto& [rel, path] : written) {
    ASSERT_NE(rel.find('_'), std::string::npos) << "a run left open: " << rel;
    last = std::max<int64_t>(last, std::stoll(rel.substr(rel.find('_') + 1)));
  }
  EXPECT_EQ(last, rig.Track.Head + 63);  // the 64th sector
  EXPECT_EQ(ex.Root.Children.back().Name, std::to_string(ex.Root.Children.back().Start) + "_" + std::to_string(last));
}

// Hard links and empty files in two lost directories: each shares its extent with another
// name, yet every name a directory lists is written once, in its own folder, byte-identical
// with its time, whichever name encoding's tree the scan meets first. A subdirectory that
// lies before its parent is found twice; its files are still written once.
class RecoveryScanLinks : public ::testing::TestWithParam<const char*> {};

TEST_P(RecoveryScanLinks, EveryNameOfALostDirectoryGetsItsFile) {
  QNL_REQUIRE_TOOL(GetParam());
  test_support::TempDir dir{"qnl-links"};
  const fs::path tree = dir / "tree";
  fs::create_directories(tree / "dirA" / "sub");
  WriteFile(tree / "dirA" / "sub" / "x.bin", RandomBytes(2500, 33));
  fs::create_directories(tree / "dirB");
  WriteFile(tree / "dirA" / "same.bin", RandomBytes(3000, 31));
  WriteFile(tree / "dirA" / "a.bin", RandomBytes(5000, 32));
  // Empty files of different times, which the Joliet tree sorts in another order.
  for (const char* empty : {"dirA/b0.txt", "dirA/Z0.txt", "dirB/b0.txt"}) WriteFile(tree / empty, "");
  fs::create_hard_link(tree / "dirA" / "same.bin", tree / "dirB" / "same.bin");  // same name
  fs::create_hard_link(tree / "dirA" / "a.bin", tree / "dirB" / "b.bin");        // other name
  RunShell("find " + Quote(tree) + " -exec touch -h -d @" + std::to_string(kMtime) + " {} +");
  RunShell("touch -d @" + std::to_string(kMtime + 7200) + " " + Quote(tree / "dirA" / "Z0.txt"));
  ASSERT_FALSE(MakeVolumeIso(tree, dir / "v.iso", GetParam()).empty());
  std::vector<uint8_t> data = ReadFile(dir / "v.iso");
  const uint32_t root = BothEndian32Lsb(&data[16 * kUser + 156 + 2]);
  const auto record = [&](uint32_t sector, const std::string& name) {
    size_t pos = sector * kUser;
    while (data[pos] != 0 && std::string(reinterpret_cast<const char*>(&data[pos + 33]), data[pos + 32]) != name)
      pos += data[pos];
    return &data[pos];
  };
  const auto setExtent = [](uint8_t* r, uint32_t extent) {
    for (int k = 0; k < 4; ++k) r[2 + k] = r[9 - k] = static_cast<uint8_t>(extent >> (8 * k));
  };
  // The primary DIRA and its SUB swap places, so that the scan meets SUB first.
  const uint32_t dirA = BothEndian32Lsb(record(root, "DIRA") + 2), sub = BothEndian32Lsb(record(dirA, "SUB") + 2);
  ASSERT_LT(dirA, sub);
  std::swap_ranges(&data[dirA * kUser], &data[(dirA + 1) * kUser], &data[sub * kUser]);
  setExtent(record(sub, std::string(1, '\0')), sub);
  setExtent(record(sub, "SUB"), dirA);
  setExtent(record(dirA, std::string(1, '\0')), dirA);
  setExtent(record(dirA, std::string(1, '\1')), sub);
  std::memset(&data[root * kUser], 0, kUser);  // the primary root: its subdirectories are lost
  std::memset(&data[16 * kUser], 0, kUser);    // the primary descriptor
  WriteFile(dir / "disc.bin", data);

  ExtracterRig rig(dir / "disc.bin", emu::SectorKind::Mode1, dir.Path);
  ASSERT_TRUE(rig.Ready());
  const auto written = ScanWriting(rig, dir / "out");
  for (const auto& [rel, path] : FilesBelow(tree)) {
    ASSERT_TRUE(written.count(rel)) << rel;
    EXPECT_TRUE(ReadFile(written.at(rel)) == ReadFile(path)) << rel;
    EXPECT_EQ(MtimeOf(written.at(rel)), MtimeOf(path)) << rel;
  }
  // The 8-bit listings moved to their Joliet names: no name written twice.
  const auto inFolders = std::count_if(written.begin(), written.end(),
                                       [](const auto& e) { return e.first.find('/') != std::string::npos; });
  EXPECT_EQ(inFolders, 8);
}

INSTANTIATE_TEST_SUITE_P(Tools, RecoveryScanLinks, ::testing::Values("genisoimage", "xorriso"));

// Both root directories destroyed, with or without the descriptors: each found directory
// gets a folder of its own, its subfolders under it, so that the two "photos" never merge
// (one tool writes the ".." of every Joliet directory as its own ".", which makes none of
// them the root). An empty subfolder and one whose listings are unreadable keep their node
// and folder, a file with an unreadable sector is named in the damage, and the tree and the
// folders agree on every name with no folder left empty by the files that moved to their
// Joliet names.
class FoundDirectoryPlaces : public ::testing::TestWithParam<std::tuple<const char*, bool>> {};

TEST_P(FoundDirectoryPlaces, EveryFolderUnderItsParentAndTheTreeAsOnDisk) {
  const auto& [tool, descriptorsLost] = GetParam();
  QNL_REQUIRE_TOOL(tool);
  test_support::TempDir dir{"qnl-places"};
  const fs::path tree = dir / "tree";
  fs::create_directories(tree / "alpha" / "empty");
  for (const auto& [file, size] : {std::pair{"alpha/photos/one.bin", 3000}, {"beta/photos/two.bin", 5000},
                                   {"beta/lost/three.bin", 700}, {"beta/holed.bin", 10000}}) {
    fs::create_directories((tree / file).parent_path());
    WriteFile(tree / file, RandomBytes(size, static_cast<uint32_t>(size)));
  }
  RunShell("find " + Quote(tree) + " -exec touch -h -d @" + std::to_string(kMtime) + " {} +");
  ASSERT_FALSE(MakeVolumeIso(tree, dir / "v.iso", tool).empty());
  std::vector<uint8_t> data = ReadFile(dir / "v.iso");
  const auto primary = DirectoriesOf(data, 1), joliet = DirectoriesOf(data, 2);
  const bool flaky = ListingsFlaky(data);
  emu::FaultSet faults;
  MakeUnreadable(faults, primary.at("BETA/LOST"));
  MakeUnreadable(faults, joliet.at("beta/lost"));
  const std::vector<uint8_t> holed = ReadFile(tree / "beta" / "holed.bin");
  const auto at = std::search(data.begin(), data.end(), holed.begin(), holed.begin() + kUser);
  MakeUnreadable(faults, {static_cast<uint32_t>((at - data.begin()) / kUser) + 1, 1});
  for (const auto* t : {&primary, &joliet}) std::memset(&data[t->at("").Extent * kUser], 0, kUser);
  if (descriptorsLost) std::memset(&data[16 * kUser], 0, 2 * kUser);
  WriteFile(dir / "disc.bin", data);
  ExtracterRig rig(dir / "disc.bin", emu::SectorKind::Mode1, dir.Path, faults);
  ASSERT_TRUE(rig.Ready());
  TIsoExtracter& ex = rig.Extracter;
  const auto written = ScanWriting(rig, dir / "out");

  // The found folders in the tree are what is on disk (runs of zeros have no entry).
  const auto inFolders = [](std::set<std::string> all) {
    std::erase_if(all, [](const std::string& e) { return e.find('/') == std::string::npos; });
    return all;
  };
  const std::set<std::string> entries = inFolders(EntriesBelow(dir / "out"));
  EXPECT_EQ(inFolders(EntriesOf(ex.Root)), entries);
  if (flaky) return;

  std::map<std::string, std::string> folderOf;  // file -> the top folder it went to
  for (const auto& [rel, path] : FilesBelow(tree)) {
    if (rel.starts_with("beta/lost/")) continue;
    const auto* hit = WrittenBelowLostRoot(written, rel);
    ASSERT_NE(hit, nullptr) << rel;
    EXPECT_TRUE(rel == "beta/holed.bin" || ReadFile(hit->second) == ReadFile(path)) << rel;
    folderOf[rel] = hit->first.substr(0, hit->first.find('/'));
  }
  const std::string alpha = folderOf["alpha/photos/one.bin"], beta = folderOf["beta/photos/two.bin"];
  EXPECT_NE(alpha, beta);
  EXPECT_EQ(folderOf["beta/holed.bin"], beta);
  // The only empty folders: the empty and the lost one.
  std::set<std::string> empty;
  for (const auto& e : entries)
    if (e.ends_with("/") && fs::is_empty(dir / "out" / e)) empty.insert(e);
  EXPECT_EQ(empty, (std::set<std::string>{alpha + "/empty/", beta + "/lost/"}));

  // The damage: the holed file by its place, and the lost listings of both trees.
  const auto& damage = ex.GetDamage();
  EXPECT_EQ(damage.Files, std::vector<std::string>{beta + "/holed.bin"});
  EXPECT_EQ(damage.FileCount, 1u);
  EXPECT_EQ(damage.DirectorySectors, 2u);

  ExpectListingGivesTheSameTree(ex, rig.Track, dir / "listed");
}

INSTANTIATE_TEST_SUITE_P(Tools, FoundDirectoryPlaces,
                         ::testing::Combine(::testing::Values("genisoimage", "xorriso"), ::testing::Bool()));

}  // namespace
