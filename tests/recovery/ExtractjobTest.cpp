// What the track list and the file viewer decide, without a window: how a track extracts,
// under which name, the volume read or the scan in its place, and the copies out of the
// extracted tree, on an emulated disc of a volume made by genisoimage. The user's answers
// come from a script; what the job asks and shows is logged.
#include <fstream>

#include "recovery/Extractjob.h"
#include "tests/recovery/ExtracterTestSupport.h"

namespace {

using namespace extracter_test;
using TKind = TTrackExtractJob::TKind;

std::string Leaf(const std::string& path) { return fs::path(path).filename().string(); }

TEST(TrackExtract, ATrackExtractsAsItsFileSystemAndDataTypeAgree) {
  const struct {
    uint8_t FileSystem, DataType;
    TKind Kind;
  } rows[] = {
      {fsCdda, dtAudio, TKind::Audio},           {fsCddaEmph, dtAudio, TKind::Audio},
      {fsCdda, dtMode1, TKind::TypeMismatch},    {fsIso9660, dtMode1, TKind::Data},
      {fsIso9660, dtMode2Form2, TKind::Data},    {fsIso9660, dtMode2Formless, TKind::Data},
      {fsIso9660, dtAudio, TKind::TypeMismatch}, {fsIso9660, dtData, TKind::TypeMismatch},
      {0, dtMode1, TKind::NoFileSystem},         {4, dtAudio, TKind::NoFileSystem},
  };
  for (const auto& r : rows)
    EXPECT_EQ(TTrackExtractJob::Classify({1, 1, 150, 300, r.DataType, r.FileSystem}), r.Kind)
        << int{r.FileSystem} << "/" << int{r.DataType};
}

TEST(TrackExtract, AnOutputNameIsNeverOneThatIsTaken) {
  test_support::TempDir dir;
  std::ofstream(dir / "Track03.wav") << "x";
  std::ofstream(dir / "Track03_01.wav") << "x";
  fs::create_directories(dir / "Track04.wav");  // a folder counts as taken too
  std::ofstream(dir / "Track05") << "x";
  EXPECT_EQ(TTrackExtractJob::FreeTrackName(dir.Path.string(), 3, ".wav"), (dir / "Track03_02.wav").string());
  EXPECT_EQ(TTrackExtractJob::FreeTrackName(dir.Path.string(), 4, ".wav"), (dir / "Track04_01.wav").string());
  EXPECT_EQ(TTrackExtractJob::FreeTrackName(dir.Path.string(), 5, ""), (dir / "Track05_01").string());
  EXPECT_EQ(TTrackExtractJob::FreeTrackName(dir.Path.string(), 6, ""), (dir / "Track06").string());
}

// Track 1 a volume of readme.txt and docs/{a,b}.bin; tracks 2 and 3 audio (ripped by a
// script), track 4 claims a file system its data cannot have, track 5 is empty.
class ExtractJob : public ::testing::Test {
 protected:
  enum class Damage { None, Docs, Descriptors };

  void SetUp() override {
    QNL_REQUIRE_TOOL("genisoimage");
    fs::create_directories(Dir / "tree" / "docs");
    WriteFile(Dir / "tree" / "readme.txt", RandomBytes(3000, 1));
    WriteFile(Dir / "tree" / "docs" / "a.bin", RandomBytes(5000, 2));
    WriteFile(Dir / "tree" / "docs" / "b.bin", RandomBytes(7000, 3));
    Iso = MakeVolumeIso(Dir / "tree", Dir / "v.iso", "genisoimage");
    Rig = std::make_unique<ExtracterRig>(Iso, emu::SectorKind::Mode1, Dir.Path);
    ASSERT_TRUE(Rig->Ready());
    Tracks = {Rig->Track, {1, 2, 150, 300, dtAudio, fsCdda}, {1, 3, 300, 450, dtAudio, fsCdda},
              {1, 4, 450, 600, dtAudio, fsIso9660}, {1, 5, 600, 600, dtAudio, fsCdda}};
  }
  void Break(Damage damage) {
    auto& unreadable = Rig->Loaded.Disc->Faults.Unreadable;
    unreadable.clear();
    if (damage == Damage::Descriptors) unreadable.push_back({16, 32});
    for (uint8_t tree : {1, 2})  // the primary tree names it DOCS
      for (const auto& [path, dir] : DirectoriesOf(ReadFile(Iso), tree))
        if (damage == Damage::Docs && (path == "docs" || path == "DOCS")) MakeUnreadable(Rig->Loaded.Disc->Faults, dir);
  }
  // Notes `line` in the log and gives `result`.
  template <typename R>
  R Note(const std::string& line, R result) {
    Log.push_back(line);
    return result;
  }
  TTrackExtractJob NewJob(bool yes, const std::string& answer) {
    TIsoExtracter& ex = Rig->Extracter;
    TTrackExtractJob job(Tracks, ex);
    job.ReadVolume = [&ex, this](size_t) { return ex.ReadVolume(Rig->Track); };
    job.Scan = [&ex, this](size_t, const std::string& folder) {
      Log.push_back("scan " + Leaf(folder));
      ex.Folder = folder;
      return Rig->View.Run([&] { return ex.ExtractFiles(Rig->Track); });
    };
    job.Rip = [this](size_t, const std::string& wav) { return Note("rip " + Leaf(wav), RipOutcome); };
    job.ChooseWave = [this, answer] { return Note("wave", answer); };
    job.ChooseFolder = [this, answer](const std::string& at) { return Note("choose " + Leaf(at), answer); };
    job.AskScan = [this, yes](const TIsoExtracter::TDamage* lost) { return Note(lost ? "damaged?" : "lost?", yes); };
    job.ShowTree = [&ex, this](std::string& folder) {
      Log.push_back("tree " + Leaf(folder) + (ex.Root.Children.empty() ? " empty" : " listed"));
    };
    job.Tell = [this](const TTrackExtractJob::TNote& n) {
      const std::string of = n.Checked ? " of " + std::to_string(n.Track.TrackNo) : "";
      Log.push_back("tell " + std::to_string(int(n.What)) + of);
    };
    job.TellDamage = [this](const TIsoExtracter::TDamage&) { Log.push_back("damage"); };
    job.ExtractFolder = (Dir / "in").string();
    return job;
  }

  test_support::TempDir Dir{"qnl-extractjob"};
  fs::path Iso;
  std::unique_ptr<ExtracterRig> Rig;
  std::vector<TCdTrack> Tracks;
  TWorkerOutcome RipOutcome = woDone;
  std::vector<std::string> Log;
};

TEST_F(ExtractJob, TheSelectedTrackIsReadOrScannedAsTheUserChooses) {
  const struct {
    const char* What;
    size_t Track;
    bool ReadPvd;
    Damage Broken;
    bool Yes, Chosen, ListOnly;
    std::vector<std::string> Log;
  } rows[] = {
      {"a volume", 0, true, Damage::None, false, false, false, {"tree in listed"}},
      {"kept damaged", 0, true, Damage::Docs, false, false, false, {"damaged?", "tree in listed"}},
      {"damaged, scanned", 0, true, Damage::Docs, true, true, true,
       {"damaged?", "choose in", "scan out", "damage", "tree out listed"}},
      {"no scan folder", 0, true, Damage::Docs, true, false, true, {"damaged?", "choose in", "tree in listed"}},
      {"lost, declined", 0, true, Damage::Descriptors, false, true, true, {"lost?"}},
      {"lost, scanned", 0, true, Damage::Descriptors, true, true, false, {"lost?", "choose in", "scan out"}},
      {"scan only, no folder", 0, false, Damage::None, true, false, true, {"choose in"}},
      {"scan only", 0, false, Damage::None, true, true, true, {"choose in", "scan out", "tree out listed"}},
      {"audio", 1, true, Damage::None, true, true, true, {"wave", "rip out"}},
      {"audio, no name", 1, true, Damage::None, true, false, true, {"wave"}},
      {"mismatch", 3, true, Damage::None, true, true, true, {"tell 0"}},
      {"empty", 4, true, Damage::None, true, true, true, {"tell 2"}},
  };
  for (const auto& r : rows) {
    Log.clear();
    Break(r.Broken);
    TTrackExtractJob job = NewJob(r.Yes, r.Chosen ? (Dir / "out").string() : "");
    job.ReadPvd = r.ReadPvd, job.ListOnly = Rig->Extracter.ListOnly = r.ListOnly;
    job.ExtractSelected(r.Track);
    EXPECT_EQ(Log, r.Log) << r.What;
    const bool chosen = r.Chosen && std::count(r.Log.begin(), r.Log.end(), "choose in") == 1;
    EXPECT_EQ(Leaf(job.ExtractFolder), chosen ? "out" : "in") << r.What;
    EXPECT_TRUE(Rig->Extracter.Root.Children.empty()) << r.What;  // the next track starts afresh
  }
}

TEST_F(ExtractJob, CheckedTracksGoBesideEarlierOutputsAndTheRunStopsAtTheFirstThatEndsOtherwise) {
  fs::create_directories(Dir / "out");
  std::ofstream(Dir / "out" / "Track02.wav") << "an earlier rip";
  const struct {
    const char* What;
    Damage Broken;
    TWorkerOutcome Rip;
    std::vector<std::string> Log;
  } rows[] = {
      {"all", Damage::None, woDone, {"tree Track01 listed", "rip Track02_01.wav", "rip Track03.wav", "tell 0 of 4"}},
      {"a scan", Damage::Descriptors, woDone, {"lost?", "scan Track01_01", "tree Track01_01 listed",
                                               "rip Track02_01.wav", "rip Track03.wav", "tell 0 of 4"}},
      {"a failed rip", Damage::None, woFailed, {"tree Track01_02 listed", "rip Track02_01.wav", "tell 4 of 2"}},
      {"a cancelled rip", Damage::None, woCancelled, {"tree Track01_03 listed", "rip Track02_01.wav"}},
  };
  for (const auto& r : rows) {
    Log.clear();
    Break(r.Broken);
    RipOutcome = r.Rip;
    NewJob(/*yes=*/true, "unasked").ExtractChecked({0, 1, 2, 3}, (Dir / "out").string());
    EXPECT_EQ(Log, r.Log) << r.What;
  }
  EXPECT_TRUE(fs::is_directory(Dir / "out" / "Track01"));  // where the viewer copies the volume to
}

TEST_F(ExtractJob, CopiesTakeFreeNamesStopAtTheFirstFailureAndSumWhatTheyCouldNotRead) {
  TIsoExtracter& ex = Rig->Extracter;
  ASSERT_TRUE(ex.ReadVolume(Rig->Track));
  for (const char* file : {"readme.txt", "docs/a.bin"}) {
    const auto lba = static_cast<int32_t>(NodeAt(ex.Root, file)->Start - 150);
    Rig->Loaded.Disc->Faults.Unreadable.push_back({lba, lba + 1});
  }
  fs::create_directories(Dir / "out" / "docs");
  WriteFile(Dir / "out" / "readme.txt", "\x01");
  std::vector<std::string> told, copying;
  TFileCopyJob job(ex, Rig->View);
  job.Tell = [&](TFileCopyJob::TNotice what, const std::string& path) {
    told.push_back(std::to_string(int(what)) + " " + fs::relative(path, Dir.Path).string());
  };
  job.Copying = [&](const std::string& path) { copying.push_back(Leaf(path)); };

  EXPECT_TRUE(job.CopyTree(ex.Root, (Dir / "out").string()));
  EXPECT_EQ(ReadFile(Dir / "out" / "docs~1" / "b.bin"), ReadFile(Dir / "tree" / "docs" / "b.bin"));
  EXPECT_EQ(ReadFile(Dir / "out" / "readme~1.txt").size(), 3000u);
  const std::vector<const TExtractedFile*> docs = TFileCopyJob::FilesOf(*NodeAt(ex.Root, "docs"));
  EXPECT_TRUE(job.CopyFiles(docs, (Dir / "out" / "docs").string()));
  EXPECT_EQ(copying, (std::vector<std::string>{"a.bin", "b.bin"}));
  EXPECT_EQ(job.GetDamage().FileCount, 3u);  // the damaged files of both commands

  WriteFile(Dir / "file.bin", "\x01");
  EXPECT_FALSE(job.CopyTree(ex.Root, (Dir / "file.bin" / "x").string()));
  {
    FileSizeLimit full(4096);
    EXPECT_FALSE(job.CopyFiles(docs, (Dir / "full").string()));
  }
  EXPECT_EQ(told, (std::vector<std::string>{"0 file.bin/x", "1 full/a.bin"}));
  EXPECT_FALSE(fs::exists(Dir / "full" / "b.bin"));
  EXPECT_EQ(ex.GetFailure(), fcOutputNotWritable);
}

}  // namespace
