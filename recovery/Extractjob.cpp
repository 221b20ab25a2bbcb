#include "recovery/Extractjob.h"

#include <cstdio>
#include <filesystem>

#include "platform/OutputFile.h"
#include "recovery/Outputname.h"
#include "sector/Datasector.h"

namespace fs = std::filesystem;

namespace {

// The numbers a track's output takes beside earlier ones: "Track03_01.wav".
constexpr platform::TNumbering kTrackNumbering{'_', 2, 1};
// A copied file beside one of its name: "readme~1.txt".
constexpr platform::TNumbering kCopyNumbering{'~', 1, 1};

bool MakeFolderTree(const std::string& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  return fs::is_directory(folder, ec);
}

}  // namespace

TTrackExtractJob::TKind TTrackExtractJob::Classify(const TCdTrack& track) {
  switch (track.FileSystem) {
    case fsCdda:
    case fsCddaEmph:
      return track.DataType == dtAudio ? TKind::Audio : TKind::TypeMismatch;
    case fsIso9660:
      return track.DataType >= dtMode1 && track.DataType <= dtMode2Formless ? TKind::Data : TKind::TypeMismatch;
    default:
      return TKind::NoFileSystem;
  }
}

std::string TTrackExtractJob::FreeTrackName(const std::string& folder, int trackNo, const char* extension) {
  char name[32];
  std::snprintf(name, sizeof name, "Track%.2d%s", trackNo, extension);
  return platform::FreePath(folder, name, kTrackNumbering);
}

TTrackExtractJob::TTrackExtractJob(const std::vector<TCdTrack>& tracks, TIsoExtracter& extracter)
    : Tracks(tracks), Extracter(extracter) {}

TTrackExtractJob::TEnd TTrackExtractJob::EndOf(TWorkerOutcome outcome) {
  switch (outcome) {
    case woDone:
      return TEnd::Extracted;
    case woCancelled:
      return TEnd::Stopped;
    default:
      return TEnd::Failed;
  }
}

void TTrackExtractJob::ExtractSelected(size_t index) {
  if (index >= Tracks.size()) return;
  Checked = false;
  const TCdTrack track = Tracks[index];
  const TKind kind = Classify(track);
  if (!Extractable(track, kind)) return;
  std::string wave;
  if (kind == TKind::Audio) {
    wave = ChooseWave();
    if (wave.empty()) return;
  }
  TellFailed(track, Extract(index, kind, wave));
}

void TTrackExtractJob::ExtractChecked(const std::vector<size_t>& checked, const std::string& folder) {
  Checked = true;
  for (const size_t index : checked) {
    if (index >= Tracks.size()) continue;
    const TCdTrack track = Tracks[index];
    const TKind kind = Classify(track);
    if (!Extractable(track, kind)) return;
    const std::string output = FreeTrackName(folder, track.TrackNo, kind == TKind::Audio ? ".wav" : "");
    const TEnd end = Extract(index, kind, output);
    TellFailed(track, end);  // says where the run stopped
    if (end != TEnd::Extracted) return;
  }
}

bool TTrackExtractJob::Extractable(const TCdTrack& track, TKind kind) {
  TNotice why = TNotice::EmptyTrack;
  if (kind == TKind::TypeMismatch)
    why = TNotice::TypeMismatch;
  else if (kind == TKind::NoFileSystem)
    why = TNotice::NoFileSystem;
  else if (track.Tail > track.Head)
    return true;
  Tell({why, track, Checked, {}});
  return false;
}

void TTrackExtractJob::TellFailed(const TCdTrack& track, TEnd end) {
  if (end == TEnd::Failed) Tell({TNotice::Failed, track, Checked, {}});
}

// `output`: the WAV file, or a checked data track's folder.
TTrackExtractJob::TEnd TTrackExtractJob::Extract(size_t index, TKind kind, const std::string& output) {
  return kind == TKind::Audio ? EndOf(Rip(index, output)) : ExtractData(index, output);
}

// The selected track's tree and scan use ExtractFolder; a checked one's its own folder.
TTrackExtractJob::TEnd TTrackExtractJob::ExtractData(size_t index, std::string folder) {
  std::string& treeFolder = Checked ? folder : ExtractFolder;
  const bool volume = ReadPvd && ReadVolume(index);
  TEnd end = TEnd::Extracted;
  if (ScanInstead(volume)) {
    end = ScanData(index, folder, treeFolder);
  } else if (volume) {
    if (Checked) MakeFolderTree(folder);  // where the viewer offers to copy the track's files
    ShowTree(treeFolder);
  }
  // The tree belongs to this track only: the next scan must not add to it.
  Extracter.Clear();
  return end;
}

// A volume that lacks directory sectors is told, with the scan offered in its place.
bool TTrackExtractJob::ScanInstead(bool volume) {
  if (!ReadPvd) return true;
  if (!volume) return AskScan(nullptr);
  const TIsoExtracter::TDamage& damage = Extracter.GetDamage();
  return damage.Any() && AskScan(&damage);
}

TTrackExtractJob::TEnd TTrackExtractJob::ScanData(size_t index, std::string& folder, std::string& treeFolder) {
  bool chosen = true;
  if (!Checked) {
    const std::string answer = ChooseFolder(ExtractFolder);
    chosen = !answer.empty();
    if (chosen) folder = ExtractFolder = answer;
  }
  TEnd end = TEnd::Extracted;
  if (chosen) {
    Extracter.Clear();  // the scan lists the track afresh, not beside a volume's tree
    end = RunScan(index, folder);
  }
  // After the question the list shows whether or not a folder was chosen; with the volume
  // read switched off, no folder ends it.
  if (ListOnly && (chosen || ReadPvd)) ShowTree(treeFolder);
  return end;
}

TTrackExtractJob::TEnd TTrackExtractJob::RunScan(size_t index, const std::string& folder) {
  if (!MakeFolderTree(folder)) {
    Tell({TNotice::FolderFailed, Tracks[index], Checked, folder});
    return TEnd::Stopped;
  }
  const TEnd end = EndOf(Scan(index, folder));
  if (end == TEnd::Extracted && Extracter.GetDamage().Any()) TellDamage(Extracter.GetDamage());
  return end;
}

std::vector<const TExtractedFile*> TFileCopyJob::FilesOf(const TExtractedFile& folder) {
  std::vector<const TExtractedFile*> files;
  for (const TExtractedFile& child : folder.Children)
    if (!IsFolder(child)) files.push_back(&child);
  return files;
}

// A rebuilt directory can list one name twice.
std::string TFileCopyJob::FreePath(const std::string& folder, const std::string& name) {
  return platform::FreePath(folder, SafeLeafName(name), kCopyNumbering);
}

TFileCopyJob::TFileCopyJob(TIsoExtracter& extracter, IProgressView& view) : Extracter(extracter), View(view) {}

bool TFileCopyJob::CopyFile(const TExtractedFile& file, const std::string& path) {
  Extracter.SetProgressView(&View);
  const TWorkerOutcome outcome = View.Run([&] { return Extracter.ReadListedFile(file, path); });
  if (outcome == woDone) Damage.Add(Extracter.GetDamage());
  if (outcome == woFailed) Tell(TNotice::CopyFailed, path);
  return outcome == woDone;  // a copy the user stopped: nothing to tell
}

bool TFileCopyJob::CopyFiles(const std::vector<const TExtractedFile*>& files, const std::string& folder) {
  if (!MakeFolder(folder)) return false;
  for (const TExtractedFile* file : files) {
    const std::string path = FreePath(folder, file->Name);
    if (Copying) Copying(path);
    if (!CopyFile(*file, path)) return false;
  }
  return true;
}

bool TFileCopyJob::CopyTree(const TExtractedFile& folder, const std::string& target) {
  if (!MakeFolder(target)) return false;
  for (const TExtractedFile& child : folder.Children) {
    const std::string path = FreePath(target, child.Name);
    if (!(IsFolder(child) ? CopyTree(child, path) : CopyFile(child, path))) return false;
  }
  return true;
}

bool TFileCopyJob::MakeFolder(const std::string& folder) {
  if (MakeFolderTree(folder)) return true;
  Tell(TNotice::FolderFailed, folder);
  return false;
}
