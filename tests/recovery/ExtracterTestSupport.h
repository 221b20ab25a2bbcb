#pragma once
// The extracter end to end: a folder tree made at test time, an ISO 9660 image of it
// made by genisoimage or xorriso, a disc the disc builder makes of that image, and an
// extracter reading it through the sector reader from the emulated drive "D:".
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "recovery/Iso9660util.h"
#include "recovery/Isoextracter.h"
#include "recovery/Pluginmgr.h"
#include "reader/Sectorreader.h"
#include "tests/emulator/BuilderTestSupport.h"
#include "tests/reader/SectorreaderTestSupport.h"
#include "tests/support/Files.h"
#include "tests/support/RandomBytes.h"
#include "tests/support/Tools.h"
#include "worker/Headlessprogressview.h"

namespace extracter_test {

namespace fs = std::filesystem;
using test_support::FilesBelow;
using test_support::MtimeOf;
using test_support::Quote;
using test_support::RandomBytes;
using test_support::ReadFile;
using test_support::RunShell;
using test_support::WriteFile;

constexpr time_t kMtime = 1'000'000'000;  // 2001-09-09 01:46:40 UTC
inline const std::string kJapaneseDir = "\xE6\x97\xA5\xE6\x9C\xAC";  // all-CJK directory name
inline const std::string kJapaneseFile = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE5\x90\x8D.txt";
inline const std::string kLongName = std::string(80, 'n') + "_long_name.bin";

// The tree of the end-to-end discs: Japanese and long names, three levels, a directory
// over one sector, a hard link, zero-length files, and optionally a file over 100 MB.
inline void MakeVolumeTree(const fs::path& root, bool bigFile) {
  fs::create_directories(root / "docs" / kJapaneseDir / "deep");
  WriteFile(root / "readme.txt", "hello\n");
  WriteFile(root / kLongName, RandomBytes(5000, 1));
  WriteFile(root / "docs" / "notes.bin", RandomBytes(70001, 2));
  WriteFile(root / "docs" / kJapaneseDir / kJapaneseFile, RandomBytes(2048 * 3, 3));
  WriteFile(root / "docs" / kJapaneseDir / "deep" / "tail.bin", RandomBytes(4097, 4));
  WriteFile(root / "empty1.txt", "");
  WriteFile(root / "docs" / "empty2.txt", "");
  fs::create_hard_link(root / "docs" / "notes.bin", root / "notes-link.bin");
  fs::create_directories(root / "many");
  for (int i = 0; i < 60; ++i)
    WriteFile(root / "many" / ("entry_with_a_longer_name_" + std::to_string(i) + ".dat"), RandomBytes(100 + i, 10 + i));
  fs::create_directories(root / "\xE5\x86\x99\xE7\x9C\x9F" / kJapaneseDir / "a");  // names without a zero byte
  WriteFile(root / "\xE5\x86\x99\xE7\x9C\x9F" / kJapaneseDir / "a" / "photo.bin", RandomBytes(3000, 6));
  if (bigFile) WriteFile(root / "big.bin", RandomBytes((100u << 20) + 12345, 5));
  RunShell("find " + Quote(root) + " -exec touch -h -d @" + std::to_string(kMtime) + " {} +");
}

// Files made by real tools for the plug-ins to carve, with the extension each gets.
struct Sample {
  fs::path File;
  std::string Extension;
};

inline std::vector<Sample> MakeSamples(const fs::path& dir) {
  const std::string d = dir.string() + "/";
  const std::string quiet = " >/dev/null 2>&1";
  const std::vector<std::pair<std::string, Sample>> recipes = {
      {"convert -size 120x90 gradient:red-blue -swirl 120 " + d + "s.png", {d + "s.png", ".png"}},
      {"convert -size 160x120 plasma:fractal -seed 7 -quality 85 " + d + "s.jpg", {d + "s.jpg", ".jpg"}},
      {"head -c 30000 /dev/urandom > " + d + "r.bin && cd " + d + " && zip -q s.zip r.bin", {d + "s.zip", ".zip"}},
      {"gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -o " + d + "s.pdf -c '/Helvetica findfont 20 scalefont setfont "
       "72 720 moveto (Quarnel) show showpage'",
       {d + "s.pdf", ".pdf"}},
      {"sox -n -r 44100 -c 2 -b 16 " + d + "t.wav synth 1.5 sine 440 && lame --quiet -b 128 " + d + "t.wav " + d +
           "s.mp3",
       {d + "s.mp3", ".mp3"}},
      {"sox -n -r 22050 -c 1 -b 16 " + d + "s.wav synth 0.7 sine 300", {d + "s.wav", ".wav"}},
  };
  std::vector<Sample> samples;
  for (const auto& [command, sample] : recipes)
    if (RunShell(command + quiet) == 0) samples.push_back(sample);
  return samples;
}

// An ISO 9660 image of `tree` with Joliet; empty path when the tool failed. With a
// session address its extents count from the disc's start, as a burner writes a later
// session.
inline fs::path MakeVolumeIso(const fs::path& tree, const fs::path& iso, const std::string& tool,
                              int32_t sessionLba = 0) {
  const std::string session = sessionLba > 0 ? " -C 0," + std::to_string(sessionLba) : "";
  const std::string options = session + " -quiet -input-charset utf-8 -J -joliet-long -R -V QNLTEST -o ";
  const std::string command = tool == "xorriso" ? "TZ=Asia/Tokyo xorriso -as mkisofs" + options
                                                : "TZ=Asia/Tokyo genisoimage" + options;
  if (RunShell(command + Quote(iso) + " " + Quote(tree) + " >/dev/null 2>&1") != 0) return {};
  return iso;
}


// Every node of the tree with its path from the root.
inline void WalkTree(const TExtractedFile& node, const std::string& path,
                     const std::function<void(const TExtractedFile&, const std::string&)>& visit) {
  for (const auto& child : node.Children) {
    const std::string p = path.empty() ? child.Name : path + "/" + child.Name;
    visit(child, p);
    WalkTree(child, p, visit);
  }
}

// The node at `path` (folders joined by "/"); null when the tree has none.
inline const TExtractedFile* NodeAt(const TExtractedFile& root, const std::string& path) {
  const TExtractedFile* found = nullptr;
  WalkTree(root, "", [&](const TExtractedFile& n, const std::string& p) {
    if (p == path) found = &n;
  });
  return found;
}

// Kind, start, size and path of every node, in order, for comparing two scans.
inline std::vector<std::string> Shape(const TExtractedFile& root) {
  std::vector<std::string> shape;
  WalkTree(root, "", [&](const TExtractedFile& n, const std::string& path) {
    shape.push_back(std::to_string(n.Kind) + " " + std::to_string(n.Start) + " " + std::to_string(n.Size) + " " + path);
  });
  return shape;
}

// The extraction of `track` again, listing only: the same tree as before, and nothing
// written to `folder`.
inline void ExpectListingGivesTheSameTree(TIsoExtracter& ex, const TCdTrack& track, const fs::path& folder) {
  const auto shape = Shape(ex.Root);
  ex.Clear();
  ex.ListOnly = true;
  ex.Folder = folder.string();
  ASSERT_TRUE(ex.ExtractFiles(track));
  EXPECT_EQ(Shape(ex.Root), shape);
  EXPECT_FALSE(fs::exists(folder));
}

// Every file and folder below `root`, by path relative to it; folders end in "/".
inline std::set<std::string> EntriesBelow(const fs::path& root) {
  std::set<std::string> entries;
  for (const auto& e : fs::recursive_directory_iterator(root))
    entries.insert(fs::relative(e.path(), root).string() + (e.is_directory() ? "/" : ""));
  return entries;
}

// The same of a tree: every node by its path, directories ending in "/".
inline std::set<std::string> EntriesOf(const TExtractedFile& root) {
  std::set<std::string> entries;
  WalkTree(root, "", [&](const TExtractedFile& n, const std::string& path) {
    entries.insert(path + (n.DirRecord.IsDirectory() ? "/" : ""));
  });
  return entries;
}

// A directory of an ISO image: its first sector and how many it takes.
struct IsoDirectory {
  uint32_t Extent = 0, Sectors = 0;
};

// The directories of the tree under the image's first descriptor of `type` (1 primary,
// 2 supplementary), by path ("" the root), names decoded as that descriptor says.
inline std::map<std::string, IsoDirectory> DirectoriesOf(const std::vector<uint8_t>& iso, uint8_t type) {
  constexpr size_t kUser = 2048;
  std::map<std::string, IsoDirectory> dirs;
  const uint8_t* d = nullptr;
  for (size_t lba = 16; (lba + 1) * kUser <= iso.size() && iso[lba * kUser] != 255; ++lba)
    if (iso[lba * kUser] == type) {
      d = &iso[lba * kUser];
      break;
    }
  if (d == nullptr) return dirs;
  const bool joliet = IsJolietDescriptor(d);
  std::function<void(const uint8_t*, const std::string&)> walk = [&](const uint8_t* record, const std::string& path) {
    const IsoDirectory dir{BothEndian32Lsb(record + 2), (BothEndian32Lsb(record + 10) + 2047) / 2048};
    if (dirs.count(path) || dir.Extent * kUser >= iso.size()) return;
    dirs[path] = dir;
    for (uint32_t s = 0; s < dir.Sectors; ++s)
      for (size_t pos = (dir.Extent + s) * kUser; iso[pos] != 0 && pos % kUser + iso[pos] <= kUser; pos += iso[pos]) {
        const uint8_t* r = &iso[pos];
        if ((r[25] & 2) == 0 || (r[32] == 1 && r[33] <= 1)) continue;
        const std::span<const uint8_t> id(r + 33, r[32]);
        const std::string name = joliet ? Ucs2BeToUtf8(id) : NarrowNameToUtf8(id);
        walk(r, path.empty() ? name : path + "/" + name);
      }
  };
  walk(d + 156, "");
  return dirs;
}

// Whether the strict test drive may fail a directory sector of the image: where the files
// of a scan end up then depends on its luck.
inline bool ListingsFlaky(const std::vector<uint8_t>& iso) {
  for (const uint8_t type : {uint8_t{1}, uint8_t{2}})
    for (const auto& [path, dir] : DirectoriesOf(iso, type))
      for (uint32_t s = 0; s < dir.Sectors; ++s)
        if (test_support::FlakyOnTestDrive(static_cast<int32_t>(dir.Extent + s))) return true;
  return false;
}

// The directory's sectors fail to read on the disc.
inline void MakeUnreadable(emu::FaultSet& faults, const IsoDirectory& dir) {
  faults.Unreadable.push_back({static_cast<int32_t>(dir.Extent), static_cast<int32_t>(dir.Extent + dir.Sectors)});
}

// `got`, written from the sectors from frame `first` on, equals `want` except in sectors
// the test drive reads only at times: such a sector may have failed, and then holds zeros
// and is one of the `unreadable` the extracter counted for this output (none given: the
// caller sums the sectors that differ, which this returns).
inline uint64_t ExpectImageExceptFailed(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want,
                                        int64_t first, uint32_t user, std::optional<uint64_t> unreadable,
                                        const std::string& what) {
  EXPECT_EQ(got.size(), want.size()) << what;
  uint64_t differ = 0, flaky = 0;
  for (size_t at = 0; at < std::min(got.size(), want.size()); at += user) {
    const size_t n = std::min<size_t>(user, std::min(got.size(), want.size()) - at);
    const int64_t lba = first - 150 + static_cast<int64_t>(at / user);
    flaky += test_support::FlakyOnTestDrive(lba) ? 1 : 0;
    if (std::equal(got.begin() + at, got.begin() + at + n, want.begin() + at)) continue;
    ++differ;
    EXPECT_TRUE(test_support::FlakyOnTestDrive(lba)) << what << ": sector " << lba << " differs";
    EXPECT_TRUE(std::all_of(got.begin() + at, got.begin() + at + n, [](uint8_t b) { return b == 0; }))
        << what << ": unreadable sector " << lba << " is not zeros";
  }
  if (unreadable) {
    EXPECT_LE(differ, *unreadable) << what;
    EXPECT_LE(*unreadable, flaky) << what;
  }
  return differ;
}

// A full disk for as long as it lives: writes past `bytes` of a file fail (EFBIG).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &Saved);
    OldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = Saved;
    small.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &small);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &Saved);
    ::signal(SIGXFSZ, OldHandler);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit Saved{};
  sighandler_t OldHandler = SIG_DFL;
};

// A progress window that presses Cancel on the worker's own thread when the n-th report
// of a code arrives, so the cancel lands at a known point; it keeps the closing codes.
class CancellingView final : public IProgressView {
 public:
  CancellingView(TIsoExtracter& extracter, int8_t code, int count) : Extracter(extracter), Code(code), Left(count) {}
  void SetText(std::string_view text) override { Inner.SetText(text); }
  void Deliver(TProgressEvent event) override {
    if (event.Code == Code && --Left == 0) Extracter.Cancel();
    if (IsClosingCode(event.Code)) Closing.push_back(event.Code);
    Inner.Deliver(std::move(event));
  }
  void ShowModalUntilClosed() override { Inner.ShowModalUntilClosed(); }

  std::vector<int8_t> Closing;  // read after the launcher returned

 private:
  THeadlessProgressView Inner;
  TIsoExtracter& Extracter;
  int8_t Code;
  int Left;
};

// Where a second session after a first one holding `first` starts, as a burner asks it.
inline int32_t SecondSessionLba(const fs::path& first, emu::SectorKind kind) {
  emu::DiscSpec spec;
  spec.Sessions = {{{emu::TrackSpec{kind, first}}}, {{emu::TrackSpec{kind, first}}}};
  emu::DiscLayout layout;
  std::string error;
  return emu::PlanDisc(spec, layout, error) ? layout.Tracks.back().StartLba : 0;
}

// A disc built from an ISO (or raw user data) in one data track, in the emulated drive,
// with an extracter that reads it; or with the track lost beyond the TOC's lead-out
// after a first session holding `first`.
class ExtracterRig {
 public:
  ExtracterRig(const fs::path& input, emu::SectorKind kind, const fs::path& work, emu::FaultSet faults = {},
               const fs::path& first = {}) {
    emu::DiscSpec spec;
    for (const fs::path& file : {first, input})
      if (!file.empty()) spec.Sessions.push_back({{emu::TrackSpec{kind, file}}});
    if (!first.empty()) spec.Toc.DroppedSessions = {2};
    spec.Faults = std::move(faults);
    std::string error;
    emu::DiscLayout layout;
    if (!emu::BuildImageSet(spec, work / "disc", true, error, &layout)) {
      ADD_FAILURE() << error;
      return;
    }
    Loaded = buildertest::Load(work / "disc.ccd");
    if (!Loaded.Disc) return;
    Rig = std::make_unique<reader_test::ReaderRig>(Loaded.Disc);
    DiscEndAddress = 150 + Loaded.Disc->TocLeadOutLba();
    const emu::TrackLayout& track = layout.Tracks.back();
    Track.SessionNo = first.empty() ? 1 : 0;  // as the search beyond the lead-out lists it
    Track.TrackNo = static_cast<uint8_t>(track.Number);
    Track.Head = 150 + track.StartLba;
    Track.Tail = 150 + track.EndLba;
    Track.DataType = kind == emu::SectorKind::Mode2Form1 ? dtMode2Form1 : kind == emu::SectorKind::Mode2Form2
                                                                               ? dtMode2Form2
                                                                               : dtMode1;
    Track.FileSystem = fsIso9660;
    Reader.SetDrive(Rig->Cdrom(), reader_test::BaseSetting());
    Extracter.SetDrive(Rig->Cdrom(), reader_test::BaseSetting());
    Extracter.SetProgressView(&View);
  }
  bool Ready() const { return Rig != nullptr; }

  buildertest::LoadedDrive Loaded;
  std::unique_ptr<reader_test::ReaderRig> Rig;
  TCdTrack Track;
  TSectorReader Reader;
  TPluginManager Plugins;
  // The bar's position after each report.
  std::vector<int32_t> Shown;
  THeadlessProgressView View{[this](const TProgressEvent&, const TProgressModel& m) { Shown.push_back(m.GetPosition()); }};
  TIsoExtracter Extracter{Reader, Plugins};
};

// Scans the rig's track writing into `out`; the files written, by path below it.
inline std::map<std::string, fs::path> ScanWriting(ExtracterRig& rig, const fs::path& out) {
  rig.Extracter.ListOnly = false;
  rig.Extracter.Folder = out.string();
  EXPECT_TRUE(rig.Extracter.ExtractFiles(rig.Track));
  return fs::exists(out) ? FilesBelow(out) : std::map<std::string, fs::path>{};
}

// The file a scan wrote for `path` of a disc whose root directory is lost: in a folder of
// its own for the root's subdirectory, the rest of the path below it; null when none is.
inline const std::pair<const std::string, fs::path>* WrittenBelowLostRoot(
    const std::map<std::string, fs::path>& written, const std::string& path) {
  const std::string below = path.substr(path.find('/'));
  const auto hit = std::find_if(written.begin(), written.end(), [&](const auto& w) {
    return w.first.ends_with(below) && w.first.find('/') == w.first.size() - below.size();
  });
  return hit == written.end() ? nullptr : &*hit;
}

}  // namespace extracter_test
