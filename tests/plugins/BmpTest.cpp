// The bitmap module as the program uses it: loaded with dlopen, texts through caller
// buffers, Detect and FindEnd on bitmaps made by ImageMagick and on near-misses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/plugins/support/PluginModule.h"

namespace {

using namespace plugin_test;

// A 24-bit bitmap with a 40-byte info header, `size` bytes in all.
Bytes MakeBitmap(uint32_t size) {
  Bytes b(std::max<uint32_t>(size, 54), 0);
  b[0] = 'B';
  b[1] = 'M';
  PutLe32(b, 2, size);
  PutLe32(b, 10, 54);
  PutLe32(b, 14, 40);
  PutLe32(b, 18, 4);  // width
  PutLe32(b, 22, 4);  // height
  PutLe16(b, 26, 1);  // planes
  PutLe16(b, 28, 24);
  b.resize(size);
  return b;
}

class BmpPlugin : public PluginTest {
 protected:
  BmpPlugin() : PluginTest("Bmp.fpi") {}
};

TEST_F(BmpPlugin, FindEndAnswersOnceWithTheStatedLength) {
  const Bytes bmp = MakeBitmap(102);
  ASSERT_EQ(Detect(bmp), 1);
  ExpectEndOnce(bmp, 102);

  Bytes head = MakeBitmap(2048);
  PutLe32(head, 2, 3'000'054);
  ASSERT_EQ(Detect(head), 1);
  ExpectEndOnce(head, 3'000'054);
}

TEST_F(BmpPlugin, RejectsSectorsThatOnlyStartWithTheLetters) {
  ASSERT_EQ(Detect(MakeBitmap(2048)), 1);

  std::string text = "BMW and other makers of cars were listed in this file, which is plain text. ";
  while (text.size() < 2048) text += text;
  EXPECT_EQ(Detect(Bytes(text.begin(), text.begin() + 2048)), 0);

  Bytes reserved = MakeBitmap(2048);
  reserved[8] = 1;
  EXPECT_EQ(Detect(reserved), 0);
  Bytes infoSize = MakeBitmap(2048);
  PutLe32(infoSize, 14, 41);
  EXPECT_EQ(Detect(infoSize), 0);
  Bytes planes = MakeBitmap(2048);
  PutLe16(planes, 26, 2);
  EXPECT_EQ(Detect(planes), 0);
  Bytes corePlanes = MakeBitmap(2048);  // the 12-byte header keeps its planes at 22
  PutLe32(corePlanes, 14, 12);
  PutLe16(corePlanes, 22, 1);
  EXPECT_EQ(Detect(corePlanes), 1);
  PutLe16(corePlanes, 22, 0);
  EXPECT_EQ(Detect(corePlanes), 0);
  Bytes pixelsInHeader = MakeBitmap(2048);
  PutLe32(pixelsInHeader, 10, 25);
  EXPECT_EQ(Detect(pixelsInHeader), 0);
  Bytes pixelsPastEnd = MakeBitmap(2048);
  PutLe32(pixelsPastEnd, 10, 2049);
  EXPECT_EQ(Detect(pixelsPastEnd), 0);
  Bytes huge = MakeBitmap(2048);
  PutLe32(huge, 2, 0x80000001u);
  EXPECT_EQ(Detect(huge), 0);
  PutLe32(huge, 2, 0x80000000u);
  EXPECT_EQ(Detect(huge), 1);

  Bytes shortHead = MakeBitmap(2048);
  shortHead.resize(27);
  EXPECT_EQ(Detect(shortHead), 0);
  EXPECT_EQ(Detect(Bytes{'B', 'M'}), 0);
}

TEST_F(BmpPlugin, CarvesBitmapsMadeByImageMagick) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick convert is not installed";
  TempDir dir;
  const std::string source = dir / "source.png";
  ASSERT_TRUE(Shell("convert -size 97x71 gradient:red-blue -swirl 180 " + source));
  struct Made {
    std::string target;
    Bytes bytes;
  };
  std::vector<Made> made;
  for (const std::string& target : {std::string("BMP:") + (dir / "v5.bmp"), std::string("BMP3:") + (dir / "v3.bmp"),
                                    std::string("BMP2:") + (dir / "core.bmp")}) {
    ASSERT_TRUE(Shell("convert " + source + " " + target)) << target;
    made.push_back({target, plugin_test::ReadFile(target.substr(target.find(':') + 1))});
  }
  ASSERT_TRUE(Shell("convert " + source + " -colors 16 -type Palette BMP3:" + (dir / "palette.bmp")));
  made.push_back({"palette", plugin_test::ReadFile(dir / "palette.bmp")});

  for (const Made& m : made) {
    ASSERT_GT(m.bytes.size(), 2048u) << m.target;
    for (unsigned sector : kSectorSizes) {
      EXPECT_EQ(CarvedLength(*Module, OnDisc(m.bytes, made[0].bytes, sector), sector),
                static_cast<long long>(m.bytes.size()))
          << m.target << " in sectors of " << sector;
    }
  }
}

TEST_F(BmpPlugin, TruncatedBitmapIsNotCarvedPastTheData) {
  Bytes bmp = MakeBitmap(30000);
  bmp.resize(7000);
  EXPECT_EQ(CarvedLength(*Module, bmp), -1);
}

}  // namespace
