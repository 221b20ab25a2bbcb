// Saving a disc and loading it back; the .ccd alone describing the same disc.
#include <gtest/gtest.h>

#include <cstring>

#include "ImageSetTestSupport.h"
#include "emulator/ImageSet.h"
#include "sector/Address.h"

namespace emu {
namespace {

using test::Descriptor;
using test::PatternByte;
using test::ReadText;
using test::TempDir;

struct TrackPlan {
  int Number;
  int32_t Index0, Index1, End;
  SectorKind Kind;
  uint8_t Control;
};

// A two-session disc built in memory: audio, then a Mode 1 track behind a 20-frame
// pregap; a Form 2 track after a 150-frame pregap in session 2. Every sector holds a
// pattern; Q carries the track, index and control as a recorder writes them.
class TwoSessionDisc {
 public:
  static constexpr int32_t kSectors = 700;
  static constexpr std::array<TrackPlan, 3> kTracks{{{1, 0, 0, 100, SectorKind::Audio, 0},
                                                     {2, 100, 120, 300, SectorKind::Mode1, 4},
                                                     {3, 450, 600, 680, SectorKind::Mode2Form2, 4}}};

  static Disc Make() {
    auto store = std::make_shared<MemorySectorStore>(kSectors);
    for (int32_t lba = 0; lba < kSectors; ++lba) {
      uint8_t* main = store->MutableMain(lba);
      for (size_t i = 0; i < 2352; ++i) main[i] = PatternByte(lba, i);
      uint8_t* sub = store->MutableSub(lba);
      for (size_t i = 0; i < 96; ++i) sub[i] = PatternByte(lba, i, 0x99);
      uint8_t* q = sub + 12;
      q[0] = q[1] = q[2] = 0;
      for (const TrackPlan& t : kTracks)
        if (lba >= t.Index0 && lba < t.End) {
          q[0] = static_cast<uint8_t>(t.Control << 4 | 1);
          q[1] = BinToBcd(static_cast<uint8_t>(t.Number));
          q[2] = lba < t.Index1 ? 0 : 1;
        }
    }
    // The Form 2 track is marked so in its subheaders.
    for (int32_t lba = 450; lba < 680; ++lba) store->MutableMain(lba)[18] = store->MutableMain(lba)[22] = 0x20;

    Disc disc;
    disc.FirstSession = 1;
    disc.LastSession = 2;
    disc.Toc = {Descriptor(1, 1, 0, 0xA0, 1, 0x20, 0), Descriptor(1, 1, 4, 0xA1, 2, 0, 0),
                Descriptor(1, 1, 4, 0xA2, 0, 6, 0),    Descriptor(1, 1, 0, 0x01, 0, 2, 0),
                Descriptor(1, 1, 4, 0x02, 0, 3, 45),   Descriptor(1, 5, 4, 0xB0, 0, 10, 0),
                Descriptor(2, 1, 4, 0xA0, 3, 0x20, 0), Descriptor(2, 1, 4, 0xA1, 3, 0, 0),
                Descriptor(2, 1, 4, 0xA2, 0, 11, 5),   Descriptor(2, 1, 4, 0x03, 0, 10, 0)};
    for (const TrackPlan& t : kTracks) disc.Layout.push_back({t.Index0, t.End, t.Kind, t.Control});
    disc.Store = std::move(store);
    return disc;
  }
};

void ExpectSameSectors(const SectorStore& a, const SectorStore& b) {
  ASSERT_EQ(a.SectorCount(), b.SectorCount());
  for (int32_t lba = 0; lba < a.SectorCount(); ++lba) {
    ASSERT_EQ(std::memcmp(a.Main(lba), b.Main(lba), 2352), 0) << "main " << lba;
    ASSERT_EQ(a.Sub(lba) == nullptr, b.Sub(lba) == nullptr) << "sub " << lba;
    if (a.Sub(lba)) {
      ASSERT_EQ(std::memcmp(a.Sub(lba), b.Sub(lba), 96), 0) << "sub " << lba;
    }
  }
}

void ExpectSameDisc(const Disc& a, const Disc& b) {
  EXPECT_EQ(a.FirstSession, b.FirstSession);
  EXPECT_EQ(a.LastSession, b.LastSession);
  EXPECT_EQ(a.Toc, b.Toc);
  EXPECT_EQ(a.Layout, b.Layout);
  EXPECT_EQ(a.Profile, b.Profile);
  EXPECT_EQ(a.Faults, b.Faults);
  ASSERT_TRUE(a.Store && b.Store);
  ExpectSameSectors(*a.Store, *b.Store);
}

// The set saved as disc.ccd in `dir` and loaded back.
Disc SavedAndLoaded(const TempDir& dir, const Disc& disc) {
  std::string error;
  EXPECT_TRUE(SaveImageSet(dir / "disc.ccd", disc, error)) << error;
  Disc loaded;
  EXPECT_TRUE(LoadImageSet(dir / "disc.ccd", loaded, error)) << error;
  return loaded;
}

TEST(ImageSetRoundTripTest, ASavedDiscLoadsBackEqual) {
  TempDir dir;
  Disc disc = TwoSessionDisc::Make();
  disc.Profile.Vendor = "PLEXTOR";
  disc.Profile.BinaryQ = true;
  disc.Faults.Unreadable = {{130, 140, 0x11, 0x05}};
  disc.Faults.Bytes = {{200, 2000, 0x33, true}};
  disc.Faults.Beyond = BeyondLeadOut::Scrambled;
  disc.Layout.back().EndLba = 700;  // recorded past the TOC's last lead-out (680)
  ExpectSameDisc(disc, SavedAndLoaded(dir, disc));
  for (const char* name : {"disc.ccd", "disc.img", "disc.sub", "disc.flt"})
    EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
  EXPECT_EQ(std::filesystem::file_size(dir / "disc.img"), 700u * 2352);
  EXPECT_EQ(std::filesystem::file_size(dir / "disc.sub"), 700u * 96);
}

TEST(ImageSetRoundTripTest, TheControlFileAloneDescribesTheTracks) {
  // Without the .flt the layout comes from [TRACK N] (modes, INDEX 0 from the Q
  // sub-channel) and the lead-outs; for this disc that is the true layout.
  TempDir dir;
  Disc disc = TwoSessionDisc::Make();
  std::string error;
  ASSERT_TRUE(SaveImageSet(dir / "disc.ccd", disc, error)) << error;
  std::filesystem::remove(dir / "disc.flt");
  Disc loaded;
  ASSERT_TRUE(LoadImageSet(dir / "disc.ccd", loaded, error)) << error;
  EXPECT_EQ(loaded.Toc, disc.Toc);
  EXPECT_EQ(loaded.Layout, disc.Layout);
  EXPECT_EQ(loaded.FirstSession, 1);
  EXPECT_EQ(loaded.LastSession, 2);

  std::string ccd = ReadText(dir / "disc.ccd");
  EXPECT_NE(ccd.find("[TRACK 2]\r\nMODE=1\r\nINDEX 0=100\r\nINDEX 1=120\r\n"), std::string::npos) << ccd;
  EXPECT_NE(ccd.find("[TRACK 1]\r\nMODE=0\r\nINDEX 1=0\r\n"), std::string::npos) << ccd;
  EXPECT_NE(ccd.find("[TRACK 3]\r\nMODE=2\r\nINDEX 0=450\r\n"), std::string::npos) << ccd;
  EXPECT_NE(ccd.find("[Disc]\r\nTocEntries=10\r\nSessions=2\r\n"), std::string::npos) << ccd;
  EXPECT_NE(ccd.find("[Entry 5]\r\nSession=1\r\nPoint=0xb0\r\nADR=0x05\r\nControl=0x04\r\n"), std::string::npos) << ccd;
  EXPECT_NE(ccd.find("PLBA=600\r\n"), std::string::npos) << ccd;
  EXPECT_NE(ccd.find("[Session 2]\r\nPreGapMode=2\r\n"), std::string::npos) << ccd;
  // Every line ends in CR LF.
  for (size_t at = ccd.find('\n'); at != std::string::npos; at = ccd.find('\n', at + 1))
    ASSERT_TRUE(at > 0 && ccd[at - 1] == '\r') << at;
}

TEST(ImageSetRoundTripTest, ADamagedTocIsWrittenAsIs) {
  // Session 2 left out of the TOC and a duplicate track POINT: the entries are the TOC
  // the drive reports; the recorded sectors stay described by the layout.
  TempDir dir;
  Disc disc = TwoSessionDisc::Make();
  disc.Toc.resize(6);
  disc.Toc.push_back(Descriptor(0, 1, 4, 0x02, 0, 3, 50));
  disc.Toc.push_back(Descriptor(200, 3, 15, 0xFF, 255, 255, 255));
  ExpectSameDisc(disc, SavedAndLoaded(dir, disc));
}

TEST(ImageSetRoundTripTest, SavingAgainReplacesTheSetAndLeavesNoTemporaries) {
  TempDir dir;
  Disc first = TwoSessionDisc::Make();
  std::string error;
  ASSERT_TRUE(SaveImageSet(dir / "disc.ccd", first, error)) << error;

  auto store = std::make_shared<MemorySectorStore>(3);
  std::memset(store->MutableMain(2), 0xEE, 2352);
  Disc second;
  second.Toc = {Descriptor(1, 1, 4, 0x01, 0, 2, 0)};
  second.Layout = {{0, 3, SectorKind::Mode1, 4}};
  second.Store = store;
  ExpectSameDisc(second, SavedAndLoaded(dir, second));
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"disc.ccd", "disc.flt", "disc.img", "disc.sub"}));
}

// A store with main data only, like a set whose .sub was never written.
class MainOnlyStore : public SectorStore {
 public:
  explicit MainOnlyStore(int32_t count) : Inner(count) {}
  int32_t SectorCount() const override { return Inner.SectorCount(); }
  const uint8_t* Main(int32_t lba) const override { return Inner.Main(lba); }
  const uint8_t* Sub(int32_t) const override { return nullptr; }
  MemorySectorStore Inner;
};

TEST(ImageSetRoundTripTest, ADiscWithoutSubChannelDropsAnOldSub) {
  TempDir dir;
  std::string error;
  ASSERT_TRUE(SaveImageSet(dir / "disc.ccd", TwoSessionDisc::Make(), error)) << error;
  auto store = std::make_shared<MainOnlyStore>(2);
  std::memset(store->Inner.MutableMain(1), 0x42, 2352);
  Disc disc;
  disc.Store = store;
  ExpectSameDisc(disc, SavedAndLoaded(dir, disc));
  EXPECT_FALSE(std::filesystem::exists(dir / "disc.sub"));
}

TEST(ImageSetRoundTripTest, ADiscTheFaultFileCannotHoldIsNotWrittenAtAll) {
  TempDir dir;
  Disc disc = TwoSessionDisc::Make();
  disc.Faults.Bytes = {{3, 5000, 0x01, true}};
  std::string error;
  EXPECT_FALSE(SaveImageSet(dir / "disc.ccd", disc, error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path));
}

TEST(ImageSetRoundTripTest, ALoadedSetCanBeSavedOverItself) {
  // The loaded store maps the very files being replaced.
  TempDir dir;
  Disc original = TwoSessionDisc::Make();
  Disc loaded = SavedAndLoaded(dir, original);
  loaded.Faults.NoMedium = true;
  const Disc again = SavedAndLoaded(dir, loaded);
  EXPECT_TRUE(again.Faults.NoMedium);
  ASSERT_TRUE(again.Store);
  ExpectSameSectors(*original.Store, *again.Store);
}

}  // namespace
}  // namespace emu
