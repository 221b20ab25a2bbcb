// The JPEG module as the program uses it: loaded with dlopen, texts through caller
// buffers, Detect and FindEnd on images made by ImageMagick and on damaged ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/plugins/support/PluginModule.h"

namespace {

using namespace plugin_test;


Bytes Insert(Bytes b, size_t at, const Bytes& what) {
  b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), what.begin(), what.end());
  return b;
}

// Offset of the first marker `code` met walking the segments after the start of image.
size_t SegmentOffset(const Bytes& b, unsigned char code) {
  size_t pos = 2;
  while (pos + 4 <= b.size() && b[pos] == 0xFF) {
    if (b[pos + 1] == code) return pos;
    pos += 2 + (size_t(b[pos + 2]) << 8 | b[pos + 3]);
  }
  return 0;
}

// Images made by ImageMagick once for the whole suite.
class JpegFiles : public PluginTest {
 protected:
  JpegFiles() : PluginTest("Jpeg.fpi") {}
  static void SetUpTestSuite() {
    if (!HaveTool("convert")) return;
    Dir = std::make_unique<TempDir>();
    const auto make = [](const std::string& options, const std::string& name) {
      const std::string path = (*Dir) / name;
      const bool made = Shell("convert -size 320x240 plasma:fractal " + options + " " + path);
      return made ? plugin_test::ReadFile(path) : Bytes{};
    };
    Baseline = make("-quality 90", "baseline.jpg");
    Progressive = make("-interlace JPEG", "progressive.jpg");
    // A comment segment longer than a sector makes the walk skip past the data shown.
    LongComment = make("-set comment \"$(head -c 6000 /dev/zero | tr '\\0' c)\"", "comment.jpg");
    Grey = make("-colorspace Gray -quality 75", "grey.jpg");
  }
  static void TearDownTestSuite() { Dir.reset(); }

  void SetUp() override {
    PluginTest::SetUp();
    if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick convert is not installed";
    ASSERT_FALSE(Baseline.empty() || Progressive.empty() || LongComment.empty() || Grey.empty());
  }

  static inline std::unique_ptr<TempDir> Dir;
  static inline Bytes Baseline, Progressive, LongComment, Grey;
};

TEST_F(JpegFiles, DetectsJfifImagesOnly) {
  EXPECT_EQ(Module->GetHeaderSize(), 11);
  EXPECT_NE(Detect(Baseline), 0);
  EXPECT_EQ(Module->GetHeaderSize(), 4);
  EXPECT_NE(Detect(Progressive), 0);
  EXPECT_NE(Detect(Bytes(Baseline.begin(), Baseline.begin() + 11)), 0);

  // An APP1 (Exif) image, a JFXX extension segment, a damaged start of image.
  Bytes exif = Baseline;
  exif[3] = 0xE1;
  std::copy_n("Exif\0\0", 6, exif.begin() + 6);
  EXPECT_EQ(Detect(exif), 0);
  EXPECT_EQ(Module->GetHeaderSize(), 11);
  Bytes jfxx = Baseline;
  jfxx[8] = 'X';
  jfxx[9] = 'X';
  EXPECT_EQ(Detect(jfxx), 0);
  Bytes noTerminator = Baseline;
  noTerminator[10] = ' ';
  EXPECT_EQ(Detect(noTerminator), 0);
  Bytes badStart = Baseline;
  badStart[1] = 0xD9;
  EXPECT_EQ(Detect(badStart), 0);
  // Too short to hold the identifier: refused without reading past the data.
  for (size_t size = 0; size < 11; ++size) EXPECT_EQ(Detect(Bytes(Baseline.begin(), Baseline.begin() + size)), 0);
}

TEST_F(JpegFiles, CarvesRealImagesToTheirEndOfImage) {
  for (const Bytes* image : {&Baseline, &Progressive, &LongComment, &Grey}) {
    ASSERT_GE(image->size(), 2u);
    ASSERT_EQ((*image)[image->size() - 2], 0xFF);
    ASSERT_EQ((*image)[image->size() - 1], 0xD9);
    for (unsigned sector : kSectorSizes) {
      SCOPED_TRACE(testing::Message() << "size " << image->size() << ", sector " << sector);
      const long long expected = static_cast<long long>(image->size());
      EXPECT_EQ(CarvedLength(*Module, OnDisc(*image, Bytes(4 * sector, 0), sector), sector), expected);
      EXPECT_EQ(CarvedLength(*Module, OnDisc(*image, Baseline, sector), sector), expected);
      // Not padded: another image right behind the last byte.
      EXPECT_EQ(CarvedLength(*Module, Concat(*image, Progressive), sector), expected);
    }
  }
}

TEST_F(JpegFiles, RestartMarkersInsideTheScanAreWalkedOver) {
  const size_t sos = SegmentOffset(Baseline, 0xDA);
  ASSERT_NE(sos, 0u);
  const size_t scanStart = sos + 2 + (size_t(Baseline[sos + 2]) << 8 | Baseline[sos + 3]);
  Bytes image = Baseline;
  // Restart markers spread over the scan, where they do not split a stuffed byte.
  size_t at = image.size() - 3;
  unsigned n = 0;
  while (at > scanStart + 500) {
    while (image[at - 1] == 0xFF || image[at] == 0xFF) --at;
    image = Insert(image, at, {0xFF, static_cast<unsigned char>(0xD0 + (n++ % 8))});
    at -= 400;
  }
  ASSERT_GE(n, 8u);
  image = Insert(image, sos, {0xFF, 0xDD, 0x00, 0x04, 0x00, 0x01});  // the restart interval
  for (unsigned sector : kSectorSizes)
    EXPECT_EQ(CarvedLength(*Module, OnDisc(image, Baseline, sector), sector), static_cast<long long>(image.size()));
}

TEST_F(JpegFiles, FillBytesBeforeAMarkerBelongToTheImage) {
  // 0xFF fill before the end of image, and a run of them before a table segment.
  Bytes image = Insert(Baseline, Baseline.size() - 2, {0xFF, 0xFF});
  const size_t dqt = SegmentOffset(image, 0xDB);
  ASSERT_NE(dqt, 0u);
  image = Insert(image, dqt, {0xFF, 0xFF, 0xFF});
  // Still an image a decoder reads without complaint.
  const std::string filled = (*Dir) / "filled.jpg";
  WriteFile(filled, image);
  ASSERT_TRUE(Shell("convert -regard-warnings " + filled + " " + (*Dir) / "filled.ppm"));
  for (unsigned sector : kSectorSizes)
    EXPECT_EQ(CarvedLength(*Module, OnDisc(image, Bytes(3 * sector, 0), sector), sector),
              static_cast<long long>(image.size()));
}

TEST_F(JpegFiles, ASegmentLengthOfZeroEndsTheImageAtItsMarker) {
  const size_t afterApp0 = 2 + 2 + (size_t(Baseline[4]) << 8 | Baseline[5]);
  const Bytes image = Insert(Baseline, afterApp0, {0xFF, 0xFE, 0x00, 0x00});
  EXPECT_EQ(CarvedLength(*Module, image), static_cast<long long>(afterApp0));
}

TEST_F(JpegFiles, DamagedImagesEndInsideTheData) {
  // Cut at the start of the scan segment: the zero padding is no marker, the image ends there.
  const size_t sos = SegmentOffset(Baseline, 0xDA);
  const Bytes head(Baseline.begin(), Baseline.begin() + static_cast<std::ptrdiff_t>(sos));
  EXPECT_EQ(CarvedLength(*Module, OnDisc(head, Bytes(2048, 0), 2048)), static_cast<long long>(sos));

  // Cut inside the scan and followed by zeros only: no end within the data.
  const Bytes cut(Baseline.begin(), Baseline.begin() + static_cast<std::ptrdiff_t>(Baseline.size() / 2));
  EXPECT_EQ(CarvedLength(*Module, OnDisc(cut, Bytes(3 * 2048, 0), 2048)), -1);

  // Damaged segment lengths anywhere in the header: whatever the walk finds, it stays
  // within the data it is shown (the sanitizers watch the reads).
  const Bytes disc = OnDisc(Progressive, Bytes(2048, 0), 2048);
  for (size_t at = 4; at < 700; at += 3) ExpectDamageStaysWithin(disc, at, {0x00, 0x01, 0x7F, 0xFF});
}

TEST_F(JpegFiles, FindEndContinuesAcrossCallsAndReadsOnlyTheGivenBytes) {
  bool end = true;
  // A first call on a header cut after the first segment: the next segment's marker is
  // the offset returned, the start of image counted in.
  Module->Reset();
  ASSERT_NE(Detect(Baseline), 0);
  const unsigned app0End = 2 + 2 + (unsigned(Baseline[4]) << 8 | Baseline[5]);
  const Bytes head(Baseline.begin(), Baseline.begin() + app0End + 3);
  EXPECT_EQ(Module->FindEnd(head.data(), static_cast<unsigned>(head.size()), &end), app0End);
  EXPECT_FALSE(end);

  // A segment that runs past the data gives an offset beyond it, without the end flag.
  Module->Reset();
  Bytes longSegment = {0xFF, 0xD8, 0xFF, 0xE0, 0x10, 0x00, 'J', 'F', 'I', 'F', 0};
  longSegment.resize(2048, 0x55);
  EXPECT_EQ(Module->FindEnd(longSegment.data(), 2048, &end), 2u + 2u + 0x1000u);
  EXPECT_FALSE(end);

  // Inside a scan: the data runs out, the walk stops at its last byte and resumes there.
  Module->Reset();
  Bytes scan = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02};
  scan.resize(100, 0x12);
  scan[60] = 0xFF;  // stuffed
  scan[61] = 0x00;
  EXPECT_EQ(Module->FindEnd(scan.data(), 100, &end), 99u);
  EXPECT_FALSE(end);
  const Bytes rest = {0x12, 0x34, 0xFF, 0xD9, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(Module->FindEnd(rest.data(), static_cast<unsigned>(rest.size()), &end), 4u);
  EXPECT_TRUE(end);

  ExpectShortStartsEndWithin(Baseline, 40);
}

}  // namespace
