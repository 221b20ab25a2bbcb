#pragma once
// The file-extraction engine: reads the ISO 9660 volume of a data track into a tree of
// files, copies a listed file out with its recorded time, and runs the recovery scan
// that rebuilds found directories, carves files through the plug-ins and keeps every
// other readable sector in run files.
//
// Public operations the windows call (all on the user-interface thread):
//   SetDrive, SetProgressView, the option members, ReadVolume, GetVolumeLabel,
//   ReadListedFile, ExtractFiles, Cancel, Clear and the result tree Root.
// ReadListedFile and ExtractFiles run a worker behind the progress view and return
// only when it has ended and been joined.
//
// Everything read from the disc is hostile: names become safe leaf names, nothing is
// written outside the chosen folder, no existing file is ever replaced, sizes are held
// to the track, and directory loops end.
#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "drive/Krcdrom.h"
#include "reader/Adrmgr.h"
#include "recovery/Filelist.h"
#include "recovery/Iso9660util.h"
#include "sector/Cdtrack.h"
#include "sector/Datasector.h"
#include "worker/Workerengine.h"

class TSectorReader;
class TPluginManager;
class TFormatPlugin;

namespace platform {
class OutputFile;
}

class TIsoExtracter : public TWorkerEngine {
 public:
  using TReadedFile = ::TReadedFile;
  using TVolumeDescriptor = std::array<uint8_t, 2048>;

  static constexpr int64_t kDescriptorArea = 32;  // sectors 16-31 of the track, counted from its start
  // Directory trees deeper than this are damage (loops that a changed extent hides).
  static constexpr int kMaxDirectoryDepth = 64;
  // No directory of a real disc comes near this; a larger recorded length is damage.
  static constexpr uint32_t kMaxDirectoryBytes = 16u << 20;
  // The directory images held at once along the path being walked share this ceiling,
  // so that a deep hostile tree cannot take the memory.
  static constexpr uint64_t kMaxHeldDirectoryBytes = 64u << 20;

  // Options the main window copies in before each operation.
  bool LittleEndian = true;
  bool ReadSvd = true;
  bool ReadTable = true;  // stored with the settings; nothing reads path tables
  bool ListOnly = true;
  bool DetectDir = true;
  bool DetectDirInReading = true;
  bool UsePlugin = true;
  bool UsePluginInReading = true;
  int32_t TailZeroMode = 6;
  int32_t TailZeroVal = 64;
  bool DelTailZero = false;
  bool DivAtErr = false;
  std::string Folder;  // output folder of the recovery scan

  // The descriptors of the last volume read, in disc order.
  TVolumeDescriptor Pvd{};
  bool PvdFound = false;
  std::vector<TVolumeDescriptor> Svds, BootRecords, Partitions;
  const TVolumeDescriptor* Selected = nullptr;
  bool Joliet = false;

  // The result of every volume read and scan.
  TExtractedFile Root;

  TIsoExtracter(TSectorReader& reader, TPluginManager& plugins);
  ~TIsoExtracter();
  TIsoExtracter(const TIsoExtracter&) = delete;
  TIsoExtracter& operator=(const TIsoExtracter&) = delete;

  void SetDefaults();
  // Forgets the descriptors and empties Root's children.
  void Clear();

  // Volume read of an ISO 9660 track on the caller's thread. False when the track is not
  // one, no descriptor is found or the root directory cannot be read at all in either
  // tree (the user is then offered the scan). A directory of the chosen tree that lost
  // sectors is listed from the other tree where that one reads. The directory sectors that
  // could not be read are counted (GetUnreadableCount); those whose entries the tree still
  // lacks are the damage's DirectorySectors (the user is then told and offered the scan).
  bool ReadVolume(const TCdTrack& track);
  std::string DecodeName(const uint8_t* raw, size_t length, bool stripVersion, bool trimSpaces) const;
  std::string GetVolumeLabel() const;

  // Copies a listed file to `path` (which must not exist yet) with its recorded time.
  // True only when every byte was written; unreadable sectors are written as zeros and
  // counted (GetUnreadableCount). A refused read command fails the copy. A copy with
  // unreadable sectors, a cancelled or a failed one keeps its file without the recorded
  // time: it must not pass for the original.
  bool ReadListedFile(const TExtractedFile& node, const std::string& path);
  // Unreadable sectors of the last volume read, copy or scan.
  uint64_t GetUnreadableCount() const { return UnreadableCount; }

  // What the last volume read, copy or scan could not read, for the user to be told once.
  struct TDamage {
    static constexpr size_t kNamesKept = 20;
    // Files holding zero-filled sectors: the first kNamesKept by path (a copy's target; in
    // a scan, relative to Folder) and how many in all.
    std::vector<std::string> Files;
    uint64_t FileCount = 0;
    // Directory sectors that could not be read: in a volume read those whose entries the
    // tree lacks, the other tree not making them up; in a scan those of found directories.
    uint64_t DirectorySectors = 0;

    bool Any() const { return FileCount != 0 || DirectorySectors != 0; }
    void AddFile(const std::string& path);
    // Sums the damage of several operations, such as the copies of one extraction.
    void Add(const TDamage& other);
  };
  const TDamage& GetDamage() const { return Damage; }

  // The recovery scan of one track into Folder (nothing written with ListOnly); its
  // entries are appended to Root. True only when the scan ran to the end having read
  // some sector; unreadable ones are written as zeros and counted (GetUnreadableCount).
  // A refused read command ends it failed at once.
  bool ExtractFiles(const TCdTrack& track);
  // Kind-1 files that a later listing of the scan placed elsewhere get that path as
  // their FoundPath (the Name stays the leaf written). Always true.
  bool ApplyFoundPaths(TExtractedFile& entry);

  // The steps of the scan below run on its worker only (they stop when it is not running).
  // The directory held in image[0..size) into `folder`, its entries below `parent`.
  bool ExtractDirectory(const uint8_t* image, uint32_t size, TExtractedFile& parent, const std::string& folder,
                        uint32_t unit);
  // Carves the file that `plugin` detected at sector `start`; `position` receives the
  // last sector the file took. False when the carve could not start.
  bool ExtractByPlugin(const uint8_t* data, uint32_t size, int64_t& position, TFormatPlugin& plugin,
                       const std::string& folder, int64_t start);

  bool IsDirectorySector(const uint8_t* data, uint32_t size) const;
  bool CheckTailZero(const uint8_t* data, uint32_t size, uint32_t& n) const;

 private:
  struct TRun;
  struct TCarve;

  bool SetGeometry(const TCdTrack& track);
  void FindDescriptors();
  // Reads the tree under the descriptor's root into `root`; false when the root is lost.
  bool ReadTree(const TVolumeDescriptor& descriptor, TExtractedFile& root);
  const TVolumeDescriptor* OtherTree() const;
  bool ReadDirectory(TExtractedFile& node, bool joliet, std::vector<uint32_t>& path);
  // Reads `length` bytes of directory at `extent` (held to the track and the ceiling) into
  // `image`, marking each sector when `mark`; false when nothing could be read. `lost`
  // receives the sectors that failed or hold no directory records.
  bool ReadDirectoryImage(uint32_t extent, uint32_t length, std::vector<uint8_t>& image, bool mark, uint32_t& lost);
  // The sector holds directory records; with `self`, the first one is the directory's own at that extent.
  bool IsListingSector(const uint8_t* data, uint32_t self) const;
  uint32_t ExtentOf(const uint8_t* record) const;  // of a directory record
  static std::string DecodeNameAs(const uint8_t* raw, size_t length, bool ucs2, bool stripVersion, bool trimSpaces);
  // Reads sector `address` into the sector buffer; its user data at UserData().
  bool ReadUserData(int64_t address);
  // Reads sector `address` as `mode` into the sector buffer; all zeros when it failed.
  bool ReadSectorAs(int64_t address, uint8_t mode);
  const uint8_t* UserData() const { return Sector.data() + UserOffset; }
  // Sectors of `bytes` bytes from `start` that lie inside the track.
  uint64_t SectorsInTrack(int64_t start, uint64_t bytes) const;

  void ReadListedFileWorker(const TExtractedFile& node, const std::string& path);

  // Split unit in bytes of a TailZeroMode; 0 never splits.
  static uint32_t SplitUnitOf(int32_t mode, int32_t value, uint32_t userSize);
  void ApplyFoundPathsFrom(TExtractedFile& entry, size_t first);
  void ExtractWorker();
  void ScanSector(int64_t& i, TRun& run);
  // A sector of the track got its first status: the scan's bar moves on.
  void CountHandled(int64_t address);
  bool TryDirectory(int64_t i, TRun& run);
  bool TryPlugins(int64_t& i, TRun& run);
  void HandleData(int64_t i, TRun& run);
  bool OpenRun(int64_t i, TRun& run);
  bool WriteRun(TRun& run, const uint8_t* data, uint32_t bytes);
  void CloseRun(TRun& run, int64_t last, TNodeKind kind, uint64_t size, uint32_t tailZeros);
  void EndRun(TRun& run);
  void ExtractFoundDirectory(int64_t i);

  // The 1-based index in ReadedFiles when the scan already wrote this name, else 0: the
  // record at disc position `record` was met before (a directory found twice), or it is
  // the other name encoding's listing of a file written with the same extent and length
  // (the primary and Joliet trees list every file twice). Hard links and empty files
  // share an extent but have records of their own, so each of their names is written.
  // A file written under its 8-bit name moves to the Joliet `path` (`movedHere`); else
  // `path` becomes its FoundPath unless one is set.
  size_t FindReadedFile(uint32_t extent, uint32_t length, const std::string& name, bool ucs2, uint64_t record,
                        const std::string& path, bool& movedHere);
  // Whether the names of the listing in image[0..size) are UCS-2.
  bool ListingIsUcs2(const uint8_t* image, uint32_t size, uint32_t unit);
  TNameCode SubdirectoryCode(const uint8_t* image, uint32_t size, uint32_t unit);
  std::vector<uint32_t> SubdirectoryExtents(const uint8_t* image, size_t size, size_t unit) const;
  void NoteDescriptor();
  TNameCode TreeCodeOf(uint32_t extent, uint32_t parent);
  bool AdoptFoundDirectory(int64_t start, const std::string& leaf, TExtractedFile& parent, const std::string& folder);
  void NoteTwinFolders(std::string narrow, std::string joliet);
  void RebasePaths(const std::string& from, const std::string& to);
  bool PruneTakenOver(TExtractedFile& dir, const std::string& folder, size_t first);
  bool HasFolder(const std::string& folder, const std::string& name) const;
  void PromoteRoots();
  void PromoteRoot(size_t index);
  void TallyDamagedFiles();
  void ForgetFoundPlaces();

  TExtractedFile FoundNode(const uint8_t* record, const std::string& leaf) const;
  void FoundSubdirectory(const uint8_t* record, const std::string& leaf, bool ucs2, TExtractedFile& parent,
                         const std::string& folder, uint32_t unit);
  // name: as the disc gives it; leaf: the name it takes in `folder`.
  void FoundFile(const uint8_t* record, uint64_t at, const std::string& name, bool ucs2, const std::string& leaf,
                 TExtractedFile& parent, const std::string& folder);
  // Disc position of the record at `pos` of the directory image being walked; never 0.
  uint64_t RecordAt(size_t pos, uint32_t unit) const;
  // Copies (out) or only claims (null) the sectors of a file; false when it did not
  // complete (cancel, failure, an unreadable sector, or a length that runs past the track).
  // `unread` receives the sectors written as zeros.
  bool CopySectors(int64_t start, uint64_t bytes, platform::OutputFile* out, uint32_t& unread);

  void CarveRound(TCarve& carve);
  void CarveConsume(TCarve& carve, uint32_t m);
  void CarveSkip(TCarve& carve, uint64_t m);
  bool CarveNextSector(TCarve& carve);
  void CarveMark(TCarve& carve, bool read);
  void CarveRefill(TCarve& carve);
  bool CarveWrite(TCarve& carve, const uint8_t* data, uint32_t bytes);
  void CarveFinish(TCarve& carve, const std::string& folder, int64_t start);

  void Report(TProgressCode code, int32_t value = 0, std::string_view text = {}) const {
    Head.Notify(code, value, text);
  }
  void OutputFailed();
  // Records a sector's status in the scan's map, counting each unreadable one once.
  void Mark(int64_t address, bool read);
  void ReadCommandRefused();

  TSectorReader& Reader;
  TPluginManager& Plugins;

  int SectorMode = 0;
  uint32_t UserSize = 0;
  uint32_t UserOffset = 0;
  int64_t TrackStart = 0;
  int64_t TrackEnd = 0;
  uint32_t SplitUnit = 0;

  std::array<uint8_t, kRawSectorSize> Sector{};
  TAddressManager AddressMap;
  std::vector<TReadedFile> ReadedFiles;
  // Extents of the directories being walked, outermost first: a record naming one of
  // them again is a loop.
  std::vector<uint32_t> DirectoryPath;
  // Frame address of the first sector of the directory image being walked.
  int64_t ListingStart = 0;
  // The name encoding of the tree the listing being walked belongs to, where known.
  TNameCode ListingCode = TNameCode::Unknown;
  // Where the scan's found directories go. The roots the descriptors name, by extent,
  // with whether their tree is Joliet.
  std::map<uint32_t, bool> DescriptorRoots;
  bool DescriptorsEnded = false;
  size_t ScanFirst = 0;                    // Root's first child of this scan
  std::set<int64_t> FoundFolders;          // found directories in folders of their own, by sector
  std::map<int64_t, bool> RootCandidates;  // of those, the ones that may be a root, and if UCS-2
  std::set<std::string> GivenAway;         // folders of listings whose entries were written elsewhere
  std::set<std::string> ListedFolders;     // every folder made for a listing
  std::map<std::string, std::string> TwinFolders;  // an 8-bit listing's folder -> its Joliet one's
  uint64_t HeldDirectoryBytes = 0;
  uint64_t UnreadableCount = 0;
  // The track's sectors the scan handled (read, or taken by a found directory or a
  // carve), and how many of them the bar shows.
  int64_t HandledSectors = 0;
  int64_t ShownSectors = 0;
  TDamage Damage;
  uint64_t SectorsRead = 0;
};
