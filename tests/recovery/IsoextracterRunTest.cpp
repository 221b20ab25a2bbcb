// Run files and carves of the recovery scan on a disc of chosen sectors: noise, a zero
// tail, an unreadable sector, a zero sector and files a scripted plug-in module claims,
// among them plug-ins that throw and one that never ends.
#include <algorithm>
#include <cstring>

#include "recovery/Iso9660util.h"
#include "tests/recovery/ExtracterTestSupport.h"

namespace {

using namespace extracter_test;

// Sector k of the disc (frame 150 + k).
enum : int64_t { kNoiseA, kNoiseB, kBad, kTail, kZero, kLone, kCarve, kThrow = kCarve + 4, kFindEndThrows, kNever };
constexpr int64_t kSectors = kNever + 3;
constexpr uint32_t kCarveLength = 3 * 2048 + 10;

std::string Name(int64_t first, int64_t last, const std::string& extension = "") {
  return std::to_string(150 + first) + "_" + std::to_string(150 + last) + extension;
}

struct RunCase {
  emu::SectorKind Kind;
  bool DelTailZero;
  bool DivAtErr;
  std::map<std::string, uint64_t> Files;  // name -> bytes on disk, besides the common ones
  std::map<std::string, std::pair<int, uint32_t>> Nodes;  // name -> kind, size
  // The last file says its length, which runs past the track end, instead of never ending.
  bool CarvePastTheEnd = false;
};

class RunFiles : public ::testing::TestWithParam<RunCase> {
 protected:
  std::vector<uint8_t> MakeData(uint32_t user, bool pastTheEnd) {
    std::vector<uint8_t> data = RandomBytes(kSectors * user, 31);
    auto sector = [&](int64_t k) { return data.data() + k * user; };
    for (int64_t k = 0; k < kSectors; ++k) sector(k)[0] = 0x11;  // no plug-in start by chance
    std::memset(sector(kTail) + 100, 0, user - 100);
    std::memset(sector(kZero), 0, user);
    std::memcpy(sector(kCarve), "QNLCARVE", 8);
    std::memcpy(sector(kCarve) + 8, &kCarveLength, 4);
    std::memset(sector(kCarve) + kCarveLength, 0, 4 * user - kCarveLength);
    std::memcpy(sector(kThrow), "QNLTHROW", 8);
    std::memcpy(sector(kFindEndThrows), "QNLFTHRW", 8);
    std::memcpy(sector(kNever), pastTheEnd ? "QNLCARVE" : "QNLNEVER", 8);
    const uint32_t beyond = 10 * user;
    if (pastTheEnd) std::memcpy(sector(kNever) + 8, &beyond, 4);
    return data;
  }
  test_support::TempDir Dir{"qnl-runs"};
};

TEST_P(RunFiles, SplitNameAndListAsTheOptionsSay) {
  const RunCase& c = GetParam();
  const uint32_t user = emu::SectorPayloadBytes(c.Kind);
  const std::vector<uint8_t> data = MakeData(user, c.CarvePastTheEnd);
  WriteFile(Dir / "data.bin", data);
  emu::FaultSet faults;
  faults.Unreadable.push_back({static_cast<int32_t>(kBad), static_cast<int32_t>(kBad + 1)});
  // Beyond the drive's correction: under the transfer-block bit it sends the damaged block along.
  faults.Bytes.push_back({static_cast<int32_t>(kCarve + 1), 100, 0x5A, /*Hard=*/true});
  ExtracterRig rig(Dir / "data.bin", c.Kind, Dir.Path, faults);
  ASSERT_TRUE(rig.Ready());
  TDriveSetting setting = reader_test::BaseSetting();
  setting.TransferBlock = 1;
  rig.Reader.SetDrive(rig.Rig->Cdrom(), setting);
  ASSERT_EQ(rig.Plugins.LoadPlugins(QNL_SCRIPTED_PLUGIN_DIR), 1);
  TIsoExtracter& ex = rig.Extracter;
  ex.DelTailZero = c.DelTailZero;
  ex.DivAtErr = c.DivAtErr;
  ex.ListOnly = false;
  ex.Folder = (Dir / "out").string();
  ASSERT_TRUE(ex.ExtractFiles(rig.Track));

  std::map<std::string, uint64_t> files = c.Files;
  files[Name(kLone, kLone)] = user;  // a one-sector run closed by a hit
  files[Name(kCarve, kCarve + 3, ".qnl")] = kCarveLength;
  files[Name(kThrow, kThrow)] = user;  // Detect threw: plain data, closed by the next hit
  files[Name(kNever, kSectors - 1, ".qnl")] = 3 * uint64_t{user};  // ends with the track, named by its last sector
  std::map<std::string, uint64_t> written;
  for (const auto& [rel, path] : FilesBelow(Dir / "out")) written[rel] = fs::file_size(path);
  EXPECT_EQ(written, files);
  EXPECT_EQ(ex.GetUnreadableCount(), 2u);
  // The files holding zeros for unreadable sectors: the carve, and the run unless the error ended it.
  std::vector<std::string> damaged{Name(kCarve, kCarve + 3, ".qnl")};
  if (!c.DivAtErr) damaged.insert(damaged.begin(), Name(kNoiseA, kTail));
  EXPECT_EQ(ex.GetDamage().Files, damaged);
  EXPECT_EQ(ex.GetDamage().FileCount, damaged.size());
  EXPECT_EQ(ex.GetDamage().DirectorySectors, 0u);
  // The damaged sector's place in the carve holds zeros, not what the drive sent.
  std::vector<uint8_t> carved(data.begin() + kCarve * user, data.begin() + kCarve * user + kCarveLength);
  std::fill_n(carved.begin() + user, user, 0);
  EXPECT_TRUE(ReadFile(Dir / "out" / Name(kCarve, kCarve + 3, ".qnl")) == carved);

  std::map<std::string, std::pair<int, uint32_t>> nodes = c.Nodes;
  nodes[Name(kLone, kLone)] = {nkHitRun, user};
  nodes[Name(kCarve, kCarve + 3, ".qnl")] = {nkCarved, kCarveLength};
  nodes[Name(kThrow, kThrow)] = {nkHitRun, user};
  nodes[Name(kNever, kSectors - 1, ".qnl")] = {nkCarved, 3 * user};
  std::map<std::string, std::pair<int, uint32_t>> listed;
  for (const auto& n : ex.Root.Children) listed[n.Name] = {n.Kind, n.Size};
  EXPECT_EQ(listed, nodes);

  ExpectListingGivesTheSameTree(ex, rig.Track, Dir / "listed");
}

const uint64_t kFullRun = 4 * 2048;  // A, B, the zero block for the bad sector, the tail sector
INSTANTIATE_TEST_SUITE_P(
    Options, RunFiles,
    ::testing::Values(
        RunCase{emu::SectorKind::Mode1, false, false,
                {{Name(kNoiseA, kTail), kFullRun}, {Name(kZero, kZero), 2048}},
                {{Name(kNoiseA, kTail), {nkZeroTailRun, 3 * 2048 + 100}}}},
        RunCase{emu::SectorKind::Mode1, true, false, {{Name(kNoiseA, kTail), 3 * 2048 + 100}},
                {{Name(kNoiseA, kTail), {nkZeroTailRun, 3 * 2048 + 100}}}, true},
        RunCase{emu::SectorKind::Mode2Form1, false, true,
                {{Name(kNoiseA, kNoiseB), 2 * 2048}, {Name(kTail, kTail), 2048}, {Name(kZero, kZero), 2048}},
                {{Name(kNoiseA, kNoiseB), {nkReadErrorRun, 2 * 2048}}, {Name(kTail, kTail), {nkZeroTailRun, 100}}}},
        RunCase{emu::SectorKind::Mode2Form1, true, true,
                {{Name(kNoiseA, kNoiseB), 2 * 2048}, {Name(kTail, kTail), 100}},
                {{Name(kNoiseA, kNoiseB), {nkReadErrorRun, 2 * 2048}}, {Name(kTail, kTail), {nkZeroTailRun, 100}}}, true}));

// A volume whose descriptor, root and one directory are unreadable: the scan finds the
// other directory and writes its file; the lost directory's file, which lies just before
// it, becomes a run of exactly its own sectors, not one that reaches over the written
// file to the padding behind it.
TEST(RunBesideFoundFiles, EndsWhereAFoundFileBegins) {
  QNL_REQUIRE_TOOL("genisoimage");
  test_support::TempDir dir{"qnl-runbeside"};
  fs::create_directories(dir / "tree" / "a");
  fs::create_directories(dir / "tree" / "b");
  const std::vector<uint8_t> lost = RandomBytes(2 * 2048, 41), found = RandomBytes(3000, 42);
  WriteFile(dir / "tree" / "a" / "lost.bin", lost);
  WriteFile(dir / "tree" / "b" / "found.bin", found);
  RunShell("touch -d @" + std::to_string(kMtime) + " " + Quote(dir / "tree" / "b" / "found.bin"));
  // The lost directory's file first, the found one right behind it.
  const std::string order = (dir / "tree" / "a" / "lost.bin").string() + " 2\n" +
                            (dir / "tree" / "b" / "found.bin").string() + " 1\n";
  WriteFile(dir / "order", std::vector<uint8_t>(order.begin(), order.end()));
  ASSERT_EQ(RunShell("genisoimage -quiet -R -sort " + Quote(dir / "order") + " -o " + Quote(dir / "v.iso") + " " +
                     Quote(dir / "tree")),
            0);
  const std::vector<uint8_t> iso = ReadFile(dir / "v.iso");
  // Sector of an entry of the directory at `sector`, by its name's start.
  auto extentOf = [&](uint32_t sector, const std::string& name) -> uint32_t {
    for (size_t pos = sector * 2048ul; iso[pos] != 0; pos += iso[pos])
      if (std::string(iso.begin() + pos + 33, iso.begin() + pos + 33 + iso[pos + 32]).starts_with(name))
        return BothEndian32Lsb(&iso[pos + 2]);
    return 0;
  };
  const uint32_t root = BothEndian32Lsb(&iso[16 * 2048 + 156 + 2]), a = extentOf(root, "A"), b = extentOf(root, "B");
  const int64_t first = 150 + extentOf(a, "LOST.BIN"), foundAt = 150 + extentOf(b, "FOUND.BIN");
  ASSERT_EQ(foundAt, first + 2);  // the two files meet
  emu::FaultSet faults;
  // The found file's second sector too: written as zeros, and the file gets no recorded time.
  for (uint32_t sector : {16u, root, a, static_cast<uint32_t>(foundAt - 150 + 1)})
    faults.Unreadable.push_back({static_cast<int32_t>(sector), static_cast<int32_t>(sector + 1)});
  ExtracterRig rig(dir / "v.iso", emu::SectorKind::Mode1, dir.Path, faults);
  ASSERT_TRUE(rig.Ready());
  TIsoExtracter& ex = rig.Extracter;
  ex.ListOnly = false;
  ex.Folder = (dir / "out").string();
  ASSERT_TRUE(ex.ExtractFiles(rig.Track));

  const std::string run = std::to_string(first) + "_" + std::to_string(first + 1);
  EXPECT_TRUE(ReadFile(dir / "out" / run) == lost) << run;
  std::vector<uint8_t> holed = found;
  std::fill(holed.begin() + 2048, holed.end(), 0);
  EXPECT_TRUE(ReadFile(dir / "out" / std::to_string(150 + b) / "FOUND.BIN") == holed);
  EXPECT_NE(MtimeOf(dir / "out" / std::to_string(150 + b) / "FOUND.BIN"), kMtime);
  EXPECT_EQ(ex.GetUnreadableCount(), 4u);
  std::map<std::string, std::pair<int, uint32_t>> listed;
  for (const auto& n : ex.Root.Children) listed[n.Name] = {n.Kind, n.Size};
  EXPECT_EQ(listed[run], (std::pair<int, uint32_t>{nkHitRun, 2 * 2048}));
}

// A scan into a folder that cannot be made, one on a full disk, and one of a track no
// sector of which reads, fail: never "done".
TEST(ScanOutput, AFolderThatCannotBeMadeOrAFullDiskFails) {
  test_support::TempDir dir{"qnl-scanfail"};
  WriteFile(dir / "data.bin", RandomBytes(40 * 2048, 5));
  ExtracterRig rig(dir / "data.bin", emu::SectorKind::Mode1, dir.Path);
  ASSERT_TRUE(rig.Ready());
  TIsoExtracter& ex = rig.Extracter;
  ex.ListOnly = false;
  WriteFile(dir / "file", "\x01");
  ex.Folder = (dir / "file" / "out").string();
  EXPECT_FALSE(ex.ExtractFiles(rig.Track));
  EXPECT_EQ(ex.GetFailure(), fcOutputNotWritable);

  ex.Folder = (dir / "full").string();
  {
    FileSizeLimit limit(10000);
    EXPECT_FALSE(ex.ExtractFiles(rig.Track));
    EXPECT_EQ(ex.GetState(), wsIdle);
  }

  emu::FaultSet faults;
  faults.Unreadable.push_back({0, 40});
  ExtracterRig unreadable(dir / "data.bin", emu::SectorKind::Mode1, dir / "unreadable", faults);
  ASSERT_TRUE(unreadable.Ready());
  unreadable.Extracter.Folder = (dir / "nothing").string();
  EXPECT_FALSE(unreadable.Extracter.ExtractFiles(unreadable.Track));
  EXPECT_EQ(unreadable.Extracter.GetFailure(), fcNoSectorRead);
  EXPECT_EQ(unreadable.Extracter.GetUnreadableCount(), 40u);
}

}  // namespace
