// The cabinet module as the program uses it: loaded with dlopen, texts through caller
// buffers, Detect and FindEnd on cabinets made by gcab and on damaged headers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/plugins/support/PluginModule.h"

namespace {

using namespace plugin_test;

// A cabinet header of one folder and one file, `size` bytes long in all.
Bytes MakeCabinet(uint32_t size) {
  Bytes b(std::max<uint32_t>(size, 64), 0);
  std::memcpy(b.data(), "MSCF", 4);
  PutLe32(b, 8, size);
  PutLe32(b, 16, 44);  // first file entry, after the header and one folder entry
  b[24] = 3;
  b[25] = 1;
  b[26] = 1;  // folders
  b[28] = 1;  // files
  b.resize(size);
  return b;
}

class CabPlugin : public PluginTest {
 protected:
  CabPlugin() : PluginTest("Cab.fpi") {}

  // Cabinets made by gcab from files of the given sizes (pseudo-random contents).
  Bytes MakeWithGcab(const TempDir& dir, const std::string& name, const std::string& options,
                     std::initializer_list<size_t> sizes) {
    std::string command = "cd " + dir / "" + " && gcab " + options + " " + name;
    int index = 0;
    for (size_t size : sizes) {
      const std::string member = name + "." + std::to_string(index++) + ".dat";
      Bytes contents(size);
      uint32_t x = 2463534242u + static_cast<uint32_t>(size);
      for (auto& c : contents) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = static_cast<unsigned char>(index % 2 == 0 ? x : x % 7 + 'a');  // some compressible
      }
      if (!WriteFile(dir / member, contents)) return {};
      command += " " + member;
    }
    if (!Shell(command)) return {};
    return plugin_test::ReadFile(dir / name);
  }
};

TEST_F(CabPlugin, FindEndAnswersOnceWithTheStatedLength) {
  const Bytes cab = MakeCabinet(300);
  ASSERT_EQ(Detect(cab), 1);
  ExpectEndOnce(cab, 300);

  // Without a successful Detect there is nothing to carve.
  Bytes bad = cab;
  bad[0] = 'N';
  EXPECT_EQ(Detect(bad), 0);
  bool end = false;
  EXPECT_EQ(FindEnd(cab, end), 0u);
  EXPECT_TRUE(end);
}

TEST_F(CabPlugin, StatedLengthBeyondTheDataIsReturnedAsIs) {
  Bytes head = MakeCabinet(2048);
  PutLe32(head, 8, 70'000'000);
  ASSERT_EQ(Detect(head), 1);
  ExpectEndOnce(head, 70'000'000);
}

TEST_F(CabPlugin, ATextThatBeginsWithTheSignatureIsNotACabinet) {
  const Bytes good = MakeCabinet(2048);
  ASSERT_EQ(Detect(good), 1);
  Bytes reserved = good;
  reserved[5] = 1;
  EXPECT_EQ(Detect(reserved), 0);
  // Other header fields are not looked at.
  Bytes version = good;
  version[24] = 2;
  EXPECT_EQ(Detect(version), 1);

  // Its letters 8 to 11 ("the ") would be a cabinet of 543 MB.
  const std::string text = "MSCF is the signature; this sector is a note about it, not a cabinet.";
  EXPECT_EQ(Detect(Bytes(text.begin(), text.end())), 0);
  // Shorter than the fields Detect reads: nothing beyond them is read.
  Bytes shortHead = good;
  shortHead.resize(11);
  EXPECT_EQ(Detect(shortHead), 0);
  EXPECT_EQ(Detect(Bytes{}), 0);
}

TEST_F(CabPlugin, CarvesCabinetsMadeByGcab) {
  if (!HaveTool("gcab")) GTEST_SKIP() << "gcab is not installed";
  TempDir dir;
  const Bytes stored = MakeWithGcab(dir, "stored.cab", "-c", {5000, 300, 12000});
  const Bytes zipped = MakeWithGcab(dir, "zipped.cab", "-cz", {9000, 40000});
  ASSERT_GT(stored.size(), 17300u);
  ASSERT_GT(zipped.size(), 100u);

  for (unsigned sector : kSectorSizes) {
    EXPECT_EQ(CarvedLength(*Module, OnDisc(stored, zipped, sector), sector), static_cast<long long>(stored.size()))
        << sector;
    EXPECT_EQ(CarvedLength(*Module, OnDisc(zipped, Bytes(sector, 0), sector), sector),
              static_cast<long long>(zipped.size()))
        << sector;
  }
  EXPECT_EQ(Module.Text(&TFormatPlugin::GetExtension, 16), ".cab");
}

TEST_F(CabPlugin, TruncatedCabinetIsNotCarvedPastTheData) {
  if (!HaveTool("gcab")) GTEST_SKIP() << "gcab is not installed";
  TempDir dir;
  Bytes cab = MakeWithGcab(dir, "t.cab", "-c", {20000});
  ASSERT_GT(cab.size(), 20000u);
  cab.resize(9000);
  EXPECT_EQ(CarvedLength(*Module, cab), -1);
}

}  // namespace
