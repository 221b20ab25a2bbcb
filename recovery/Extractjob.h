#pragma once
// What the track list and the file viewer do with the tracks and the extracted tree,
// without a window: which tracks can be extracted and how, the names outputs take beside
// earlier ones, the folders made, the choice between a volume read and the scan, the copy
// of listed files and trees, and what the copies of one command could not read. A window
// sets a job's fields and hooks (its questions and messages) and starts it.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "recovery/Filelist.h"
#include "recovery/Isoextracter.h"
#include "sector/Cdtrack.h"
#include "worker/Workerprotocol.h"

// Extracts the selected track, or the checked tracks one after another: audio tracks
// through the ripper, ISO 9660 tracks as a volume to browse or by the recovery scan. The
// engines run as the caller hands them over (drive selected, options copied in).
class TTrackExtractJob {
 public:
  // How a track's file system and data type let it be extracted.
  enum class TKind : uint8_t { Audio, Data, TypeMismatch, NoFileSystem };
  static TKind Classify(const TCdTrack& track);

  // The first free "<folder>/Track03.wav", "Track03_01.wav", ... (a data track's folder
  // "Track03", "Track03_01", ...): neither a file nor a folder of that name exists.
  static std::string FreeTrackName(const std::string& folder, int trackNo, const char* extension);

  // What the user is told; the window words it. Checked: in a run over the checked tracks.
  enum class TNotice : uint8_t { TypeMismatch, NoFileSystem, EmptyTrack, FolderFailed, Failed };
  struct TNote {
    TNotice What;
    const TCdTrack& Track;
    bool Checked;
    std::string Folder;  // FolderFailed
  };

  // The engines: a rip and a scan say how their run ended; a volume read whether it read.
  std::function<TWorkerOutcome(size_t track, const std::string& wav)> Rip;
  std::function<bool(size_t track)> ReadVolume;
  std::function<TWorkerOutcome(size_t track, const std::string& folder)> Scan;

  // The user. An empty answer is a cancel.
  std::function<std::string()> ChooseWave;
  std::function<std::string(const std::string& initialDir)> ChooseFolder;
  // Scan instead? Asked when no volume was read (null), or when the one read lacks what
  // `lacking` says.
  std::function<bool(const TIsoExtracter::TDamage* lacking)> AskScan;
  // Shows the extracted tree; the user may change the folder it copies to.
  std::function<void(std::string& folder)> ShowTree;
  std::function<void(const TNote& note)> Tell;
  // What a scan could not read; only called when it lost something.
  std::function<void(const TIsoExtracter::TDamage& damage)> TellDamage;

  bool ReadPvd = true;
  bool ListOnly = true;
  // The selected data track's folder: where its scan was last written and its tree copied.
  std::string ExtractFolder;

  TTrackExtractJob(const std::vector<TCdTrack>& tracks, TIsoExtracter& extracter);

  void ExtractSelected(size_t index);
  // Each checked track under a free name in `folder`. The run stops at a track that cannot
  // be extracted, fails or is cancelled.
  void ExtractChecked(const std::vector<size_t>& checked, const std::string& folder);

 private:
  // Stopped: cancelled by the user, or a failure told already.
  enum class TEnd : uint8_t { Extracted, Failed, Stopped };
  static TEnd EndOf(TWorkerOutcome outcome);

  // Tells why not when the track cannot be extracted.
  bool Extractable(const TCdTrack& track, TKind kind);
  TEnd Extract(size_t index, TKind kind, const std::string& output);
  TEnd ExtractData(size_t index, std::string folder);
  bool ScanInstead(bool volume);
  TEnd ScanData(size_t index, std::string& folder, std::string& treeFolder);
  TEnd RunScan(size_t index, const std::string& folder);
  void TellFailed(const TCdTrack& track, TEnd end);

  const std::vector<TCdTrack>& Tracks;
  TIsoExtracter& Extracter;
  bool Checked = false;
};

// Copies listed files of the extracted tree out, each behind the progress window, under a
// free name: nothing on disk is replaced. Stops at the first file or folder that fails
// (told) or that the user cancels.
class TFileCopyJob {
 public:
  enum class TNotice : uint8_t { FolderFailed, CopyFailed };

  // Directories are shown in the tree; their files in the list.
  static bool IsFolder(const TExtractedFile& node) { return node.DirRecord.IsDirectory() != 0; }
  static std::vector<const TExtractedFile*> FilesOf(const TExtractedFile& folder);
  // The free path in `folder` of a name from the disc, made safe.
  static std::string FreePath(const std::string& folder, const std::string& name);

  // The path that failed; for CopyFailed the extracter's GetFailure says why.
  std::function<void(TNotice what, const std::string& path)> Tell;
  // Before each copy of the checked files: where it goes.
  std::function<void(const std::string& path)> Copying;

  TFileCopyJob(TIsoExtracter& extracter, IProgressView& view);

  // Each is true when every file was copied.
  bool CopyFile(const TExtractedFile& file, const std::string& path);
  bool CopyFiles(const std::vector<const TExtractedFile*>& files, const std::string& folder);
  bool CopyTree(const TExtractedFile& folder, const std::string& target);
  // What the copies so far could not read, told once at the command's end.
  const TIsoExtracter::TDamage& GetDamage() const { return Damage; }

 private:
  bool MakeFolder(const std::string& folder);

  TIsoExtracter& Extracter;
  IProgressView& View;
  TIsoExtracter::TDamage Damage;
};
