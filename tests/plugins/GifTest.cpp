// The GIF module as the program uses it: loaded with dlopen, texts through caller
// buffers, the block walk on images made by ImageMagick and on hand-built block sequences.
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

// Builds a GIF block by block.
class GifBytes {
 public:
  // Signature and logical screen descriptor with the given packed field and, when its
  // flag is set, a global colour table of `tableFill` bytes.
  explicit GifBytes(unsigned char packed, const char* version = "89a", unsigned char tableFill = 0) {
    Append({'G', 'I', 'F', static_cast<unsigned char>(version[0]), static_cast<unsigned char>(version[1]),
            static_cast<unsigned char>(version[2]), 10, 0, 10, 0, packed, 0, 0});
    ColourTable(packed, tableFill);
  }
  GifBytes& Image(unsigned char packed, unsigned char tableFill = 0) {
    Append({0x2C, 0, 0, 0, 0, 10, 0, 10, 0, packed});
    ColourTable(packed, tableFill);
    Append({2});  // LZW minimum code size
    return SubBlocks({30, 255, 1});
  }
  GifBytes& GraphicControl() { return Append({0x21, 0xF9, 4, 0, 10, 0, 0, 0}); }
  GifBytes& Comment(const std::string& text) {
    Append({0x21, 0xFE});
    return SubBlocks({text.size()}, static_cast<unsigned char>(text[0]));
  }
  GifBytes& Application() {
    Append({0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'});
    return SubBlocks({3});
  }
  GifBytes& PlainText() {
    Append({0x21, 0x01, 12, 0, 0, 0, 0, 10, 0, 10, 0, 8, 8, 1, 0});
    return SubBlocks({5});
  }
  GifBytes& Extension(unsigned char label) {
    Append({0x21, label});
    return SubBlocks({4, 7});
  }
  // Sub-blocks of the given lengths and the terminator.
  GifBytes& SubBlocks(std::initializer_list<size_t> lengths, unsigned char fill = 0x3B) {
    for (size_t length : lengths) {
      Data.push_back(static_cast<unsigned char>(length));
      Data.insert(Data.end(), length, fill);  // trailer-like bytes that the walk must skip
    }
    Data.push_back(0);
    return *this;
  }
  GifBytes& Append(std::initializer_list<unsigned char> bytes) {
    Data.insert(Data.end(), bytes);
    return *this;
  }
  Bytes Trailer() {
    Data.push_back(0x3B);
    return Data;
  }
  Bytes Data;

 private:
  void ColourTable(unsigned char packed, unsigned char fill) {
    if ((packed & 0x80) != 0) Data.insert(Data.end(), size_t(3) << ((packed & 7) + 1), fill);
  }
};

class GifPlugin : public PluginTest {
 protected:
  GifPlugin() : PluginTest("Gif.fpi") {}
  // A Detect, then one FindEnd call on exactly the given bytes.
  unsigned Walk(const Bytes& b, bool& end) {
    EXPECT_EQ(Detect(b), 1);
    return FindEnd(b, end);
  }
  // A whole GIF walked in one call, followed by data as on a disc (the last byte of the
  // data is never examined).
  unsigned WalkWhole(const Bytes& b, bool& end) { return Walk(Concat(b, Bytes(16, 0)), end); }
};

TEST_F(GifPlugin, DetectsBothVersionsOnly) {
  Module->Reset();
  EXPECT_EQ(Module->GetHeaderSize(), 6);
  EXPECT_EQ(Detect(GifBytes(0, "87a").Trailer()), 1);
  EXPECT_EQ(Module->GetHeaderSize(), 13);
  EXPECT_EQ(Detect(GifBytes(0, "89a").Trailer()), 1);
  EXPECT_EQ(Detect(GifBytes(0, "88a").Trailer()), 0);
  EXPECT_EQ(Module->GetHeaderSize(), 13);  // "not a GIF" is a result too
  EXPECT_EQ(Detect(GifBytes(0, "89b").Trailer()), 0);
  Bytes lower = GifBytes(0).Trailer();
  lower[0] = 'g';
  EXPECT_EQ(Detect(lower), 0);
  EXPECT_EQ(Detect(Bytes{'G', 'I', 'F', '8', '9'}), 0);  // shorter than the signature
  Module->Reset();
  EXPECT_EQ(Module->GetHeaderSize(), 6);
}

TEST_F(GifPlugin, SkipsTheGlobalColourTable) {
  bool end = false;
  // Size bits 7: a 768-byte table; the trailer follows it at 781.
  const Bytes withTable = GifBytes(0xF7).Trailer();
  ASSERT_EQ(withTable.size(), 782u);
  EXPECT_EQ(WalkWhole(withTable, end), 782u);
  EXPECT_TRUE(end);
  // The size bits count only when the table flag is set.
  EXPECT_EQ(WalkWhole(GifBytes(0x07).Trailer(), end), 14u);
  EXPECT_TRUE(end);
}

TEST_F(GifPlugin, WalksImagesAndLocalColourTables) {
  bool end = false;
  // The tables are filled with trailer bytes, so a wrong skip ends the walk early.
  Bytes gif = GifBytes(0x81, "89a", 0x3B).Image(0x87, 0x3B).Image(0x01, 0x3B).Image(0x80, 0x3B).Trailer();
  EXPECT_EQ(WalkWhole(gif, end), gif.size());
  EXPECT_TRUE(end);
}

TEST_F(GifPlugin, WalksEveryExtensionKind) {
  bool end = false;
  Bytes gif = GifBytes(0x80)
                  .Application()
                  .GraphicControl()
                  .Image(0)
                  .Comment("made for a test")
                  .PlainText()
                  .Extension(0x77)
                  .GraphicControl()
                  .Image(0x83)
                  .Trailer();
  EXPECT_EQ(WalkWhole(gif, end), gif.size());
  EXPECT_TRUE(end);
}

TEST_F(GifPlugin, ApplicationAndPlainTextHeadersAreSkippedWhole) {
  // Their fixed-size headers are passed over as a whole, whatever their first byte says.
  bool end = false;
  GifBytes application(0);
  application.Append({0x21, 0xFF, 0, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'}).SubBlocks({3});
  const Bytes a = application.Trailer();
  EXPECT_EQ(WalkWhole(a, end), a.size());
  EXPECT_TRUE(end);
  GifBytes text(0);
  text.Append({0x21, 0x01, 0, 0, 0, 0, 0, 10, 0, 10, 0, 8, 8, 1, 0}).SubBlocks({5});
  const Bytes t = text.Trailer();
  EXPECT_EQ(WalkWhole(t, end), t.size());
  EXPECT_TRUE(end);
}

TEST_F(GifPlugin, UnknownIntroducerEndsTheFileThere) {
  bool end = false;
  GifBytes gif(0);
  gif.Image(0);
  const size_t stop = gif.Data.size();
  gif.Append({0x00, 0x3B});
  EXPECT_EQ(Walk(gif.Data, end), stop);
  EXPECT_TRUE(end);
}

TEST_F(GifPlugin, IncompleteStructuresWaitForMoreData) {
  bool end = true;
  GifBytes gif(0);
  gif.Image(0);
  const size_t next = gif.Data.size();
  // An image descriptor cut short is returned as the next structure, without the end flag.
  Bytes cut = gif.Data;
  cut.insert(cut.end(), {0x2C, 0, 0, 0, 0, 10, 0, 10, 0});
  EXPECT_EQ(Walk(cut, end), next);
  EXPECT_FALSE(end);
  // The last byte is never taken as an introducer, not even a trailer.
  Bytes lastTrailer = gif.Data;
  lastTrailer.push_back(0x3B);
  EXPECT_EQ(Walk(lastTrailer, end), next);
  EXPECT_FALSE(end);
  // An extension whose label is the last byte.
  Bytes extension = gif.Data;
  extension.insert(extension.end(), {0x21, 0xF9});
  EXPECT_EQ(Walk(extension, end), next);
  EXPECT_FALSE(end);
}

TEST_F(GifPlugin, SubBlockBeyondTheDataResumesInTheSameState) {
  GifBytes gif(0);
  gif.Append({0x2C, 0, 0, 0, 0, 10, 0, 10, 0, 0, 2, 200});
  Bytes first = gif.Data;
  first.resize(first.size() + 50, 0x3B);  // only part of the 200-byte sub-block
  bool end = true;
  const unsigned beyond = Walk(first, end);
  EXPECT_EQ(beyond, 13u + 12u + 200u);
  EXPECT_GT(beyond, first.size());
  EXPECT_FALSE(end);
  // The next call starts at that offset, still inside the chain of sub-blocks.
  EXPECT_EQ(FindEnd(Bytes{5, 0x3B, 0x3B, 0x3B, 0x3B, 0x3B, 0, 0x3B, 0}, end), 8u);
  EXPECT_TRUE(end);
}

TEST_F(GifPlugin, CorruptDataEndsWithoutReadingPastIt) {
  // Pseudo-random bytes after a valid header: the walk must stop inside the data or
  // report an offset beyond it, and never read past it (checked by the sanitizers).
  uint32_t x = 12345;
  for (int round = 0; round < 200; ++round) {
    Bytes gif = GifBytes(static_cast<unsigned char>(round)).Data;
    const size_t tail = 1 + round * 13 % 3000;
    for (size_t i = 0; i < tail; ++i) {
      x ^= x << 13, x ^= x >> 17, x ^= x << 5;
      gif.push_back(static_cast<unsigned char>(x));
    }
    bool end = false;
    const unsigned result = Walk(gif, end);
    if (end) {
      EXPECT_LE(result, gif.size());
    }
  }
  Module->Reset();
  Bytes shortHeader = GifBytes(0).Data;
  shortHeader.resize(12);
  bool end = true;
  EXPECT_EQ(FindEnd(shortHeader, end), 0u);
}

TEST_F(GifPlugin, CarvesImagesMadeByImageMagick) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick convert is not installed";
  TempDir dir;
  const std::string still = dir / "still.gif";
  const std::string old = dir / "old.gif";
  const std::string animated = dir / "animated.gif";
  ASSERT_TRUE(Shell("convert -size 160x120 gradient:red-blue -swirl 200 -set comment 'made for a test' " + still));
  ASSERT_TRUE(Shell("convert -size 90x60 gradient:yellow-black -swirl 90 GIF87:" + old));
  // Frames of different palettes get local colour tables; the loop adds an application extension.
  ASSERT_TRUE(Shell("convert -delay 10 -loop 0 -size 120x80 gradient:red-green gradient:blue-white "
                    "gradient:black-orange -swirl 120 " + animated));
  const Bytes stillBytes = plugin_test::ReadFile(still);
  const Bytes oldBytes = plugin_test::ReadFile(old);
  const Bytes animatedBytes = plugin_test::ReadFile(animated);
  ASSERT_GT(stillBytes.size(), 4096u);
  ASSERT_GT(oldBytes.size(), 2048u);
  ASSERT_GT(animatedBytes.size(), 4096u);
  EXPECT_EQ(std::string(oldBytes.begin(), oldBytes.begin() + 6), "GIF87a");
  EXPECT_NE(std::string(stillBytes.begin(), stillBytes.end()).find("made for a test"), std::string::npos);
  EXPECT_NE(std::string(animatedBytes.begin(), animatedBytes.end()).find("NETSCAPE2.0"), std::string::npos);

  for (unsigned sector : kSectorSizes) {
    EXPECT_EQ(CarvedLength(*Module, OnDisc(stillBytes, oldBytes, sector), sector),
              static_cast<long long>(stillBytes.size())) << sector;
    EXPECT_EQ(CarvedLength(*Module, OnDisc(oldBytes, animatedBytes, sector), sector),
              static_cast<long long>(oldBytes.size())) << sector;
    EXPECT_EQ(CarvedLength(*Module, OnDisc(animatedBytes, Bytes(2 * sector, 0), sector), sector),
              static_cast<long long>(animatedBytes.size())) << sector;
  }

  Bytes truncated = stillBytes;
  truncated.resize(truncated.size() / 2);
  EXPECT_EQ(CarvedLength(*Module, truncated), -1);
}

}  // namespace
