#include "recovery/Iso9660util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> v;
  for (int x : values) v.push_back(static_cast<uint8_t>(x));
  return v;
}

std::vector<uint8_t> Descriptor(const char* escapes, size_t at) {
  std::vector<uint8_t> d(2048, 0);
  d[0] = 2;
  std::memcpy(d.data() + 1, "CD001", 5);
  std::memcpy(d.data() + 88 + at, escapes, std::strlen(escapes));
  return d;
}

// Appends one directory record with the given identifier bytes.
void AddRecord(std::vector<uint8_t>& image, const std::vector<uint8_t>& name, bool directory) {
  size_t length = 33 + name.size();
  length += length % 2;
  const size_t at = image.size();
  image.resize(at + length, 0);
  image[at] = static_cast<uint8_t>(length);
  image[at + 25] = directory ? 2 : 0;
  image[at + 32] = static_cast<uint8_t>(name.size());
  std::copy(name.begin(), name.end(), image.begin() + static_cast<long>(at) + 33);
}

std::vector<uint8_t> Ucs2(const std::string& ascii) {
  std::vector<uint8_t> v;
  for (char c : ascii) v.push_back(0), v.push_back(static_cast<uint8_t>(c));
  return v;
}

std::vector<uint8_t> Ascii(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// A copy in an exact-size heap block, so that the address sanitizer sees any overrun.
std::unique_ptr<uint8_t[]> Exact(const std::vector<uint8_t>& v) {
  auto p = std::make_unique<uint8_t[]>(v.size());
  std::memcpy(p.get(), v.data(), v.size());
  return p;
}

bool Ucs2Dir(const std::vector<uint8_t>& image, size_t unit = 2048) {
  const auto block = Exact(image);
  return IsUcs2Directory(block.get(), image.size(), unit);
}

}  // namespace

TEST(Iso9660utilTest, BothEndianReaders) {
  const auto p = Bytes({0x78, 0x56, 0x34, 0x12, 0x87, 0x65, 0x43, 0x21});
  EXPECT_EQ(BothEndian32Lsb(p.data()), 0x12345678u);
  EXPECT_EQ(BothEndian32Msb(p.data()), 0x87654321u);
  EXPECT_EQ(BothEndian16Msb(p.data()), 0x3412u);
  const auto high = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(BothEndian32Lsb(high.data()), 0xFFFFFFFFu);
  EXPECT_EQ(BothEndian32Msb(high.data()), 0xFEFFFFFFu);
}

TEST(Iso9660utilTest, JolietIsFoundInAnyOfTheTenEscapeSlots) {
  EXPECT_TRUE(IsJolietDescriptor(Descriptor("%/E", 0).data()));
  EXPECT_TRUE(IsJolietDescriptor(Descriptor("%/@", 3).data()));
  EXPECT_TRUE(IsJolietDescriptor(Descriptor("%/C", 27).data()));
  EXPECT_FALSE(IsJolietDescriptor(Descriptor("", 0).data()));
  EXPECT_FALSE(IsJolietDescriptor(Descriptor("%/F", 0).data()));  // no UCS-2 level
  EXPECT_FALSE(IsJolietDescriptor(Descriptor("%/E", 1).data()));  // not on a slot
  EXPECT_FALSE(IsJolietDescriptor(Descriptor("%/E", 29).data())); // past the tenth slot
  EXPECT_FALSE(IsJolietDescriptor(Descriptor("/%E", 0).data()));
}

TEST(Iso9660utilTest, HasZeroByteTestsOnlyIndicesOneToHalfTheLength) {
  struct Case {
    std::vector<uint8_t> name;
    bool expected;
  };
  const Case cases[] = {
      {Bytes({0x00, 0x41, 0x00, 0x42}), true},   // index 2
      {Bytes({0x00, 0x41}), false},              // only index 1 is tested
      {Bytes({0x41, 0x00}), true},
      {Bytes({0x00, 0x41, 0x00}), false},        // odd length
      {Bytes({0x41, 0x41, 0x41, 0x41, 0x00, 0x41}), false},  // index 4 is past length/2
      {Bytes({0x41, 0x41, 0x41, 0x00, 0x41, 0x41}), true},   // index 3 = length/2
      {Ascii("ABCDEFGH"), false},
      {Ucs2("LONG_NAME"), true},
      {{}, false},
  };
  for (const Case& c : cases) {
    const auto block = Exact(c.name.empty() ? Bytes({0}) : c.name);
    EXPECT_EQ(HasZeroByte(block.get(), c.name.size()), c.expected) << c.name.size();
  }
}

TEST(Iso9660utilTest, Ucs2DirectoryIsRecognisedPastDotEntries) {
  std::vector<uint8_t> joliet;
  AddRecord(joliet, {0}, true);
  AddRecord(joliet, {1}, true);
  AddRecord(joliet, Ucs2("README.TXT"), false);
  EXPECT_TRUE(Ucs2Dir(joliet));

  std::vector<uint8_t> narrow;
  AddRecord(narrow, {0}, true);
  AddRecord(narrow, {1}, true);
  AddRecord(narrow, Ascii("README.TXT;1"), false);
  AddRecord(narrow, Ascii("SUB"), true);
  EXPECT_FALSE(Ucs2Dir(narrow));

  // A one-byte name of a file (not a directory) is looked at, but odd, so it is no hit.
  std::vector<uint8_t> oneByteFile;
  AddRecord(oneByteFile, {0}, false);
  EXPECT_FALSE(Ucs2Dir(oneByteFile));
}

// Names without a zero byte. The UCS-2 test answers 8-bit for them: all-CJK UCS-2 names and
// 8-bit Shift-JIS ones can hold the same bytes (日本 in Shift-JIS reads as 鏺陻 in UCS-2).
// What the bytes alone decide: a name only one encoding can hold, or none of them.
TEST(Iso9660utilTest, Ucs2DirectoryWithoutZeroBytes) {
  const std::vector<uint8_t> japan = {0x65, 0xE5, 0x67, 0x2C}, photo = {0x51, 0x99, 0x77, 0x1F};
  const std::vector<uint8_t> sjisJapan = {0x93, 0xFA, 0x96, 0x7B}, sjisOne = {0x88, 0xEA, '.', 'b', 'i', 'n'};
  using enum TNameCode;
  const struct {
    std::vector<std::vector<uint8_t>> Names;
    bool Ucs2;
    TNameCode Code;
  } cases[] = {
      {{japan, photo}, false, Ucs2},           // 写真 holds a control byte read as 8-bit
      {{sjisJapan}, false, Unknown},           // Shift-JIS 日本, or UCS-2 鏺陻
      {{japan}, false, Unknown},               // UCS-2 日本, or "e", a Shift-JIS pair and ","
      {{{0x00, 0x61}}, false, Ucs2},           // "a": its zero byte is at index 0
      {{japan, Ascii("DOCS")}, false, Narrow}, // names of plain ASCII are 8-bit
      {{Ascii("DOCS"), Ascii("SUBDIRAB")}, false, Narrow},
      {{Ascii("readme.txt;1"), japan}, false, Narrow},  // ".t" is no Joliet character
      {{sjisOne, sjisJapan}, false, Narrow},   // Shift-JIS 一.bin
      {{{0x93, 0xFA, 0x96}}, false, Narrow},   // odd length
      {{photo, sjisOne}, false, Unknown},      // they disagree
      {{}, false, Unknown},                    // "." and ".." only
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> image;
    AddRecord(image, {0}, true);
    AddRecord(image, {1}, true);
    for (const auto& name : c.Names) AddRecord(image, name, true);
    EXPECT_EQ(Ucs2Dir(image), c.Ucs2) << ::testing::PrintToString(c.Names);
    const auto block = Exact(image);
    EXPECT_EQ(NameCodeOf(block.get(), image.size(), 2048), c.Code) << ::testing::PrintToString(c.Names);
  }
}

TEST(Iso9660utilTest, Ucs2DirectoryJumpsToTheNextUnitAtAZeroLength) {
  std::vector<uint8_t> image;
  AddRecord(image, {0}, true);
  AddRecord(image, {1}, true);
  image.resize(512, 0);
  AddRecord(image, Ucs2("NAME"), false);
  image.resize(1024, 0);
  EXPECT_TRUE(Ucs2Dir(image, 512));
  // With a unit past the image the jump leaves it: no hit.
  EXPECT_FALSE(Ucs2Dir(image, 2048));
  // A unit of 0 cannot be stepped by: the walk ends rather than dividing by zero.
  EXPECT_FALSE(Ucs2Dir(image, 0));
}

TEST(Iso9660utilTest, Ucs2DirectoryStopsEarly) {
  std::vector<uint8_t> shortFirst;
  AddRecord(shortFirst, Ucs2("NAME"), false);
  shortFirst[0] = 32;
  EXPECT_FALSE(Ucs2Dir(shortFirst));

  std::vector<uint8_t> emptyName;
  AddRecord(emptyName, {0}, true);
  AddRecord(emptyName, Ascii("X"), false);
  emptyName[34 + 32] = 0;  // name length 0 before any UCS-2 name
  AddRecord(emptyName, Ucs2("NAME"), false);
  EXPECT_FALSE(Ucs2Dir(emptyName));

  EXPECT_FALSE(IsUcs2Directory(nullptr, 0, 2048));
}

TEST(Iso9660utilTest, Ucs2DirectoryNeverReadsOutsideTheImage) {
  // Record cut off by the image end, its name length pointing past it.
  std::vector<uint8_t> cut;
  AddRecord(cut, {0}, true);
  AddRecord(cut, Ucs2("ABCDEFGHIJ"), false);
  cut.resize(34 + 20);
  EXPECT_FALSE(Ucs2Dir(cut));

  // A later record whose length byte (1..32) is smaller than its fixed part.
  std::vector<uint8_t> tiny;
  AddRecord(tiny, {0}, true);
  tiny.push_back(5);
  tiny.resize(tiny.size() + 4, 0xFF);
  EXPECT_FALSE(Ucs2Dir(tiny));

  // A name length beyond the record's own length.
  std::vector<uint8_t> longName;
  AddRecord(longName, {0}, true);
  AddRecord(longName, Ascii("A"), false);
  longName[34 + 32] = 200;
  longName.resize(longName.size() + 10, 0x41);
  EXPECT_FALSE(Ucs2Dir(longName));

  // Random images of every small size: any answer, but no read outside (checked by the sanitizer).
  std::mt19937 rng(20240601);
  for (size_t size = 1; size < 300; ++size) {
    for (int round = 0; round < 20; ++round) {
      std::vector<uint8_t> image(size);
      for (auto& b : image) b = static_cast<uint8_t>(rng() % 4 == 0 ? 0 : rng());
      image[0] = static_cast<uint8_t>(33 + rng() % 200);
      Ucs2Dir(image, 1 + rng() % 64);
    }
  }
}

TEST(Iso9660utilTest, ByteSizeCaptions) {
  struct Case {
    uint32_t bytes;
    const char* text;
  };
  const Case cases[] = {
      {0, "0Bytes"},
      {1000, "1000Bytes"},
      {1023, "1023Bytes"},
      {1024, "1.00KB"},
      {1152, "1.13KB"},  // exactly 1.125: halves round up
      {1536, "1.50KB"},
      {1048575, "1024.00KB"},
      {1048576, "1.00MB"},
      {1572864, "1.50MB"},
      {734003200, "700.00MB"},
      {1073741823, "1024.00MB"},
      {1073741824, "1.00GB"},
      {4294967295u, "4.00GB"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatByteSize(c.bytes), c.text) << c.bytes;
}

TEST(Iso9660utilTest, JolietNamesBecomeUtf8) {
  EXPECT_EQ(Ucs2BeToUtf8(Ucs2("FILE.TXT;1")), "FILE.TXT;1");
  // U+65E5 U+672C (two CJK ideographs), U+00E9.
  EXPECT_EQ(Ucs2BeToUtf8(Bytes({0x65, 0xE5, 0x67, 0x2C, 0x00, 0xE9})), "\xE6\x97\xA5\xE6\x9C\xAC\xC3\xA9");
  // A surrogate pair: U+1F600.
  EXPECT_EQ(Ucs2BeToUtf8(Bytes({0xD8, 0x3D, 0xDE, 0x00})), "\xF0\x9F\x98\x80");
  // Unpaired surrogates and an odd trailing byte become U+FFFD.
  EXPECT_EQ(Ucs2BeToUtf8(Bytes({0xD8, 0x3D, 0x00, 0x41})), "\xEF\xBF\xBD" "A");
  EXPECT_EQ(Ucs2BeToUtf8(Bytes({0xDE, 0x00})), "\xEF\xBF\xBD");
  EXPECT_EQ(Ucs2BeToUtf8(Bytes({0xD8, 0x3D})), "\xEF\xBF\xBD");
  EXPECT_EQ(Ucs2BeToUtf8(Bytes({0x00, 0x41, 0x00})), "A\xEF\xBF\xBD");
  EXPECT_EQ(Ucs2BeToUtf8({}), "");
}

TEST(Iso9660utilTest, NarrowNamesAreKeptDecodedOrEscaped) {
  EXPECT_EQ(NarrowNameToUtf8(Ascii("README.TXT;1")), "README.TXT;1");
  EXPECT_EQ(NarrowNameToUtf8(Ascii("caf\xC3\xA9")), "caf\xC3\xA9");  // already UTF-8
  // CP932 for U+65E5 U+672C and a half-width katakana.
  EXPECT_EQ(NarrowNameToUtf8(Bytes({0x93, 0xFA, 0x96, 0x7B, 0xB1})), "\xE6\x97\xA5\xE6\x9C\xAC\xEF\xBD\xB1");
  // Neither UTF-8 nor CP932.
  EXPECT_EQ(NarrowNameToUtf8(Bytes({'A', 0xFF, 'B', 0x80})), "A%FFB%80");
  // Overlong and surrogate encodings are no valid UTF-8.
  EXPECT_NE(NarrowNameToUtf8(Bytes({0xC0, 0xAF})), "\xC0\xAF");
  EXPECT_NE(NarrowNameToUtf8(Bytes({0xED, 0xA0, 0x80})), "\xED\xA0\x80");
  EXPECT_NE(NarrowNameToUtf8(Bytes({0xE0, 0x80, 0xAF})), "\xE0\x80\xAF");
  // A lead byte cut off by the end of the name.
  EXPECT_EQ(NarrowNameToUtf8(Bytes({'A', 0xE6})), "A%E6");
}
