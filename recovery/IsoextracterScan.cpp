#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/OutputFile.h"
#include "reader/Sectorreader.h"
#include "recovery/Isoextracter.h"
#include "recovery/IsoextracterInternal.h"
#include "recovery/Pluginmgr.h"
#include "sector/Datasector.h"

using namespace iso_internal;

namespace {

constexpr uint32_t kMaxSplitMode = 11;
constexpr int32_t kFrameMode = 12;
constexpr int32_t kValueMode = 13;
const char* const kScanText = "Extracting Files...";
// The scan's bar moves every this many sectors handled: a report per sector would cost
// the scan more than its own work.
constexpr int64_t kSectorsPerReport = 64;

}  // namespace

// The data run being collected: sectors nothing claimed, from Start on.
struct TIsoExtracter::TRun {
  bool Open = false;
  int64_t Start = 0;
  int64_t Last = 0;     // last sector appended
  uint32_t Unread = 0;  // sectors written as zeros
  platform::OutputFile File;
};

uint32_t TIsoExtracter::SplitUnitOf(int32_t mode, int32_t value, uint32_t userSize) {
  if (mode < 0) return 0;
  if (static_cast<uint32_t>(mode) <= kMaxSplitMode) return 1u << mode;
  if (mode == kFrameMode) return userSize;
  if (mode == kValueMode) return static_cast<uint32_t>(value) < userSize ? static_cast<uint32_t>(value) : userSize;
  return 0;
}

bool TIsoExtracter::ExtractFiles(const TCdTrack& track) {
  if (!SetGeometry(track)) return false;
  SplitUnit = SplitUnitOf(TailZeroMode, TailZeroVal, UserSize);
  UnreadableCount = SectorsRead = 0;
  HandledSectors = ShownSectors = 0;
  Damage = {};
  TWorkerJob job;
  job.Prepare = [this] {
    ReadedFiles.clear();
    ForgetFoundPlaces();
    Utility.SpinUp(kSpinUpMs);
    return true;
  };
  job.Work = [this] {
    const TReaderSession session(Reader, &Utility);
    ExtractWorker();
  };
  job.CleanUp = [this] {
    AddressMap.Clear();
    ReadedFiles.clear();
    ForgetFoundPlaces();
    DirectoryPath.clear();
    HeldDirectoryBytes = 0;
  };
  return Launch("Extracting files...", std::move(job));
}

void TIsoExtracter::ExtractWorker() {
  if (!ListOnly) {
    std::error_code ec;
    std::filesystem::create_directories(Folder, ec);
    if (!std::filesystem::is_directory(Folder, ec)) return OutputFailed();
  }
  // The map starts at the disc's first frame: found directories may list sectors before the track.
  if (!AddressMap.Allocate(kLbaOffset, TrackEnd)) return static_cast<void>(Head.Fail());
  ScanFirst = Root.Children.size();
  Report(pcSetRange, static_cast<int32_t>(TrackEnd - TrackStart));
  TRun run;
  for (int64_t i = TrackStart; i < TrackEnd && Head.KeepGoing() && !Reader.ReadRefused(); ++i) ScanSector(i, run);
  // The last run ends with the track (or where a cancel stopped it): it is listed too.
  EndRun(run);
  PruneTakenOver(Root, Folder, ScanFirst);
  PromoteRoots();
  ApplyFoundPathsFrom(Root, ScanFirst);
  TallyDamagedFiles();
  // Sectors a refused command did not read are not the disc's damage: none is counted.
  if (Reader.ReadRefused()) return ReadCommandRefused();
  if (!Head.KeepGoing()) return;
  if (SectorsRead == 0 && TrackEnd > TrackStart) {
    // A scan that could read nothing found nothing: that is not done.
    return FailWith(fcNoSectorRead);
  }
  if (UnreadableCount > 0) Report(pcSetText, 0, std::to_string(UnreadableCount) + " sectors could not be read");
}

// The bar counts the track's sectors handled, wherever the scan, a found directory or a
// carve handled them: it only moves forward.
void TIsoExtracter::CountHandled(int64_t address) {
  if (address < TrackStart || address >= TrackEnd) return;
  if (++HandledSectors - ShownSectors < kSectorsPerReport) return;
  ShownSectors = HandledSectors;
  Report(pcSetPosition, static_cast<int32_t>(HandledSectors));
}

// One sector of the scan; i moves on past whatever a carve took.
void TIsoExtracter::ScanSector(int64_t& i, TRun& run) {
  if (AddressMap.GetStatus(i) != TAddressManager::kNotHandled) {
    // A sector a found directory already wrote out ends the run before it: a run file
    // holds the sectors its name spans, each at its own offset.
    EndRun(run);
    return;
  }
  if (!ReadUserData(i)) {
    if (Reader.ReadRefused()) return;  // the scan ends here, failed
    if (run.Open && DivAtErr) {
      CloseRun(run, i - 1, nkReadErrorRun, static_cast<uint64_t>(i - run.Start) * UserSize, 0);
    } else if (run.Open) {
      static const std::array<uint8_t, kRawSectorSize> kZeros{};
      WriteRun(run, kZeros.data(), UserSize);
      run.Last = i;
      ++run.Unread;
    }
    Mark(i, false);
    return;
  }
  if (i < TrackStart + kDescriptorArea) NoteDescriptor();
  if (!TryDirectory(i, run) && !TryPlugins(i, run)) HandleData(i, run);
  Mark(i, true);
}

bool TIsoExtracter::TryDirectory(int64_t i, TRun& run) {
  if (!DetectDir || (run.Open && !DetectDirInReading)) return false;
  if (!IsDirectorySector(UserData(), UserSize)) return false;
  if (run.Open) CloseRun(run, i - 1, nkHitRun, static_cast<uint64_t>(i - run.Start) * UserSize, 0);
  ExtractFoundDirectory(i);
  Report(pcSetText, 0, kScanText);
  return true;
}

bool TIsoExtracter::TryPlugins(int64_t& i, TRun& run) {
  if (!UsePlugin || (run.Open && !UsePluginInReading)) return false;
  for (unsigned j = 0; j < Plugins.GetCount(); ++j) {
    TFormatPlugin* plugin = Plugins.GetEnabled(j) ? Plugins.GetPlugin(j) : nullptr;
    if (plugin == nullptr) continue;
    int hit = 0;
    try {
      plugin->Reset();
      hit = plugin->Detect(UserData(), UserSize);
    } catch (...) {
      hit = 0;  // a plug-in that fails to answer has not recognised the sector
    }
    if (hit == 0) continue;
    if (run.Open) CloseRun(run, i - 1, nkHitRun, static_cast<uint64_t>(i - run.Start) * UserSize, 0);
    const std::vector<uint8_t> first(UserData(), UserData() + UserSize);
    int64_t position = i;
    ExtractByPlugin(first.data(), UserSize, position, *plugin, Folder, i);
    Report(pcSetText, 0, kScanText);
    i = position;
    return true;
  }
  return false;
}

void TIsoExtracter::HandleData(int64_t i, TRun& run) {
  uint32_t n = 0;
  const bool tail = CheckTailZero(UserData(), UserSize, n);
  if (!run.Open && (!tail || n != 0 || !DelTailZero)) {
    if (!OpenRun(i, run)) return;
  }
  if (!run.Open) return;  // an all-zero sector outside a run, dropped as asked
  if (!WriteRun(run, UserData(), tail && DelTailZero ? n : UserSize)) return;
  run.Last = i;
  if (tail) CloseRun(run, i, nkZeroTailRun, static_cast<uint64_t>(i - run.Start) * UserSize + n, UserSize - n);
}

// Closes an open run after the last sector it took, as a hit would.
void TIsoExtracter::EndRun(TRun& run) {
  if (run.Open) CloseRun(run, run.Last, nkHitRun, static_cast<uint64_t>(run.Last - run.Start + 1) * UserSize, 0);
}

bool TIsoExtracter::OpenRun(int64_t i, TRun& run) {
  std::string leaf;
  if (!ListOnly && !run.File.CreateUnique(Folder, std::to_string(i), leaf)) {
    OutputFailed();
    return false;
  }
  run.Open = true;
  run.Start = i;
  run.Last = i;
  run.Unread = 0;
  return true;
}

bool TIsoExtracter::WriteRun(TRun& run, const uint8_t* data, uint32_t bytes) {
  if (ListOnly || run.File.Write(data, bytes)) return true;
  OutputFailed();
  return false;
}

void TIsoExtracter::CloseRun(TRun& run, int64_t last, TNodeKind kind, uint64_t size, uint32_t tailZeros) {
  run.Open = false;
  std::string name = std::to_string(run.Start) + "_" + std::to_string(last);
  if (!ListOnly && run.File.IsOpen()) {
    const uint64_t written = run.File.Size();
    const std::string path = run.File.Path();
    if (!run.File.Close()) return OutputFailed();
    if (written == 0) {
      ::unlink(path.c_str());
    } else {
      std::string chosen;
      if (!platform::RenameUnique(path, Folder, name, chosen)) return OutputFailed();
      name = chosen;
    }
  }
  // A run of zero bytes only (kept as the user asked) lists nothing.
  if (kind == nkZeroTailRun && size == 0) return;
  TExtractedFile node;
  node.Kind = kind;
  node.Start = run.Start;
  node.Size = static_cast<uint32_t>(size);
  node.TailZeroCount = tailZeros;
  node.UnreadSectors = run.Unread;
  node.Name = name;
  node.SectorMode = static_cast<uint8_t>(SectorMode);
  node.TrackEnd = TrackEnd;
  Root.Children.push_back(std::move(node));
}
