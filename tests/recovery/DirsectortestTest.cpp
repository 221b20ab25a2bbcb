#include "recovery/Dirsectortest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sector/Bytes.h"

namespace {

constexpr uint32_t kSector = 2048;

// Sector data built record by record; every other byte stays zero.
class SectorData {
 public:
  explicit SectorData(uint32_t size = kSector) : Bytes(size, 0) {}

  // A consistent record (both byte orders agree) with the given identifier; returns its offset.
  size_t Add(std::vector<uint8_t> name, uint8_t length = 0, uint32_t extent = 20, uint32_t dataLength = 2048) {
    if (length == 0) length = static_cast<uint8_t>(33 + name.size() + (name.size() + 1) % 2);
    const size_t at = Used;
    uint8_t* r = Bytes.data() + at;
    r[0] = length;
    PutBoth32(r + 2, extent);
    PutBoth32(r + 10, dataLength);
    r[18] = 101, r[19] = 9, r[20] = 9;
    r[28] = 1, r[31] = 1;  // volume sequence number 1 in both orders
    r[32] = static_cast<uint8_t>(name.size());
    std::memcpy(r + 33, name.data(), name.size());
    Used += length;
    return at;
  }

  bool IsDirectory() const {
    const auto block = std::make_unique<uint8_t[]>(Bytes.size());
    std::memcpy(block.get(), Bytes.data(), Bytes.size());
    return IsDirectorySector(block.get(), static_cast<uint32_t>(Bytes.size()));
  }

  std::vector<uint8_t> Bytes;
  size_t Used = 0;

 private:
  static void PutBoth32(uint8_t* p, uint32_t v) {
    PutLe32(p, v);
    PutBe32(p + 4, v);
  }
};

std::vector<uint8_t> Name(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

SectorData DotEntries() {
  SectorData s;
  s.Add({0});
  s.Add({1});
  return s;
}

bool TailZero(const std::vector<uint8_t>& data, uint32_t split, uint32_t& n) {
  return CheckTailZero(data.data(), static_cast<uint32_t>(data.size()), split, n);
}

}  // namespace

TEST(DirsectortestTest, TailZeroAgainstTheSplitUnit) {
  std::vector<uint8_t> data(kSector, 0);
  uint32_t n = 7;
  EXPECT_FALSE(TailZero(data, 0, n));
  EXPECT_EQ(n, kSector);
  EXPECT_TRUE(TailZero(data, 1, n));
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(TailZero(data, kSector, n));
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(TailZero(data, kSector + 1, n));
  EXPECT_EQ(n, 0u);

  data[1983] = 0x5A;
  EXPECT_TRUE(TailZero(data, 64, n));
  EXPECT_EQ(n, 1984u);
  EXPECT_FALSE(TailZero(data, 65, n));
  EXPECT_EQ(n, 1984u);
  EXPECT_FALSE(TailZero(data, 0, n));
  EXPECT_EQ(n, kSector);
  data[1984] = 0x5A;
  EXPECT_FALSE(TailZero(data, 64, n));
  EXPECT_EQ(n, 1985u);

  data[kSector - 1] = 1;
  EXPECT_FALSE(TailZero(data, 1, n));
  EXPECT_EQ(n, kSector);
  // Other payload sizes.
  std::vector<uint8_t> form2(2324, 0);
  form2[100] = 9;
  EXPECT_TRUE(TailZero(form2, 2048, n));
  EXPECT_EQ(n, 101u);
}

TEST(DirsectortestTest, DotEntriesAloneAreADirectory) {
  EXPECT_TRUE(DotEntries().IsDirectory());
  // Other payload sizes.
  for (uint32_t size : {2324u, 2336u}) {
    SectorData s(size);
    s.Add({0});
    s.Add({1});
    s.Add(Name("FILE.TXT;1"));
    EXPECT_TRUE(s.IsDirectory()) << size;
  }
}

TEST(DirsectortestTest, NothingButZeroIsNoDirectory) {
  EXPECT_FALSE(SectorData().IsDirectory());
  EXPECT_FALSE(SectorData(1).IsDirectory());
}

TEST(DirsectortestTest, PaddedAndTrailingZeroRecordsAreAccepted) {
  SectorData s = DotEntries();
  s.Add(Name("README.TXT;1"));  // even name: a zero pad byte ends the record
  EXPECT_TRUE(s.IsDirectory());

  // System-use bytes that end in zeros, after a nonzero identifier.
  SectorData su = DotEntries();
  const size_t at = su.Add(Name("A.B;1"), 33 + 5 + 20);
  su.Bytes[at + 33 + 5 + 3] = 0x52;
  EXPECT_TRUE(su.IsDirectory());
}

TEST(DirsectortestTest, RecordsFillingTheDataExactly) {
  SectorData s(34 * 3);
  s.Add({0});
  s.Add({1});
  s.Add({7});
  ASSERT_EQ(s.Used, s.Bytes.size());
  EXPECT_TRUE(s.IsDirectory());
  // The same with a zero last byte: the zero run reaches the last record's identifier.
  SectorData z(34 * 3);
  z.Add({0});
  z.Add({1});
  z.Add({0});
  EXPECT_FALSE(z.IsDirectory());
}

TEST(DirsectortestTest, MalformedRecordsAreRejectedEvenAfterValidOnes) {
  struct Corruption {
    const char* what;
    size_t offset;  // inside the third record
    uint8_t value;
  };
  const Corruption cases[] = {
      {"length 33", 0, 33},          {"length 20", 0, 20},           {"identifier length 0", 32, 0},
      {"identifier too long", 32, 30}, {"extent halves differ", 9, 0x99}, {"size halves differ", 13, 0x01},
      {"sequence halves differ", 30, 0x02},
  };
  for (const Corruption& c : cases) {
    SectorData s = DotEntries();
    const size_t at = s.Add(Name("DATA.BIN;1"));
    s.Add(Name("MORE.BIN;1"));
    ASSERT_TRUE(s.IsDirectory());
    s.Bytes[at + c.offset] = c.value;
    EXPECT_FALSE(s.IsDirectory()) << c.what;
  }
}

TEST(DirsectortestTest, StrayBytesAfterTheRecordsAreRejected) {
  SectorData s = DotEntries();
  s.Add(Name("X.Y;1"));
  s.Bytes[s.Used + 10] = 0x01;
  EXPECT_FALSE(s.IsDirectory());

  // A last record whose identifier is all zero after its first byte, which is zero too.
  SectorData z = DotEntries();
  z.Add({0, 0, 0, 0, 0});
  EXPECT_FALSE(z.IsDirectory());
  // ...while a nonzero first identifier byte stops the zero run in time.
  SectorData nz = DotEntries();
  nz.Add({'Q', 0, 0, 0, 0});
  EXPECT_TRUE(nz.IsDirectory());
}

TEST(DirsectortestTest, ARecordRunningPastTheEndIsRejected) {
  SectorData s(200);
  s.Add({0});
  s.Add({1});
  s.Add(Name("LONGER.NAME;1"), 150);  // ends at 218 > 200
  EXPECT_FALSE(s.IsDirectory());
}

TEST(DirsectortestTest, NoReadOutsideTheDataForRecordsNearItsEnd) {
  // Valid records up to `size - back`, then a nonzero byte that reads as the length of a
  // record whose fixed fields would lie past the data: rejected without reading them
  // (the data is an exact-size heap block, so the sanitizer sees any overrun).
  for (uint32_t back = 1; back <= 40; ++back) {
    SectorData s = DotEntries();
    const size_t target = kSector - back;
    while (target - s.Used >= 100 + 34) s.Add({'R'}, 100);
    s.Add({'L'}, static_cast<uint8_t>(target - s.Used));
    ASSERT_EQ(s.Used, target);
    ASSERT_TRUE(s.IsDirectory()) << back;
    s.Bytes[target] = 200;
    EXPECT_FALSE(s.IsDirectory()) << back;
  }

  // Random data of every small size must never make the test read outside.
  std::mt19937 rng(77);
  for (uint32_t size = 1; size < 260; ++size) {
    for (int round = 0; round < 30; ++round) {
      SectorData r(size);
      if (size >= 68) {
        r.Add({0});
        r.Add({1});
      }
      for (size_t i = r.Used; i < size; ++i) r.Bytes[i] = rng() % 3 == 0 ? static_cast<uint8_t>(rng()) : 0;
      r.IsDirectory();
    }
  }
}
