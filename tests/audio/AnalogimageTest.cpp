// Imaging a recording of a data track played as audio: WAV parsing, the sync search,
// every choice of the sync questions, and a whole disc recorded with real damage.
#include "audio/Analogimage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "sector/Bytes.h"
#include "sector/Datasector.h"
#include "sector/Kredc.h"
#include "sector/Scramble.h"
#include "tests/emulator/BuilderTestSupport.h"
#include "tests/support/Recording.h"

namespace {

using namespace buildertest;
constexpr size_t kSector = kRawSectorSize;

using test_support::RecordingWav;
using test_support::ScrambledSectors;
constexpr int32_t kWavDataOffset = test_support::kRecordingDataOffset;

bool EdcValid(const TKrEdc& edc, const uint8_t* sector) {
  return edc.Calc(sector) == GetLe32(sector + kMode1EdcOffset);
}

// Answers from a script and remembers every question and where it was asked.
struct Script : IAnalogSyncDecider {
  explicit Script(TSyncFoundChoice found = TSyncFoundChoice::Continue, TNoSyncChoice none = TNoSyncChoice::Cancel,
                  std::vector<TSyncLostChoice> lost = {}, int32_t offset = 0)
      : Found(found), None(none), Lost(std::move(lost)), Offset(offset) {}
  TSyncFoundChoice Found;
  TNoSyncChoice None;
  std::vector<TSyncLostChoice> Lost;
  int32_t Offset;
  std::vector<std::string> Asked;

  TSyncFoundChoice SyncFound(int32_t position, int32_t& offset) override {
    Asked.push_back("found@" + std::to_string(position));
    offset = Offset;
    return Found;
  }
  TNoSyncChoice NoSync(int32_t& offset) override {
    Asked.push_back("none");
    offset = Offset;
    return None;
  }
  TSyncLostChoice SyncLost(int32_t position, int32_t& offset) override {
    Asked.push_back("lost@" + std::to_string(position));
    offset = Offset;
    if (Lost.empty()) return TSyncLostChoice::Stop;
    const TSyncLostChoice choice = Lost.front();
    Lost.erase(Lost.begin());
    return choice;
  }
};

TEST(AnalogFile, OpenFindsTheDataOfEveryKindOfFile) {
  TempDir dir;
  const std::vector<uint8_t> data = RandomBytes(3000, 1);
  std::vector<uint8_t> noData = RecordingWav({}, 0);
  noData.resize(noData.size() - 8);  // no "data" chunk, and a RIFF length past the end
  std::vector<uint8_t> hugeChunk = RecordingWav(data, 3000);
  hugeChunk[40] = hugeChunk[41] = hugeChunk[42] = hugeChunk[43] = 0xFF;  // the LIST chunk claims 4 GiB
  struct Case {
    const char* Name;
    std::vector<uint8_t> File;
    int32_t Offset, Size;
  } cases[] = {
      {"43 bytes", std::vector<uint8_t>(43, 'R'), 0, 43},
      {"not RIFF", data, 0, 3000},
      {"odd chunk skipped with its pad", RecordingWav(data, 3000), kWavDataOffset, 3000},
      {"data claims more than the file", RecordingWav(data, 5000), kWavDataOffset, 3000},
      {"streaming length 0xFFFFFFFF", RecordingWav(data, 0xFFFFFFFF), kWavDataOffset, 3000},
      {"no data chunk", noData, 0, static_cast<int32_t>(noData.size())},
      {"chunk length past the file", hugeChunk, 0, static_cast<int32_t>(hugeChunk.size())},
  };
  for (const Case& c : cases) {
    WriteFile(dir / "r.wav", c.File);
    TAnalogFile file;
    ASSERT_TRUE(file.Open(dir / "r.wav")) << c.Name;
    EXPECT_EQ(file.GetDataOffset(), c.Offset) << c.Name;
    EXPECT_EQ(file.GetDataSize(), c.Size) << c.Name;
  }

  // Reads cross cache refills and stop at the data's end.
  WriteFile(dir / "r.wav", RecordingWav(data, 3000));
  TAnalogFile file;
  ASSERT_TRUE(file.SetCacheSize(1000));
  ASSERT_TRUE(file.Open(dir / "r.wav"));
  std::vector<uint8_t> got(3000, 0xEE);
  EXPECT_EQ(file.Read(2500, 600, got.data()), 500);
  EXPECT_EQ(std::memcmp(got.data(), data.data() + 2500, 500), 0);
  EXPECT_EQ(file.Read(700, 2000, got.data()), 2000);
  EXPECT_EQ(std::memcmp(got.data(), data.data() + 700, 2000), 0);
  EXPECT_EQ(file.Read(-4, 10, got.data()), 0);
  EXPECT_EQ(file.Read(3000, 10, got.data()), 0);

  // A folder or a named pipe is no recording, and opening a pipe must not wait for a writer.
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  for (const char* name : {"pipe", "."}) {
    EXPECT_FALSE(file.Open(dir / name)) << name;
    EXPECT_EQ(file.GetError(), TAnalogError::CannotOpen) << name;
  }

  // A recording past what a 32-bit offset reaches is refused, not wrapped.
  const auto big = dir / "big.wav";
  WriteFile(big, RecordingWav(data, 3000));
  fs::resize_file(big, 0x80000000ull + 100);
  EXPECT_FALSE(file.Open(big));
  EXPECT_EQ(file.GetError(), TAnalogError::TooLarge);
  EXPECT_FALSE(file.IsOpen());
}

// One small recording: 300 bytes of noise, then six scrambled sectors.
struct StoryRecording {
  TempDir Dir;
  fs::path Wav = Dir / "rec.wav", Image = Dir / "rec.bin";
  std::vector<uint8_t> Sectors;
  explicit StoryRecording(const std::vector<int>& hit) : Sectors(ScrambledSectors(6, hit)) {
    test_support::WriteRecording(Wav, 300, Sectors);
  }
};

TEST(AnalogImage, EveryAnswerToTheSyncQuestions) {
  const int32_t lost3 = 300 + 3 * kSector;
  struct Case {
    const char* Name;
    std::vector<int> Damaged;  // sectors whose sync header is hit
    Script Answers;
    // "": the image beside the recording; "link": a link to the recording; "full": /dev/full;
    // "shrink": the recording loses its last three sectors once open.
    const char* Image;
    TImageOutcome Outcome;
    int64_t Sectors, Forced, AsRead;
    std::vector<std::string> Asked;
  };
  using F = TSyncFoundChoice;
  using N = TNoSyncChoice;
  using L = TSyncLostChoice;
  const std::string atLost = "lost@" + std::to_string(lost3);
  const std::vector<int> kAll = {0, 1, 2, 3, 4, 5};
  Case cases[] = {
      {"cancel at the found sync", {}, Script(F::Cancel, N::Cancel, {}, 0), "", TImageOutcome::Cancelled,
       0, 0, 0, {"found@300"}},
      {"cancel without any sync", kAll, Script(F::Cancel, N::Cancel, {}, 0), "", TImageOutcome::Cancelled,
       0, 0, 0, {"none"}},
      {"forced from a chosen offset without any sync", kAll, Script(F::Cancel, N::Specify, {}, 300), "",
       TImageOutcome::Written, 6, 6, 0, {"none"}},
      {"start past the data", {}, Script(F::Specify, N::Cancel, {}, 300 + 6 * kSector), "",
       TImageOutcome::BadOffset, 0, 0, 0, {"found@300"}},
      {"lost, as read until the next sync", {3, 4}, Script(F::Continue, N::Cancel, {L::NoScramble}, 0), "",
       TImageOutcome::Written, 6, 0, 2, {"found@300", atLost}},
      {"lost, stop", {3}, Script(F::Continue, N::Cancel, {L::Stop}, 0), "", TImageOutcome::Written, 3, 0,
       0, {"found@300", atLost}},
      {"lost, jump past the end stops", {3}, Script(F::Continue, N::Cancel, {L::Specify}, 1 << 30), "",
       TImageOutcome::Written, 3, 0, 0, {"found@300", atLost}},
      {"lost, search finds nothing: kept as read", {3, 4, 5},
       Script(F::Continue, N::Cancel, {L::Search, L::Stop}, 0), "", TImageOutcome::Written, 4, 0, 1,
       {"found@300", atLost, "lost@" + std::to_string(lost3 + kSector)}},
      {"image names the recording by a link", {}, Script(F::Continue, N::Cancel, {}, 0), "link",
       TImageOutcome::SameFile, 0, 0, 0, {"found@300"}},
      {"image on a full disk", {}, Script(F::Continue, N::Cancel, {}, 0), "full",
       TImageOutcome::WriteFailed, 0, 0, 0, {"found@300"}},
      {"recording cut short while read", {}, Script(F::Continue, N::Cancel, {}, 0), "shrink",
       TImageOutcome::ReadFailed, 3, 0, 0, {"found@300"}},
  };
  for (Case& c : cases) {
    StoryRecording rec(c.Damaged);
    fs::path image = rec.Image;
    if (std::string(c.Image) == "link") {
      image = rec.Dir / "again.bin";
      fs::create_symlink(rec.Wav, image);
    } else if (std::string(c.Image) == "full") {
      image = "/dev/full";
    }
    TAnalogFile file;
    ASSERT_TRUE(file.Open(rec.Wav)) << c.Name;
    if (std::string(c.Image) == "shrink") {
      ASSERT_TRUE(file.SetCacheSize(4096));
      fs::resize_file(rec.Wav, fs::file_size(rec.Wav) - 3 * kSector);
    }
    const auto before = ReadFile(rec.Wav);
    const TImageResult r = MakeImage(file, image, c.Answers);
    EXPECT_EQ(r.Outcome, c.Outcome) << c.Name;
    EXPECT_EQ(r.Sectors, c.Sectors) << c.Name;
    EXPECT_EQ(r.Forced, c.Forced) << c.Name;
    EXPECT_EQ(r.AsRead, c.AsRead) << c.Name;
    EXPECT_EQ(c.Answers.Asked, c.Asked) << c.Name;
    EXPECT_EQ(ReadFile(rec.Wav), before) << c.Name << ": the recording is never touched";
    if (c.Outcome == TImageOutcome::Cancelled || c.Outcome == TImageOutcome::BadOffset) {
      EXPECT_FALSE(fs::exists(rec.Image)) << c.Name << ": no image without a start";
    }
    if (c.Outcome != TImageOutcome::Written && c.Outcome != TImageOutcome::ReadFailed) continue;
    const auto written = ReadFile(image);
    ASSERT_EQ(written.size(), c.Sectors * kSector) << c.Name;
    for (int64_t s = 0; s < c.Sectors; ++s) {
      std::vector<uint8_t> expect(rec.Sectors.begin() + s * kSector, rec.Sectors.begin() + (s + 1) * kSector);
      const bool asRead = std::find(c.Damaged.begin(), c.Damaged.end(), s) != c.Damaged.end() && c.AsRead > 0;
      if (!asRead) Descramble(expect.data(), 0, kSector);
      EXPECT_EQ(std::memcmp(written.data() + s * kSector + 12, expect.data() + 12, kSector - 12), 0)
          << c.Name << " sector " << s;
    }
  }
}

// A data track of a real ISO, read from the emulated drive as audio (scrambled) and
// recorded after some noise; the recording drops 500 bytes inside one sector and
// noise hits the sync of two others; it ends 100 bytes into a sector.
TEST(AnalogImage, RecordingOfADataTrackBecomesTheDiscsSectors) {
  QNL_REQUIRE_TOOL("xorriso");
  QNL_REQUIRE_TOOL("sox");
  TempDir dir;
  const fs::path iso = MakeIso(dir, "xorriso", "vol", 3);
  ASSERT_FALSE(iso.empty());
  emu::DiscSpec spec;
  spec.Sessions.push_back({{Track(emu::SectorKind::Mode1, iso)}});
  std::string error;
  emu::DiscLayout layout;
  ASSERT_TRUE(emu::BuildImageSet(spec, dir / "disc", false, error, &layout)) << error;
  LoadedDrive loaded = Load(dir / "disc.ccd");
  ASSERT_TRUE(loaded.Drive);
  const int n = layout.Tracks[0].DataSectors;
  ASSERT_GT(n, 40);
  const Reply played = ReadCdda(*loaded.Drive, 0, n);
  const Reply raw = ReadCd(*loaded.Drive, 0, n, 0xF8, 0, kSector);
  ASSERT_TRUE(played.Result.Good() && raw.Result.Good());

  constexpr int kDropped = 5, kHit = 20, kLead = 1000, kDrop = 500;
  std::vector<uint8_t> data = RandomBytes(kLead, 4);
  for (int s = 0; s < n; ++s) {
    std::vector<uint8_t> sector(played.Data.begin() + s * kSector, played.Data.begin() + (s + 1) * kSector);
    if (s == kHit || s == kHit + 1) sector[4] = 0x7E;
    if (s == kDropped) sector.erase(sector.begin() + 1000, sector.begin() + 1000 + kDrop);
    data.insert(data.end(), sector.begin(), sector.end());
  }
  const std::vector<uint8_t> tail = RandomBytes(100, 6);
  data.insert(data.end(), tail.begin(), tail.end());
  // The recording as a sound tool writes it.
  WriteFile(dir / "played.raw", data);
  ASSERT_EQ(RunShell("sox -t raw -r 44100 -e signed -b 16 -c 2 -L " + Quote(dir / "played.raw") + " " +
                     Quote(dir / "played.wav") + " >/dev/null 2>&1"),
            0);

  TAnalogFile file;
  ASSERT_TRUE(file.Open(dir / "played.wav"));
  ASSERT_EQ(file.GetDataSize(), static_cast<int32_t>(data.size()));
  ASSERT_EQ(fs::file_size(dir / "played.wav"), file.GetDataOffset() + data.size());
  EXPECT_EQ(SearchSync(file, 0), kLead);
  Script script;
  script.Lost = {TSyncLostChoice::Search, TSyncLostChoice::Descramble};
  const TImageResult r = MakeImage(file, dir / "disc.bin", script);
  ASSERT_EQ(r.Outcome, TImageOutcome::Written);
  const std::vector<std::string> asked = {"found@1000", "lost@" + std::to_string(kLead + (kDropped + 1) * kSector),
                                          "lost@" + std::to_string(kLead + kHit * kSector - kDrop)};
  EXPECT_EQ(script.Asked, asked);
  EXPECT_EQ(r.Sectors, n) << "every sector keeps its place; the partial last one is left out";
  EXPECT_EQ(r.Forced, 2);

  const auto image = ReadFile(dir / "disc.bin");
  ASSERT_EQ(image.size(), n * kSector);
  TKrEdc edc;
  for (int s = 0; s < n; ++s) {
    const uint8_t* got = image.data() + s * kSector;
    const uint8_t* want = raw.Data.data() + s * kSector;
    if (s == kDropped) {
      EXPECT_FALSE(EdcValid(edc, got)) << "the sector that lost bytes is not passed off as whole";
    } else if (s == kHit || s == kHit + 1) {
      EXPECT_EQ(std::memcmp(got + 12, want + 12, kSector - 12), 0) << "forced sector " << s;
    } else {
      EXPECT_TRUE(EdcValid(edc, got)) << "sector " << s;
      EXPECT_EQ(std::memcmp(got, want, kSector), 0) << "sector " << s;
    }
  }
}

}  // namespace
