// Hostile volumes: images made by genisoimage and then damaged the way a bad disc or a
// crafted one is. Each read and copy must end cleanly, bounded by the track, and write
// nothing outside the folder it was given.
#include <cstring>
#include <set>

#include "recovery/Iso9660util.h"
#include "sector/Bytes.h"
#include "tests/recovery/ExtracterTestSupport.h"

namespace {

using namespace extracter_test;

constexpr size_t kIsoSector = 2048;

// Byte offset in the image of the primary-tree record at `path` ("" for the root record
// inside the primary descriptor).
size_t FindRecord(const std::vector<uint8_t>& iso, const std::string& path) {
  size_t record = 16 * kIsoSector + 156;
  size_t from = 0;
  while (from < path.size()) {
    const size_t slash = path.find('/', from);
    const std::string part = path.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
    const size_t start = BothEndian32Lsb(&iso[record + 2]) * kIsoSector;
    const size_t end = start + BothEndian32Lsb(&iso[record + 10]);
    size_t pos = start, found = 0;
    while (pos < end && found == 0) {
      if (iso[pos] == 0) {
        pos = (pos / kIsoSector + 1) * kIsoSector;
        continue;
      }
      if (std::string(reinterpret_cast<const char*>(&iso[pos + 33]), iso[pos + 32]).rfind(part, 0) == 0) found = pos;
      pos += iso[pos];
    }
    if (found == 0) return 0;
    record = found;
    from = slash == std::string::npos ? path.size() : slash + 1;
  }
  return record;
}

void PutBoth32(std::vector<uint8_t>& iso, size_t at, uint32_t v) {
  PutLe32(&iso.at(at), v);
  PutBe32(&iso.at(at + 4), v);
}

std::set<std::string> Entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

struct Damage {
  const char* Name;
  std::function<void(std::vector<uint8_t>&)> Apply;
  bool VolumeReads;  // ReadVolume's result
  enum { kNotListed, kCopies, kCopyFails } Readme;
};

class HostileVolume : public ::testing::TestWithParam<Damage> {
 protected:
  test_support::TempDir Dir{"qnl-hostile"};
};

TEST_P(HostileVolume, EndsCleanlyInsideTheFolder) {
  QNL_REQUIRE_TOOL("genisoimage");
  MakeVolumeTree(Dir / "tree", false);
  fs::path iso = Dir / "plain.iso";
  ASSERT_EQ(RunShell("genisoimage -quiet -input-charset utf-8 -o " + Quote(iso) + " " + Quote(Dir / "tree") +
                     " >/dev/null 2>&1"),
            0);
  std::vector<uint8_t> bytes = ReadFile(iso);
  GetParam().Apply(bytes);
  WriteFile(Dir / "damaged.iso", bytes);
  ExtracterRig rig(Dir / "damaged.iso", emu::SectorKind::Mode1, Dir.Path);
  ASSERT_TRUE(rig.Ready());
  TIsoExtracter& ex = rig.Extracter;
  ex.ReadSvd = false;

  EXPECT_EQ(ex.ReadVolume(rig.Track), GetParam().VolumeReads);
  const TExtractedFile* readme = nullptr;
  size_t nodes = 0;
  WalkTree(ex.Root, "", [&](const TExtractedFile& node, const std::string& path) {
    ++nodes;
    EXPECT_EQ(node.Name.find('/'), std::string::npos) << path;
    EXPECT_NE(node.Name, "..");
    if (node.Name == "README.TXT" || node.Name == ".._.._XX.T") readme = &node;
  });
  EXPECT_LT(nodes, 200u);  // a loop would list the same directory again and again
  EXPECT_EQ(readme != nullptr, GetParam().Readme != Damage::kNotListed);
  const fs::path out = Dir / "out" / "inner";
  fs::create_directories(out);
  if (readme != nullptr) {
    const fs::path target = out / readme->Name;
    EXPECT_EQ(ex.ReadListedFile(*readme, target.string()), GetParam().Readme == Damage::kCopies);
    EXPECT_EQ(ex.GetFailure(), GetParam().Readme == Damage::kCopyFails ? fcFileBeyondTrack : fcNone);
    EXPECT_LE(fs::file_size(target), static_cast<uint64_t>(rig.Track.SectorCount()) * 2048);
  }
  EXPECT_EQ(ex.GetState(), wsIdle);
  // Nothing beside the folder the copy was given.
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "out"), fs::directory_iterator()), 1);

  // The scan of the same disc, writing and listing, ends and keeps inside its folder.
  const auto before = Entries(Dir.Path);
  ex.ListOnly = false;
  ex.DelTailZero = true;
  ex.Folder = (Dir / "out" / "inner" / "scan").string();
  EXPECT_TRUE(ex.ExtractFiles(rig.Track));
  ex.ListOnly = true;
  EXPECT_TRUE(ex.ExtractFiles(rig.Track));
  EXPECT_EQ(Entries(Dir.Path), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "out"), fs::directory_iterator()), 1);
  EXPECT_LT(ex.Root.Children.size(), 2000u);
}

const Damage kDamages[] = {
    {"DirectoryLoop",
     [](std::vector<uint8_t>& iso) {
       const size_t docs = FindRecord(iso, "DOCS");
       PutBoth32(iso, docs + 2, BothEndian32Lsb(&iso[16 * kIsoSector + 156 + 2]));
     },
     true, Damage::kCopies},
    {"AbsurdDirectoryLength",
     [](std::vector<uint8_t>& iso) { PutBoth32(iso, FindRecord(iso, "DOCS") + 10, 0xFFFFFFF0u); }, true, Damage::kCopies},
    {"AbsurdFileLength",
     [](std::vector<uint8_t>& iso) { PutBoth32(iso, FindRecord(iso, "README.TXT") + 10, 0xFFFFFFF0u); }, true, Damage::kCopyFails},
    {"TraversalName",
     [](std::vector<uint8_t>& iso) { std::memcpy(&iso[FindRecord(iso, "README.TXT") + 33], "../../XX.T;1", 12); },
     true, Damage::kCopies},
    // The root's last record (a directory sorted after README.TXT) claims more than is left.
    {"RecordPastTheSector",
     [](std::vector<uint8_t>& iso) {
       const size_t root = BothEndian32Lsb(&iso[16 * kIsoSector + 156 + 2]) * kIsoSector;
       size_t last = root;
       for (size_t pos = root; pos < root + kIsoSector && iso[pos] != 0; pos += iso[pos]) last = pos;
       iso[last] = 255;
       iso[last + 32] = 250;
     },
     true, Damage::kCopies},
    {"RootLost",
     [](std::vector<uint8_t>& iso) {
       const size_t root = BothEndian32Lsb(&iso[16 * kIsoSector + 156 + 2]) * kIsoSector;
       std::memset(&iso[root], 0, kIsoSector);
     },
     false, Damage::kNotListed},
    {"RootOutsideTheTrack", [](std::vector<uint8_t>& iso) { PutBoth32(iso, 16 * kIsoSector + 156 + 2, 0x00FFFFFFu); },
     false, Damage::kNotListed},
    {"NoDescriptor", [](std::vector<uint8_t>& iso) { std::memset(&iso[16 * kIsoSector], 0, kIsoSector); }, false, Damage::kNotListed},
};

INSTANTIATE_TEST_SUITE_P(Images, HostileVolume, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.Name); });

// The end-to-end tree in a volume made by genisoimage, copied out file by file.
class CopyOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    QNL_REQUIRE_TOOL("genisoimage");
    MakeVolumeTree(Dir / "tree", false);
    Iso = MakeVolumeIso(Dir / "tree", Dir / "v.iso", "genisoimage");
  }
  // docs/notes.bin as the rig's volume lists it; null when it could not be read.
  static const TExtractedFile* Notes(ExtracterRig& rig) {
    if (!rig.Ready() || !rig.Extracter.ReadVolume(rig.Track)) return nullptr;
    return NodeAt(rig.Extracter.Root, "docs/notes.bin");
  }

  test_support::TempDir Dir{"qnl-copy"};
  fs::path Iso;
};

// A full output device: every write past the limit fails, and the copy says so.
TEST_F(CopyOutput, FullDiskFailsTheCopyAndStampsNoTime) {
  ExtracterRig rig(Iso, emu::SectorKind::Mode1, Dir.Path);
  const TExtractedFile* notes = Notes(rig);
  ASSERT_NE(notes, nullptr);
  EXPECT_FALSE(rig.Extracter.ReadListedFile(*notes, "/dev/full"));  // exists: never replaced

  const fs::path target = Dir / "partial.bin";
  {
    FileSizeLimit full(10000);
    EXPECT_FALSE(rig.Extracter.ReadListedFile(*notes, target.string()));
  }
  EXPECT_EQ(rig.Extracter.GetFailure(), fcOutputNotWritable);
  EXPECT_NE(MtimeOf(target), kMtime);
}

// A cancelled copy ends with one closing code and keeps its partial file without the
// recorded time.
TEST_F(CopyOutput, CancelKeepsThePartWithoutTheTime) {
  ExtracterRig rig(Iso, emu::SectorKind::Mode1, Dir.Path);
  const TExtractedFile* notes = Notes(rig);
  ASSERT_NE(notes, nullptr);
  CancellingView view(rig.Extracter, pcStepIt, 2);
  rig.Extracter.SetProgressView(&view);
  const fs::path target = Dir / "notes.bin";
  EXPECT_FALSE(rig.Extracter.ReadListedFile(*notes, target.string()));
  EXPECT_EQ(view.Closing, std::vector<int8_t>{pcCancelled});
  EXPECT_EQ(rig.Extracter.GetState(), wsIdle);
  EXPECT_EQ(fs::file_size(target), 2u * 2048);
  EXPECT_NE(MtimeOf(target), kMtime);
}

// Unreadable sectors inside a file are written as zeros, counted and reported, and the
// copy does not get the recorded time; an unreadable directory sector is counted.
TEST_F(CopyOutput, UnreadableSectorsAreCountedAndTheRestIsIntact) {
  const std::vector<uint8_t> original = ReadFile(Dir / "tree" / "docs" / "notes.bin");
  const std::vector<uint8_t> image = ReadFile(Iso);
  // The file's third and fourth sectors, found by their content.
  const auto at = std::search(image.begin(), image.end(), original.begin(), original.begin() + 2048);
  ASSERT_NE(at, image.end());
  const int32_t lba = static_cast<int32_t>((at - image.begin()) / 2048);
  emu::FaultSet faults;
  faults.Unreadable.push_back({lba + 2, lba + 4});
  const int32_t many = static_cast<int32_t>(BothEndian32Lsb(&image[FindRecord(image, "MANY") + 2]));
  faults.Unreadable.push_back({many, many + 1});  // the primary tree's listing of "many"
  ExtracterRig rig(Iso, emu::SectorKind::Mode1, Dir.Path, faults);
  const TExtractedFile* notes = Notes(rig);
  ASSERT_NE(notes, nullptr);
  const fs::path target = Dir / "notes.bin";
  EXPECT_TRUE(rig.Extracter.ReadListedFile(*notes, target.string()));
  EXPECT_EQ(rig.Extracter.GetUnreadableCount(), 2u);
  EXPECT_EQ(rig.View.GetModel().GetStatusText(), "2 unreadable sectors written as zeros");
  std::vector<uint8_t> expected = original;
  std::fill(expected.begin() + 2 * 2048, expected.begin() + 4 * 2048, 0);
  EXPECT_TRUE(ReadFile(target) == expected);
  EXPECT_NE(MtimeOf(target), kMtime);  // a copy with holes must not pass for the original
  EXPECT_EQ(rig.Extracter.GetDamage().Files, std::vector<std::string>{target.string()});
  EXPECT_EQ(rig.Extracter.GetDamage().FileCount, 1u);

  // A volume read counts the directory sector it could not read, whose entries the Joliet
  // tree gives: nothing is missing.
  rig.Extracter.ReadSvd = false;
  ASSERT_TRUE(rig.Extracter.ReadVolume(rig.Track));
  EXPECT_EQ(rig.Extracter.GetUnreadableCount(), 1u);
  EXPECT_FALSE(rig.Extracter.GetDamage().Any());
  const TExtractedFile* listing = NodeAt(rig.Extracter.Root, "MANY");
  ASSERT_NE(listing, nullptr);
  EXPECT_EQ(listing->Children.size(), 60u);
  // Those of the lost sector under their Joliet names.
  EXPECT_TRUE(std::any_of(listing->Children.begin(), listing->Children.end(),
                          [](const TExtractedFile& n) { return n.Name.starts_with("entry_with_a_longer_name_"); }));
}

}  // namespace
