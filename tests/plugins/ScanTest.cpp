// All ten modules on one stream of sectors, as the recovery scan offers them: real files
// laid at sector starts, each carved on its own and byte for byte, also when the file
// before them lost its last sector (a damaged disc reads it back as zeros).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/plugins/samples/SampleFiles.h"
#include "tests/plugins/support/PluginModule.h"

namespace {

using plugin_samples::SampleFile;
using plugin_test::Bytes;
using plugin_test::Carve;
using plugin_test::kSectorSizes;
using plugin_test::PluginModule;

// The manager's default order: the module files sorted by name.
constexpr const char* kModules[] = {"Bmp.fpi", "Cab.fpi", "Gif.fpi", "Jpeg.fpi", "Lzh.fpi",
                                    "Mp3.fpi", "Pdf.fpi", "Png.fpi", "Riff.fpi", "Zip.fpi"};

class Scan : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Folder = new plugin_test::TempDir;
    Samples = new std::vector<SampleFile>(plugin_samples::MakeSampleFiles(Folder->Dir()));
  }
  static void TearDownTestSuite() {
    delete Samples;
    delete Folder;
  }

  void SetUp() override {
    for (const char* name : kModules) {
      Modules.push_back(std::make_unique<PluginModule>(name));
      ASSERT_TRUE(Modules.back()->Loaded()) << Modules.back()->Error();
      Order.push_back(&**Modules.back());
    }
    if (Samples->size() < std::size(kModules)) GTEST_SKIP() << "a tool that makes the sample files is missing";
  }

  static const SampleFile* Sample(const std::string& name) {
    for (const SampleFile& s : *Samples)
      if (s.Name == name) return &s;
    return nullptr;
  }

  static plugin_test::TempDir* Folder;
  static std::vector<SampleFile>* Samples;
  std::vector<std::unique_ptr<PluginModule>> Modules;
  std::vector<TFormatPlugin*> Order;
};

plugin_test::TempDir* Scan::Folder = nullptr;
std::vector<SampleFile>* Scan::Samples = nullptr;

// The first entry of an archive whose sizes follow the data ends at that data: its local
// header, name and extra field, as the archive wrote them.
size_t FirstEntryHeaderLength(const Bytes& zip) {
  return 30 + size_t(zip[26] | zip[27] << 8) + size_t(zip[28] | zip[29] << 8);
}

struct Placed {
  const SampleFile* File;
  size_t FirstSector;
  bool Damaged;
};

// Checks what the scan made of one file laid on the disc.
void ExpectCarved(const std::vector<Carve>& carves, const Placed& placed, const Bytes& onDisc) {
  SCOPED_TRACE(placed.File->Name);
  const auto carve = std::find_if(carves.begin(), carves.end(),
                                  [&](const Carve& c) { return c.FirstSector == placed.FirstSector; });
  ASSERT_NE(carve, carves.end()) << "not carved";
  EXPECT_EQ(carve->Extension, placed.File->Extension);
  EXPECT_FALSE(carve->RanOffTheDisc);
  const Bytes& file = placed.File->Data;
  if (placed.File->Name == "zip -fd") {
    ASSERT_NE(file[6] & 8, 0) << "zip wrote the sizes in the header";
    EXPECT_EQ(carve->Data, Bytes(file.begin(), file.begin() + FirstEntryHeaderLength(file)));
  } else if (placed.Damaged) {
    // Whatever the walk kept, it is the file as it lies on the disc, and no more.
    ASSERT_LE(carve->Data.size(), onDisc.size());
    EXPECT_TRUE(std::equal(carve->Data.begin(), carve->Data.end(), onDisc.begin()));
  } else {
    EXPECT_EQ(carve->Data, file) << "carved " << carve->Data.size() << " of " << file.size() << " bytes";
  }
}

// Lays `damaged` first with its last sector zeroed (none when empty), `next` after it, then
// every other sample, and checks each carve.
void ScanAndCheck(const std::vector<TFormatPlugin*>& order, const std::vector<SampleFile>& samples,
                  const std::string& damaged, const std::string& next, unsigned sectorSize) {
  std::vector<const SampleFile*> layout;
  for (const std::string& name : {damaged, next})
    for (const SampleFile& s : samples)
      if (s.Name == name) layout.push_back(&s);
  for (const SampleFile& s : samples)
    if (s.Name != damaged && s.Name != next) layout.push_back(&s);

  Bytes disc;
  std::vector<Placed> placed;
  for (const SampleFile* file : layout) {
    placed.push_back({file, disc.size() / sectorSize, file->Name == damaged});
    disc.insert(disc.end(), file->Data.begin(), file->Data.end());
    disc.resize((disc.size() + sectorSize - 1) / sectorSize * sectorSize, 0);
    if (placed.back().Damaged) std::fill(disc.end() - sectorSize, disc.end(), 0);
  }
  disc.resize(disc.size() + 4 * sectorSize, 0);  // the rest of the track

  const std::vector<Carve> carves = plugin_test::ScanDisc(order, disc, sectorSize);
  for (size_t i = 0; i < placed.size(); ++i) {
    const size_t begin = placed[i].FirstSector * sectorSize;
    const size_t end = i + 1 < placed.size() ? placed[i + 1].FirstSector * sectorSize : disc.size();
    ExpectCarved(carves, placed[i], Bytes(disc.begin() + begin, disc.begin() + end));
  }
}

TEST_F(Scan, EveryRealFileIsCarvedOnItsOwn) {
  for (unsigned sectorSize : kSectorSizes) {
    SCOPED_TRACE(sectorSize);
    ScanAndCheck(Order, *Samples, "", "", sectorSize);
  }
}

// A file whose last sector is lost must not swallow the files after it. A JPEG's scan
// data runs on until a marker, so the file after the damaged JPEG is another JPEG, whose
// start-of-image cannot lie inside the first.
TEST_F(Scan, AFileThatLostItsLastSectorLeavesTheFilesAfterItWhole) {
  const std::pair<const char*, const char*> cases[] = {
      {"zip -fd", ""},       {"zip", ""},       {"gcab", ""}, {"convert png", ""},
      {"convert gif", ""},   {"convert bmp", ""}, {"sox wav", ""}, {"lame", ""},
      {"lha", ""},           {"convert jpeg plasma", "convert jpeg gradient"},
  };
  for (const auto& [damaged, next] : cases) {
    ASSERT_NE(Sample(damaged), nullptr) << damaged;
    for (unsigned sectorSize : kSectorSizes) {
      SCOPED_TRACE(testing::Message() << damaged << ", sector " << sectorSize);
      ScanAndCheck(Order, *Samples, damaged, next, sectorSize);
    }
  }
}

}  // namespace
