// The PNG module as the program uses it: loaded with dlopen, texts through caller
// buffers, the chunk walk on images made by ImageMagick and on hand-built chunk sequences.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/plugins/support/PluginModule.h"

namespace {

using namespace plugin_test;

const Bytes kSignature = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// One chunk: length, type, `length` data bytes and a CRC (not checked by the walk).
Bytes Chunk(const char type[4], uint32_t length) {
  Bytes b;
  b.reserve(length + 12);
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<unsigned char>(length >> shift));
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(type[i]));
  for (uint32_t i = 0; i < length; ++i) b.push_back(static_cast<unsigned char>(i * 31 + 7));
  for (unsigned char c : {0xDE, 0xAD, 0xBE, 0xEF}) b.push_back(c);
  return b;
}

Bytes Minimal() { return Concat(Concat(Concat(kSignature, Chunk("IHDR", 13)), Chunk("IDAT", 40)), Chunk("IEND", 0)); }

class PngPlugin : public PluginTest {
 protected:
  PngPlugin() : PluginTest("Png.fpi") {}
  // Detect without a Reset: the walk so far stays.
  int Detect(const Bytes& b) { return Module->Detect(b.data(), static_cast<unsigned>(b.size())); }
  // Reset, Detect, then one FindEnd call on exactly the given bytes.
  unsigned Walk(const Bytes& b, bool& end) {
    Module->Reset();
    EXPECT_EQ(Detect(b), 1);
    return FindEnd(b, end);
  }
};

TEST_F(PngPlugin, DetectsTheWholeSignatureOnly) {
  EXPECT_EQ(Detect(Minimal()), 1);
  for (size_t i = 0; i < kSignature.size(); ++i) {
    Bytes near = Minimal();
    near[i] ^= 0x20;
    EXPECT_EQ(Detect(near), 0) << "byte " << i;
  }
  Bytes shortData(kSignature.begin(), kSignature.begin() + 7);
  EXPECT_EQ(Detect(shortData), 0);
  EXPECT_EQ(Detect(kSignature), 1);
}

TEST_F(PngPlugin, MinimalImageEndsAfterIend) {
  const Bytes png = Minimal();
  bool end = false;
  EXPECT_EQ(Walk(Concat(png, Bytes(100, 0)), end), png.size());
  EXPECT_TRUE(end);
  // Exactly the file's bytes: the IEND header is in reach, so the end is found too.
  EXPECT_EQ(Walk(png, end), png.size());
  EXPECT_TRUE(end);
}

TEST_F(PngPlugin, DetectLeavesTheWalkWhereItWas) {
  const Bytes png = Minimal();
  bool end = false;
  ASSERT_EQ(Walk(png, end), png.size());
  // A Detect without a Reset does not restart the walk at the signature: the next
  // call takes data[0] as a chunk.
  ASSERT_EQ(Detect(png), 1);
  const Bytes chunks(png.begin() + 8, png.end());
  EXPECT_EQ(FindEnd(chunks, end), chunks.size());
  EXPECT_TRUE(end);
}

TEST_F(PngPlugin, ChunkHeaderInTheLastSevenBytesWaitsForTheNextCall) {
  const Bytes head = Concat(kSignature, Chunk("IHDR", 13));
  const Bytes rest = Concat(Chunk("IDAT", 10), Chunk("IEND", 0));
  Bytes first = Concat(head, Bytes(rest.begin(), rest.begin() + 7));
  bool end = true;
  EXPECT_EQ(Walk(first, end), head.size());
  EXPECT_FALSE(end);
  EXPECT_EQ(FindEnd(rest, end), rest.size());
  EXPECT_TRUE(end);
  // A header whose eighth byte is the last one given is read.
  const Bytes idat = Chunk("IDAT", 10);
  EXPECT_EQ(Walk(Concat(head, Bytes(idat.begin(), idat.begin() + 8)), end), head.size() + idat.size());
  EXPECT_FALSE(end);
}

TEST_F(PngPlugin, ChunkBeyondTheDataIsReturnedAsIs) {
  const Bytes head = Concat(kSignature, Chunk("IHDR", 13));
  const Bytes big = Chunk("IDAT", 100000);
  const Bytes first = Concat(head, Bytes(big.begin(), big.begin() + 2000));
  bool end = true;
  EXPECT_EQ(Walk(first, end), head.size() + big.size());
  EXPECT_FALSE(end);
}

TEST_F(PngPlugin, ImplausibleChunkEndsTheFileThere) {
  const Bytes head = Concat(kSignature, Chunk("IHDR", 13));
  bool end = false;
  // A length that would wrap the offset (and once made the walk go round for ever).
  for (uint32_t length : {0xFFFFFFF4u, 0xFFFFFFFFu, 0x80000000u}) {
    Bytes damaged = Concat(head, Chunk("IDAT", 0));
    damaged[head.size()] = static_cast<unsigned char>(length >> 24);
    damaged[head.size() + 1] = static_cast<unsigned char>(length >> 16);
    damaged[head.size() + 2] = static_cast<unsigned char>(length >> 8);
    damaged[head.size() + 3] = static_cast<unsigned char>(length);
    damaged = Concat(damaged, Bytes(64, 0));
    EXPECT_EQ(Walk(damaged, end), head.size()) << std::hex << length;
    EXPECT_TRUE(end);
  }
  // The largest length a chunk may have is still followed.
  Bytes largest = Concat(head, Chunk("IDAT", 0));
  largest[head.size()] = 0x7F;
  largest[head.size() + 1] = largest[head.size() + 2] = largest[head.size() + 3] = 0xFF;
  EXPECT_EQ(Walk(largest, end), head.size() + 0x7FFFFFFFull + 12);
  EXPECT_FALSE(end);
  // A type that is not four letters.
  for (const char* type : {"ID T", "IDA\x01", "1DAT"}) {
    const Bytes damaged = Concat(Concat(head, Chunk(type, 5)), Chunk("IEND", 0));
    EXPECT_EQ(Walk(damaged, end), head.size()) << type;
    EXPECT_TRUE(end);
  }
}

TEST_F(PngPlugin, CarvesImagesMadeByImageMagick) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick convert is not installed";
  TempDir dir;
  const std::string plain = dir / "plain.png";
  const std::string interlaced = dir / "interlaced.png";
  const std::string noisy = dir / "noisy.png";
  ASSERT_TRUE(Shell("convert -size 120x90 gradient:red-blue -swirl 200 -set comment 'made for a test' " + plain));
  ASSERT_TRUE(Shell("convert -size 100x80 gradient:green-black -swirl 90 -interlace PNG " + interlaced));
  // Noise does not compress, so the image data spans many sectors and several IDAT chunks.
  ASSERT_TRUE(Shell("convert -size 200x150 xc:gray +noise Random " + noisy));
  const Bytes plainBytes = plugin_test::ReadFile(plain);
  const Bytes interlacedBytes = plugin_test::ReadFile(interlaced);
  const Bytes noisyBytes = plugin_test::ReadFile(noisy);
  ASSERT_GT(plainBytes.size(), 2048u);
  ASSERT_GT(interlacedBytes.size(), 1000u);
  ASSERT_GT(noisyBytes.size(), 40000u);
  EXPECT_NE(std::string(plainBytes.begin(), plainBytes.end()).find("tEXt"), std::string::npos);

  for (unsigned sector : kSectorSizes) {
    EXPECT_EQ(CarvedLength(*Module, OnDisc(plainBytes, noisyBytes, sector), sector),
              static_cast<long long>(plainBytes.size())) << sector;
    EXPECT_EQ(CarvedLength(*Module, OnDisc(interlacedBytes, plainBytes, sector), sector),
              static_cast<long long>(interlacedBytes.size())) << sector;
    EXPECT_EQ(CarvedLength(*Module, OnDisc(noisyBytes, Bytes(sector, 0xFF), sector), sector),
              static_cast<long long>(noisyBytes.size())) << sector;
  }

  Bytes truncated = noisyBytes;
  truncated.resize(truncated.size() / 2);
  EXPECT_EQ(CarvedLength(*Module, truncated), -1);
}

TEST_F(PngPlugin, DamagedLengthInARealImageEndsTheCarveThere) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick convert is not installed";
  TempDir dir;
  ASSERT_TRUE(Shell("convert -size 200x150 xc:gray +noise Random " + (dir / "n.png")));
  Bytes png = plugin_test::ReadFile(dir / "n.png");
  ASSERT_GT(png.size(), 40000u);
  // Find the first IDAT chunk and break its length.
  const std::string text(png.begin(), png.end());
  const size_t type = text.find("IDAT");
  ASSERT_NE(type, std::string::npos);
  const size_t chunk = type - 4;
  png[chunk] = 0xFF;
  png[chunk + 1] = 0xFF;
  png[chunk + 2] = 0xFF;
  png[chunk + 3] = 0xF4;
  EXPECT_EQ(CarvedLength(*Module, Concat(png, Bytes(4096, 0))), static_cast<long long>(chunk));
}

}  // namespace
