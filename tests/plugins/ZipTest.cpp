// The ZIP module as the program uses it: loaded with dlopen, texts through caller
// buffers, Detect and FindEnd on archives made by zip and python3 and on hand-built
// and damaged ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/plugins/support/PluginModule.h"

namespace {

using namespace plugin_test;


void PutLe(Bytes& b, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(i < 8 ? static_cast<unsigned char>(v >> (8 * i)) : 0);
}

uint16_t Le16(const Bytes& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

// Hand-built records; checksums and times are left zero, which the walk never reads.
Bytes LocalHeader(const std::string& name, uint16_t flags, uint32_t compressed) {
  Bytes b;
  PutLe(b, 0x04034B50, 4);
  PutLe(b, 20, 2);
  PutLe(b, flags, 2);
  PutLe(b, 0, 2 + 4 + 4);  // method stored, time, CRC
  PutLe(b, compressed, 4);
  PutLe(b, compressed, 4);
  PutLe(b, name.size(), 2);
  PutLe(b, 0, 2);
  b.insert(b.end(), name.begin(), name.end());
  return b;
}

Bytes CentralHeader(const std::string& name, uint32_t size, uint32_t localOffset) {
  Bytes b;
  PutLe(b, 0x02014B50, 4);
  PutLe(b, 20, 2 + 2);
  PutLe(b, 0, 2 + 2 + 4 + 4);
  PutLe(b, size, 4);
  PutLe(b, size, 4);
  PutLe(b, name.size(), 2);
  PutLe(b, 0, 2 + 2 + 2 + 2 + 4);
  PutLe(b, localOffset, 4);
  b.insert(b.end(), name.begin(), name.end());
  return b;
}

Bytes EndRecord(uint16_t entries, uint32_t directorySize, uint32_t directoryOffset, const std::string& comment) {
  Bytes b;
  PutLe(b, 0x06054B50, 4);
  PutLe(b, 0, 4);
  PutLe(b, entries, 2);
  PutLe(b, entries, 2);
  PutLe(b, directorySize, 4);
  PutLe(b, directoryOffset, 4);
  PutLe(b, comment.size(), 2);
  b.insert(b.end(), comment.begin(), comment.end());
  return b;
}

enum class Descriptor { None, Signed };

Bytes DataDescriptor(Descriptor kind, uint32_t size) {
  Bytes b;
  if (kind == Descriptor::None) return b;
  PutLe(b, 0x08074B50, 4);
  PutLe(b, 0, 4);  // CRC
  PutLe(b, size, 4);
  PutLe(b, size, 4);
  return b;
}

// One stored entry with `data`, its central header and the end record.
// `headerSize` is the compressed size the local header states.
Bytes OneEntryArchive(const Bytes& data, uint16_t flags, uint32_t headerSize, Descriptor descriptor,
                      const std::string& comment = "") {
  Bytes archive = Concat(LocalHeader("entry.bin", flags, headerSize), data);
  archive = Concat(archive, DataDescriptor(descriptor, static_cast<uint32_t>(data.size())));
  const Bytes central = CentralHeader("entry.bin", static_cast<uint32_t>(data.size()), 0);
  const auto directoryOffset = static_cast<uint32_t>(archive.size());
  archive = Concat(archive, central);
  return Concat(archive, EndRecord(1, static_cast<uint32_t>(central.size()), directoryOffset, comment));
}

Bytes Pattern(size_t size, unsigned seed) {
  Bytes b(size);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& c : b) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<unsigned char>(x >> 24);
  }
  return b;
}

class ZipPlugin : public PluginTest {
 protected:
  ZipPlugin() : PluginTest("Zip.fpi") {}

  // Expects the carve of `archive` to end exactly at its last byte, whatever follows it.
  void ExpectCarvedWhole(const Bytes& archive, const Bytes& other) {
    const auto expected = static_cast<long long>(archive.size());
    for (unsigned sector : kSectorSizes) {
      SCOPED_TRACE(testing::Message() << "size " << archive.size() << ", sector " << sector);
      EXPECT_EQ(CarvedLength(*Module, OnDisc(archive, Bytes(3 * sector, 0), sector), sector), expected);
      EXPECT_EQ(CarvedLength(*Module, OnDisc(archive, other, sector), sector), expected);
      EXPECT_EQ(CarvedLength(*Module, Concat(archive, other), sector), expected);
    }
  }
};

TEST_F(ZipPlugin, DetectsALocalHeaderAtTheFirstByte) {
  const Bytes archive = OneEntryArchive(Pattern(100, 1), 0, 100, Descriptor::None);
  EXPECT_NE(Detect(archive), 0);
  EXPECT_NE(Detect(Bytes(archive.begin(), archive.begin() + 4)), 0);
  EXPECT_EQ(Detect(Bytes(archive.begin(), archive.begin() + 3)), 0);
  EXPECT_EQ(Detect(Bytes{}), 0);
  EXPECT_EQ(Detect(EndRecord(0, 0, 0, "")), 0) << "an empty archive starts with its end record";
  EXPECT_EQ(Detect(CentralHeader("x", 0, 0)), 0);
  Bytes text = {'P', 'K', ' ', 'i', 's', ' ', 'a', ' ', 'n', 'a', 'm', 'e'};
  EXPECT_EQ(Detect(text), 0);
}

TEST_F(ZipPlugin, CarvesArchivesMadeByZip) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip is not installed";
  TempDir dir;
  {
    std::string numbers;
    for (int i = 0; i < 3000; ++i) numbers += std::to_string(i * 7919 % 10007) + "\n";
    WriteFile(dir / "numbers.txt", numbers);
    WriteFile(dir / "noise.bin", Pattern(9000, 2));
    std::filesystem::create_directories(dir / "sub/deeper");
    std::filesystem::copy_file(dir / "numbers.txt", dir / "sub/deeper/copy.txt");
  }
  const std::string in = "cd " + dir / "" + " && ";
  ASSERT_TRUE(Shell(in + "zip -q -0 stored.zip noise.bin numbers.txt"));
  ASSERT_TRUE(Shell(in + "zip -q -9 -r deflated.zip numbers.txt noise.bin sub"));
  ASSERT_TRUE(Shell(in + "echo 'tenletters' | zip -q -z commented.zip numbers.txt"));
  const Bytes stored = plugin_test::ReadFile(dir / "stored.zip");
  const Bytes deflated = plugin_test::ReadFile(dir / "deflated.zip");
  const Bytes commented = plugin_test::ReadFile(dir / "commented.zip");
  ASSERT_FALSE(stored.empty() || deflated.empty() || commented.empty());

  // The 10-byte comment follows the 22-byte end record.
  ASSERT_GE(commented.size(), 32u);
  const size_t endRecord = commented.size() - 32;
  ASSERT_EQ(Le16(commented, endRecord), 0x4B50);
  ASSERT_EQ(Le16(commented, endRecord + 2), 0x0605);
  ASSERT_EQ(Le16(commented, endRecord + 20), 10);

  for (const Bytes* archive : {&stored, &deflated, &commented}) ExpectCarvedWhole(*archive, deflated);
}

// Sizes that follow the data are not looked for: the walk meets the first entry's data
// and the archive ends there, its local header kept as written.
TEST_F(ZipPlugin, ArchivesWithDataDescriptorsEndAtTheFirstEntrysData) {
  if (!HaveTool("zip") || !HaveTool("python3")) GTEST_SKIP() << "zip or python3 is not installed";
  TempDir dir;
  {
    WriteFile(dir / "noise.bin", Pattern(7000, 3));
    WriteFile(dir / "text.txt", std::string(20000, 'q') + "end\n");
    WriteFile(dir / "stream.py",
        "import io, sys, zipfile\n"
        "class Pipe(io.RawIOBase):\n"
        "    def __init__(self, f): self.f = f\n"
        "    def writable(self): return True\n"
        "    def write(self, b): return self.f.write(b)\n"
        "with open(sys.argv[1], 'wb') as raw:\n"
        "    with zipfile.ZipFile(Pipe(raw), 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "        for name in sys.argv[2:]:\n"
        "            with open(name, 'rb') as f, z.open(name, 'w') as out:\n"
        "                out.write(f.read())\n");
  }
  const std::string in = "cd " + dir / "" + " && ";
  // zip writing to a pipe, zip told to, and python3 writing to a stream it cannot seek in.
  ASSERT_TRUE(Shell(in + "(zip -q - noise.bin text.txt | cat > piped.zip)"));
  ASSERT_TRUE(Shell(in + "zip -q -fd forced.zip text.txt noise.bin"));
  ASSERT_TRUE(Shell(in + "python3 stream.py py.zip text.txt noise.bin"));
  for (const std::string name : {"piped.zip", "forced.zip", "py.zip"}) {
    SCOPED_TRACE(name);
    const Bytes archive = plugin_test::ReadFile(dir / name);
    ASSERT_GT(archive.size(), 30u);
    ASSERT_NE(Le16(archive, 6) & 8, 0) << "the sizes are expected after the data";
    const auto firstData = static_cast<long long>(30 + Le16(archive, 26) + Le16(archive, 28));
    for (unsigned sector : kSectorSizes)
      EXPECT_EQ(CarvedLength(*Module, OnDisc(archive, archive, sector), sector), firstData) << sector;
  }
}

TEST_F(ZipPlugin, HandBuiltRecordsEndWhereTheArchiveEnds) {
  const Bytes data = Pattern(3000, 4);
  // Stored entry, sizes in the header; an end record with a 10-byte comment.
  const Bytes plain = OneEntryArchive(data, 0, 3000, Descriptor::None, "0123456789");
  ExpectCarvedWhole(plain, plain);
  // Two entries and their directory.
  Bytes two = Concat(LocalHeader("a", 0, 10), Pattern(10, 5));
  two = Concat(Concat(two, LocalHeader("b", 0, 2500)), Pattern(2500, 6));
  two = Concat(Concat(two, CentralHeader("a", 10, 0)), CentralHeader("b", 2500, 41));
  ExpectCarvedWhole(Concat(two, EndRecord(2, 94, 2572, "")), plain);
  // A descriptor after an entry whose header gave its sizes is not a record of the walk.
  const Bytes both = OneEntryArchive(data, 8, 3000, Descriptor::Signed);
  EXPECT_EQ(CarvedLength(*Module, OnDisc(both, plain, 2048)), 30 + 9 + 3000);
}

TEST_F(ZipPlugin, ImpossibleSizesEndTheArchiveAtTheirHeader) {
  const Bytes first = Concat(LocalHeader("a", 0, 20), Pattern(20, 6));
  bool end = false;
  // A 64-bit size placeholder without a descriptor, and a size that would pass 4 GiB.
  for (uint32_t compressed : {0xFFFFFFFFu, 0xFFFFFFF0u, 0xFFFFFFE0u}) {
    Bytes data = Concat(first, LocalHeader("b", 0, compressed));
    data.resize(2048, 0);
    Module->Reset();
    ASSERT_NE(Detect(data), 0);
    EXPECT_EQ(Module->FindEnd(data.data(), 2048, &end), first.size()) << compressed;
    EXPECT_TRUE(end);
  }
  // A large but possible size is skipped: the host reads it from the disc.
  Bytes data = Concat(first, LocalHeader("b", 0, 0x10000000));
  data.resize(2048, 0);
  Module->Reset();
  EXPECT_EQ(Module->FindEnd(data.data(), 2048, &end), first.size() + 31 + 0x10000000u);
  EXPECT_FALSE(end);
}

TEST_F(ZipPlugin, ARecordThatDoesNotFitIsReadAtTheNextCall) {
  const Bytes archive = OneEntryArchive(Pattern(2000, 7), 0, 2000, Descriptor::None);
  const size_t central = 30 + 9 + 2000;
  bool end = true;
  Module->Reset();
  // The central header starts 10 bytes before the end of the data shown.
  EXPECT_EQ(Module->FindEnd(archive.data(), static_cast<unsigned>(central + 10), &end), central);
  EXPECT_FALSE(end);
  const Bytes rest(archive.begin() + static_cast<std::ptrdiff_t>(central), archive.end());
  EXPECT_EQ(Module->FindEnd(rest.data(), static_cast<unsigned>(rest.size()), &end), rest.size());
  EXPECT_TRUE(end);

}

TEST_F(ZipPlugin, DamagedArchivesStayWithinTheirData) {
  const Bytes archive = OneEntryArchive(Pattern(5000, 9), 0, 5000, Descriptor::None, "note");
  const Bytes disc = OnDisc(archive, Bytes(2048, 0), 2048);
  // Cut inside the directory: the walk ends at the zero padding.
  const size_t cut = archive.size() - 30;
  const Bytes cutDisc = OnDisc(Bytes(archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(cut)),
                               Bytes(2048, 0), 2048);
  const long long cutLength = CarvedLength(*Module, cutDisc);
  EXPECT_GE(cutLength, static_cast<long long>(cut) - 46);
  EXPECT_LE(cutLength, static_cast<long long>(cutDisc.size()));

  for (size_t at = 4; at < archive.size(); at += at < 80 ? 1 : 97)
    ExpectDamageStaysWithin(disc, at, {0x00, 0x08, 0x50, 0xFF});
  // Short data at every length, each in a buffer of exactly that size.
  ExpectShortStartsEndWithin(archive, 80);
}

}  // namespace
