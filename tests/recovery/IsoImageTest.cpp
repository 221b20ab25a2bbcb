// Directory records, names and dates read straight from ISO images made by real tools.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "recovery/Dirsectortest.h"
#include "recovery/Iso9660ex.h"
#include "recovery/Iso9660util.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tools.h"

namespace {

constexpr size_t kSector = 2048;
constexpr time_t kMtime = 1'000'000'000;  // 2001-09-09 01:46:40 UTC

using test_support::HaveTool;

void WriteFile(const std::filesystem::path& p, const std::string& content) {
  std::filesystem::create_directories(p.parent_path());
  test_support::WriteFile(p, content);
}

struct Entry {
  TKrDirRecord Record;
  std::string Path;
};

class IsoImage {
 public:
  explicit IsoImage(const std::filesystem::path& file) : Bytes(test_support::ReadFile(file)) {}

  const uint8_t* Sector(size_t lba) const {
    EXPECT_LE((lba + 1) * kSector, Bytes.size());
    return Bytes.data() + lba * kSector;
  }

  // The first volume descriptor of the type, from sector 16 on up to the terminator.
  const uint8_t* Descriptor(uint8_t type) const {
    for (size_t lba = 16; (lba + 1) * kSector <= Bytes.size(); ++lba) {
      const uint8_t* d = Sector(lba);
      if (std::string(reinterpret_cast<const char*>(d + 1), 5) != "CD001" || d[0] == 255) return nullptr;
      if (d[0] == type) return d;
    }
    return nullptr;
  }

  // Every entry below the descriptor's root, with its path; names decoded as the volume says.
  void Walk(const uint8_t* descriptor, std::vector<Entry>& entries, std::vector<const uint8_t*>& dirSectors) const {
    TKrDirRecord root;
    root.Assign(descriptor + 156, 34);
    WalkDirectory(root, "", IsJolietDescriptor(descriptor), entries, dirSectors, 0);
  }

  std::vector<uint8_t> Bytes;

 private:
  void WalkDirectory(const TKrDirRecord& dir, const std::string& path, bool joliet, std::vector<Entry>& entries,
                     std::vector<const uint8_t*>& dirSectors, int depth) const {
    ASSERT_LT(depth, 20);
    const uint32_t extent = dir.GetExtent(true);
    const uint32_t length = dir.GetDataLength(false);
    for (uint32_t s = 0; s < (length + kSector - 1) / kSector; ++s) {
      const uint8_t* sector = Sector(extent + s);
      dirSectors.push_back(sector);
      size_t pos = 0;
      while (pos < kSector && sector[pos] != 0) {
        TKrDirRecord r;
        r.Assign(sector + pos, kSector - pos);
        pos += sector[pos];
        const auto id = r.GetFileIdentifier();
        ASSERT_FALSE(id.empty());
        if (id.size() == 1 && (id[0] == 0 || id[0] == 1)) continue;
        std::string name = joliet ? Ucs2BeToUtf8(id) : NarrowNameToUtf8(id);
        if (const auto semi = name.rfind(';'); semi != std::string::npos && !r.IsDirectory()) name.resize(semi);
        const std::string full = path + "/" + name;
        entries.push_back({r, full});
        if (r.IsDirectory()) WalkDirectory(r, full, joliet, entries, dirSectors, depth + 1);
      }
    }
  }
};

// The paths in one set and not in the other, for a readable failure.
std::string Difference(const std::set<std::string>& got, const std::set<std::string>& want) {
  std::string text;
  for (const auto& p : got)
    if (!want.count(p)) text += " extra " + p;
  for (const auto& p : want)
    if (!got.count(p)) text += " missing " + p;
  return text;
}

// The primary and the Joliet volume descriptors of an image, each checked for what it is.
std::pair<const uint8_t*, const uint8_t*> Descriptors(const IsoImage& image) {
  const uint8_t* pvd = image.Descriptor(1);
  const uint8_t* svd = image.Descriptor(2);
  EXPECT_TRUE(pvd != nullptr && !IsJolietDescriptor(pvd));
  EXPECT_TRUE(svd != nullptr && IsJolietDescriptor(svd));
  return {pvd, svd};
}

std::map<std::string, TKrDirRecord> ByPath(const std::vector<Entry>& entries) {
  std::map<std::string, TKrDirRecord> m;
  for (const Entry& e : entries) m[e.Path] = e.Record;
  return m;
}

class IsoImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Src = Dir.Path / "src";
    WriteFile(Src / "readme.txt", "hello, disc\n");
    WriteFile(Src / JapaneseName, std::string(3000, 'J'));
    WriteFile(Src / LongName, "long\n");
    WriteFile(Src / DeepPath / "deep.txt", "deep\n");
    for (int i = 0; i < 70; ++i) WriteFile(Src / "many" / ("entry_with_a_longer_name_" + std::to_string(i) + ".dat"), "x");
    ASSERT_TRUE(test_support::Shell("find " + test_support::Quote(Src) + " -exec touch -h -d @" + std::to_string(kMtime) +
                                    " {} +"));
  }

  std::set<std::string> ExpectedPaths() const {
    std::set<std::string> paths{"/readme.txt", "/" + JapaneseName, "/" + LongName, "/many"};
    std::string p;
    for (int i = 1; i <= 9; ++i) paths.insert(p += "/d" + std::to_string(i));
    paths.insert(p + "/deep.txt");
    for (int i = 0; i < 70; ++i) paths.insert("/many/entry_with_a_longer_name_" + std::to_string(i) + ".dat");
    return paths;
  }

  test_support::TempDir Dir{"qnl-iso"};
  std::filesystem::path Src;
  const std::string JapaneseName = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x95\xE3\x82\xA1"
                                   "\xE3\x82\xA4\xE3\x83\xAB\xE5\x90\x8D.txt";
  const std::string LongName = std::string(89, 'n') + "_long_name.bin";  // 103 characters, the Joliet maximum
  const std::string DeepPath = "d1/d2/d3/d4/d5/d6/d7/d8/d9";
};

TEST_F(IsoImageTest, JolietVolumeRecordsNamesAndDates) {
  if (!HaveTool("genisoimage")) GTEST_SKIP() << "genisoimage is not installed";
  const auto iso = Dir.Path / "joliet.iso";
  ASSERT_TRUE(test_support::Shell("TZ=Asia/Tokyo genisoimage -quiet -J -joliet-long -D -o " + test_support::Quote(iso) +
                                  " " + test_support::Quote(Src)));
  const IsoImage image(iso);
  const auto [pvd, svd] = Descriptors(image);
  ASSERT_TRUE(pvd && svd);

  std::vector<Entry> entries;
  std::vector<const uint8_t*> dirSectors;
  image.Walk(svd, entries, dirSectors);
  const auto byPath = ByPath(entries);
  std::set<std::string> paths;
  for (const auto& [path, record] : byPath) paths.insert(path);
  EXPECT_EQ(paths, ExpectedPaths()) << Difference(paths, ExpectedPaths());

  for (const Entry& e : entries) {
    const TKrDirRecord& r = e.Record;
    EXPECT_EQ(r.GetExtentLsb(), r.GetExtentMsb()) << e.Path;
    EXPECT_EQ(r.GetDataLengthLsb(), r.GetDataLengthMsb()) << e.Path;
    const TIsoDate date = r.GetRecordingDate();
    EXPECT_EQ(date[6], 36) << e.Path;  // recorded in Tokyo time, nine hours east
    FILETIME ft;
    IsoDateToFileTime(date, ft);
    EXPECT_EQ(FileTimeToTimespec(ft).tv_sec, kMtime) << e.Path;
    if (!r.IsDirectory()) {
      EXPECT_EQ(IsoDateToString(date), "2001/09/09 10:46:40") << e.Path;
    }
  }

  // File contents through both copies of the extent and length.
  const TKrDirRecord& readme = byPath.at("/readme.txt");
  ASSERT_EQ(readme.GetDataLength(true), 12u);
  const uint8_t* data = image.Sector(readme.GetExtent(false));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), 12), "hello, disc\n");
  uint32_t n = 0;
  EXPECT_TRUE(CheckTailZero(data, kSector, 64, n));
  EXPECT_EQ(n, 12u);
  EXPECT_FALSE(IsDirectorySector(data, kSector));
  const TKrDirRecord& japanese = byPath.at("/" + JapaneseName);
  EXPECT_EQ(japanese.GetDataLength(false), 3000u);
  EXPECT_FALSE(IsDirectorySector(image.Sector(japanese.GetExtent(true)), kSector));

  // Every directory sector of both trees is recognised, the one of "many" spans sectors.
  EXPECT_GT(byPath.at("/many").GetDataLength(true), kSector);
  std::vector<Entry> primary;
  std::vector<const uint8_t*> primarySectors;
  image.Walk(pvd, primary, primarySectors);
  EXPECT_EQ(primary.size(), entries.size());
  for (const uint8_t* s : dirSectors) EXPECT_TRUE(IsDirectorySector(s, kSector));
  for (const uint8_t* s : primarySectors) EXPECT_TRUE(IsDirectorySector(s, kSector));

  // UCS-2 names are told apart from 8-bit ones on whole directories.
  const TKrDirRecord& manyJoliet = byPath.at("/many");
  const uint32_t manyLength = manyJoliet.GetDataLength(true);
  EXPECT_TRUE(IsUcs2Directory(image.Sector(manyJoliet.GetExtent(true)), manyLength, kSector));
  const TKrDirRecord primaryRoot = [&] {
    TKrDirRecord r;
    r.Assign(pvd + 156, 34);
    return r;
  }();
  EXPECT_FALSE(IsUcs2Directory(image.Sector(primaryRoot.GetExtent(true)), primaryRoot.GetDataLength(true), kSector));
  for (const Entry& e : primary) {
    if (e.Record.IsDirectory()) {
      EXPECT_FALSE(IsUcs2Directory(image.Sector(e.Record.GetExtent(true)), e.Record.GetDataLength(true), kSector))
          << e.Path;
    }
  }
}

TEST_F(IsoImageTest, PrimaryVolumeOfAnotherToolWithoutRockRidge) {
  if (!HaveTool("xorriso")) GTEST_SKIP() << "xorriso is not installed";
  const auto iso = Dir.Path / "plain.iso";
  ASSERT_TRUE(test_support::Shell("TZ=UTC xorriso -report_about SORRY -rockridge off -joliet on -outdev " +
                                  test_support::Quote(iso) + " -map " + test_support::Quote(Src) + " /"));
  const IsoImage image(iso);
  const auto [pvd, svd] = Descriptors(image);
  ASSERT_TRUE(pvd && svd);

  std::vector<Entry> primary;
  std::vector<const uint8_t*> primarySectors;
  image.Walk(pvd, primary, primarySectors);
  const auto byPath = ByPath(primary);
  // 8-bit names of the primary volume are upper-case d-characters.
  ASSERT_TRUE(byPath.count("/README.TXT")) << primary.size();
  EXPECT_EQ(byPath.at("/README.TXT").GetDataLength(true), 12u);
  for (const Entry& e : primary) {
    for (const char c : e.Path) EXPECT_TRUE(c == '/' || c == '.' || c == '_' || std::isupper(c) || std::isdigit(c)) << e.Path;
    const TIsoDate date = e.Record.GetRecordingDate();
    EXPECT_EQ(date[6], 0) << e.Path;
    FILETIME ft;
    IsoDateToFileTime(date, ft);
    EXPECT_EQ(FileTimeToTimespec(ft).tv_sec, kMtime) << e.Path;
  }
  for (const uint8_t* s : primarySectors) EXPECT_TRUE(IsDirectorySector(s, kSector));

  std::vector<Entry> joliet;
  std::vector<const uint8_t*> jolietSectors;
  image.Walk(svd, joliet, jolietSectors);
  std::set<std::string> paths;
  for (const Entry& e : joliet) paths.insert(e.Path);
  // This tool keeps 65 characters of a Joliet name (the extension kept); all else is intact.
  std::set<std::string> expected = ExpectedPaths();
  expected.erase("/" + LongName);
  EXPECT_EQ(paths.erase("/" + LongName.substr(0, 61) + ".bin"), 1u);
  EXPECT_EQ(paths, expected) << Difference(paths, expected);
  for (const uint8_t* s : jolietSectors) EXPECT_TRUE(IsDirectorySector(s, kSector));
}

}  // namespace
