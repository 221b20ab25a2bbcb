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

constexpr unsigned SectorSize = 2048;

// A level-0 member: header (with its checksum) followed by `body` stored as is.
Bytes Level0Member(const char* id, const std::string& name, const Bytes& body, std::uint32_t compressed) {
  const unsigned headerSize = 22 + static_cast<unsigned>(name.size());
  Bytes h(2 + headerSize, 0);
  h[0] = static_cast<unsigned char>(headerSize);
  std::memcpy(&h[2], id, 5);
  PutLe32(h, 7, compressed);
  PutLe32(h, 11, static_cast<std::uint32_t>(body.size()));
  PutLe32(h, 15, 0x5A3C1E21);
  h[19] = 0x20;
  h[20] = 0;
  h[21] = static_cast<unsigned char>(name.size());
  std::memcpy(&h[22], name.data(), name.size());
  unsigned sum = 0;
  for (unsigned i = 2; i < 2 + headerSize; ++i) sum += h[i];
  h[1] = static_cast<unsigned char>(sum);
  h.insert(h.end(), body.begin(), body.end());
  return h;
}

Bytes Level0Member(const char* id, const std::string& name, const Bytes& body) {
  return Level0Member(id, name, body, static_cast<std::uint32_t>(body.size()));
}

// A level-2 member with a bare 26-byte header.
Bytes Level2Member(const char* id, const Bytes& body, std::uint16_t headerSize, std::uint32_t compressed) {
  Bytes h(26, 0);
  h[0] = static_cast<unsigned char>(headerSize);
  h[1] = static_cast<unsigned char>(headerSize >> 8);
  std::memcpy(&h[2], id, 5);
  PutLe32(h, 7, compressed);
  PutLe32(h, 11, static_cast<std::uint32_t>(body.size()));
  h[19] = 0x20;
  h[20] = 2;
  h[23] = 'U';
  h.insert(h.end(), body.begin(), body.end());
  return h;
}

Bytes Zeros(size_t n) { return Bytes(n, 0); }

// A self-extractor's stub: "MZ", the mark at 0x24 and code-like filler without a '-'
// (the search takes the first method-id look-alike as the archive's start).
Bytes SfxStub(size_t length) {
  Bytes stub = RandomBytes(length, 77);
  for (auto& b : stub)
    if (b == '-') b = '+';
  stub[0] = 'M';
  stub[1] = 'Z';
  std::memcpy(&stub[0x24], "LHA's SFX", 9);
  return stub;
}

class LzhPlugin : public PluginTest {
 protected:
  LzhPlugin() : PluginTest("Lzh.fpi") {}
  long long Carve(const Bytes& stream) { return CarvedLength(*Module, stream, SectorSize); }
};

TEST_F(LzhPlugin, MethodIdAndStubChooseTheExtension) {
  const Bytes body = RandomBytes(100, 1);
  EXPECT_NE(Detect(Level0Member("-lz5-", "a", body)), 0);
  EXPECT_EQ(Extension(), ".lzs");
  EXPECT_NE(Detect(Level0Member("-lh5-", "a", body)), 0);
  EXPECT_EQ(Extension(), ".lzh");
  EXPECT_NE(Detect(Level0Member("-xq9-", "a", body)), 0);
  EXPECT_EQ(Extension(), ".lzh");
  EXPECT_NE(Detect(Level2Member("-lzs-", body, 26, 100)), 0);
  EXPECT_EQ(Extension(), ".lzs");
  EXPECT_NE(Detect(SfxStub(SectorSize)), 0);
  EXPECT_EQ(Extension(), ".exe");
  // Reset forgets the self-extractor.
  EXPECT_NE(Detect(Level0Member("-lh0-", "a", body)), 0);
  EXPECT_EQ(Extension(), ".lzh");
}

TEST_F(LzhPlugin, RefusesNearMisses) {
  const Bytes good = Concat({Level0Member("-lh0-", "name.txt", RandomBytes(300, 2)), Zeros(SectorSize)});
  ASSERT_NE(Detect(good), 0);

  Bytes levelThree = good;
  levelThree[20] = 3;
  EXPECT_EQ(Detect(levelThree), 0);

  for (size_t idByte : {size_t{2}, size_t{6}}) {
    Bytes noDash = good;
    noDash[idByte] = 'x';
    EXPECT_EQ(Detect(noDash), 0) << "id byte " << idByte;
  }

  Bytes noMark = SfxStub(SectorSize);
  noMark[0x24] = 'l';
  EXPECT_EQ(Detect(noMark), 0);
  EXPECT_EQ(Detect(Zeros(SectorSize)), 0);
  EXPECT_EQ(Detect(RandomBytes(SectorSize, 3)), 0);
  // Too little data for a header, including the empty case.
  EXPECT_EQ(Detect(Bytes(good.begin(), good.begin() + 21)), 0);
  EXPECT_EQ(Detect(Bytes(good.begin(), good.begin() + 1)), 0);
  EXPECT_EQ(Module->Detect(good.data(), 0), 0);
}

TEST_F(LzhPlugin, CarvesArchivesMadeByLhaAtEveryHeaderLevel) {
  if (!HaveTool("lha")) GTEST_SKIP() << "lha (jlha-utils) is not installed";
  TempDir dir;
  ASSERT_FALSE(dir.Dir().empty());
  WriteFile(dir.Dir() + "/noise.bin", RandomBytes(9000, 4));  // one member larger than the window
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + "\n";
  WriteFile(dir.Dir() + "/text.txt", Bytes(text.begin(), text.end()));
  std::string small;
  for (int i = 0; i < 60; ++i) {  // many small members put headers across sector boundaries
    const std::string name = "s" + std::to_string(i) + ".txt";
    WriteFile(dir.Dir() + "/" + name, RandomBytes(40 + i * 7, 100 + i));
    small += " " + name;
  }
  const Bytes other = Concat({Level0Member("-lh0-", "next", RandomBytes(500, 5)), Zeros(1)});

  for (const std::string mode : {"a0", "a1", "a2", "az0", "az1", "az2"}) {
    SCOPED_TRACE(mode);
    const std::string archive = dir.Dir() + "/" + mode + ".lzh";
    ASSERT_TRUE(Shell("cd " + dir.Dir() + " && lha " + mode + " " + archive + " noise.bin text.txt" + small));
    const Bytes file = plugin_test::ReadFile(archive);
    ASSERT_GT(file.size(), 3 * SectorSize);
    ASSERT_EQ(file[20], mode.back() - '0') << "lha wrote another header level";
    ASSERT_EQ(file.back(), 0) << "archive without end mark";

    EXPECT_NE(Detect(file), 0);
    EXPECT_EQ(Extension(), ".lzh");
    EXPECT_EQ(Carve(Concat({file, Zeros(3 * SectorSize)})), static_cast<long long>(file.size()));
    // Followed directly by another archive, in the same sector.
    EXPECT_EQ(Carve(Concat({file, other, Zeros(SectorSize)})), static_cast<long long>(file.size()));
    // Followed by unrelated data.
    EXPECT_EQ(Carve(Concat({file, RandomBytes(3 * SectorSize, 6)})), static_cast<long long>(file.size()));
  }
}

TEST_F(LzhPlugin, EndMarkEndsTheFileOneBytePastIt) {
  const Bytes archive = Concat({Level0Member("-lh0-", "one", RandomBytes(3000, 7)),
                                Level2Member("-lh5-", RandomBytes(5000, 8), 26, 5000),
                                Level0Member("-lz4-", "three", RandomBytes(10, 9)), Zeros(1)});
  EXPECT_EQ(Carve(Concat({archive, RandomBytes(5000, 10)})), static_cast<long long>(archive.size()));
}

TEST_F(LzhPlugin, AHeaderThatIsNotOneEndsTheFileAtIt) {
  const Bytes first = Concat({Level0Member("-lh0-", "one", RandomBytes(2500, 11)),
                              Level0Member("-lh0-", "two", RandomBytes(100, 12))});
  const Bytes tail = Level0Member("-lh0-", "three", RandomBytes(100, 13));
  const auto cut = static_cast<long long>(first.size());

  Bytes badId = tail;
  badId[6] = 'x';
  EXPECT_EQ(Carve(Concat({first, badId, Zeros(1), Zeros(SectorSize)})), cut);

  Bytes badLevel = tail;
  badLevel[20] = 7;
  EXPECT_EQ(Carve(Concat({first, badLevel, Zeros(1), Zeros(SectorSize)})), cut);
}

TEST_F(LzhPlugin, SizesThatWouldWrapEndTheFileInsteadOfLooping) {
  if (!HaveTool("lha")) GTEST_SKIP() << "lha (jlha-utils) is not installed";
  TempDir dir;
  WriteFile(dir / "a.bin", RandomBytes(3000, 14));
  WriteFile(dir / "b.bin", RandomBytes(500, 15));
  ASSERT_TRUE(Shell("cd " + dir.Dir() + " && lha a2 x.lzh a.bin b.bin"));
  const Bytes archive = plugin_test::ReadFile(dir / "x.lzh");
  ASSERT_EQ(archive[20], 2);
  const size_t second = (archive[0] | archive[1] << 8) + (archive[7] | archive[8] << 8 | archive[9] << 16);
  ASSERT_LT(second + 22, archive.size());
  // With 32-bit offsets, a header size of 1 and a damaged 0xFFFFFFFF size bring the walk
  // back to the same header for ever; other sizes near 4 GiB send it backwards.
  for (const auto& [headerSize, compressed] : {std::pair{1u, 0xFFFFFFFFu}, std::pair{40u, 0xFFFFFFF0u}}) {
    Bytes damaged = archive;
    damaged[second] = static_cast<unsigned char>(headerSize);
    damaged[second + 1] = 0;
    PutLe32(damaged, second + 7, compressed);
    EXPECT_EQ(Carve(Concat({damaged, Zeros(SectorSize)})), static_cast<long long>(second)) << headerSize;
  }
}

TEST_F(LzhPlugin, SelfExtractorKeepsItsStub) {
  for (size_t stubLength : {size_t{1500}, size_t{5000}}) {
    SCOPED_TRACE(stubLength);
    const Bytes stub = SfxStub(stubLength);
    const Bytes archive = Concat({Level0Member("-lh5-", "a", RandomBytes(3000, 15)),
                                  Level2Member("-lh0-", RandomBytes(200, 16), 26, 200), Zeros(1)});
    const Bytes exe = Concat({stub, archive});
    EXPECT_NE(Detect(exe), 0);
    EXPECT_EQ(Extension(), ".exe");
    EXPECT_EQ(Carve(Concat({exe, Zeros(2 * SectorSize)})), static_cast<long long>(exe.size()));
    EXPECT_EQ(Extension(), ".exe");
  }
}

TEST_F(LzhPlugin, SelfExtractorSearchKeepsTheLastBytesForTheNextCall) {
  const Bytes stub = SfxStub(3 * SectorSize);
  ASSERT_NE(Detect(stub), 0);
  bool end = true;
  const Bytes window(stub.begin() + 1000, stub.begin() + 1000 + SectorSize);  // no id look-alike inside
  EXPECT_EQ(Module->FindEnd(window.data(), SectorSize, &end), SectorSize - 6);
  EXPECT_FALSE(end);

  // A header that begins in those last bytes is found in the next window.
  Bytes split(stub.begin() + 1000, stub.begin() + 1000 + SectorSize);
  const Bytes member = Level0Member("-lh0-", "a", RandomBytes(30, 17));
  std::copy(member.begin(), member.begin() + 5, split.end() - 5);  // the header starts 5 bytes before the end
  ASSERT_NE(Detect(stub), 0);
  const unsigned kept = Module->FindEnd(split.data(), SectorSize, &end);
  EXPECT_FALSE(end);
  ASSERT_LE(kept, SectorSize - 5);
  const Bytes next = Concat({Bytes(split.begin() + kept, split.end()), Bytes(member.begin() + 5, member.end()),
                             Zeros(1), Zeros(SectorSize)});
  const unsigned rest = Module->FindEnd(next.data(), static_cast<unsigned>(next.size()), &end);
  EXPECT_TRUE(end);
  EXPECT_EQ(kept + rest, SectorSize - 5 + member.size() + 1);
}

TEST_F(LzhPlugin, ShortDataIsNeverReadPastItsEnd) {
  const Bytes archive = Concat({Level0Member("-lh0-", "a", RandomBytes(40, 18)),
                                Level2Member("-lh0-", RandomBytes(30, 19), 26, 30), Zeros(1)});
  for (unsigned size = 0; size <= archive.size(); ++size) {
    SCOPED_TRACE(size);
    ASSERT_NE(Detect(archive), 0);
    const Bytes part(archive.begin(), archive.begin() + size);  // exact size: overreads show under ASan
    bool end = false;
    const unsigned result = Module->FindEnd(part.data(), size, &end);
    EXPECT_LE(result, archive.size());
    if (end) {
      EXPECT_EQ(result, archive.size());
    }
  }
  const Bytes stub = SfxStub(SectorSize);
  for (unsigned size = 0; size <= 12; ++size) {
    ASSERT_NE(Detect(stub), 0);
    const Bytes part(stub.begin() + 100, stub.begin() + 100 + size);
    bool end = true;
    EXPECT_LE(Module->FindEnd(part.data(), size, &end), size);
    EXPECT_FALSE(end);
  }
}

TEST_F(LzhPlugin, TruncatedArchiveEndsWhereItsLastMemberWouldEnd) {
  const Bytes archive = Concat({Level0Member("-lh0-", "one", RandomBytes(2000, 20)),
                                Level0Member("-lh0-", "two", RandomBytes(6000, 21)), Zeros(1)});
  const size_t cut = archive.size() - 3000;  // inside the last member's data
  const Bytes truncated(archive.begin(), archive.begin() + static_cast<long>(cut));
  EXPECT_EQ(Carve(Concat({truncated, Zeros(3 * SectorSize)})), static_cast<long long>(archive.size()));
  // Unrelated data where the end mark should be: the file ends there.
  const Bytes garbage = Concat({truncated, RandomBytes(3 * SectorSize, 22)});
  const long long carved = Carve(garbage);
  EXPECT_TRUE(carved == static_cast<long long>(archive.size()) - 1 || carved == static_cast<long long>(archive.size()))
      << carved;
  // Nothing after the cut: the walk needs data that is not there.
  EXPECT_EQ(Carve(truncated), -1);
}

}  // namespace
