#include "app/Global.h"

// Defined in one unit so that they are built in this order and destroyed in reverse:
// the plug-in manager unloads its modules first, the drive list goes last.
TKrCdRoms CdRoms;
std::array<TReadSpeedList, kMaxCdRoms> ReadSpeedLists;
std::vector<TCdTrack> CdTracks;
std::string TrackDir, MultiDir, CddaDir, FileExtractDir, FileReadDir;
TDriveUtility DriveUtility;
TSectorReader SectorReader;
TTocDetector TocDetector(CdTracks, SectorReader);
TAudioRipper AudioRipper;
TIsoExtracter IsoExtracter(SectorReader, PluginManager);  // the manager is only bound here
TPluginManager PluginManager;

std::array<TDriveSetting, kMaxCdRoms> DriveSettings{};
int32_t CurrentDriveIndex = -1;

bool Manual = false, Leadout = false, FastSearch = true;
int64_t LastAddress = 360000, MaxLeadout = 300;
bool NoDialog = false;
bool ReadPvd = true, ReadSvd = true, ReadTable = true, LittleEndian = true, ListOnly = true, DetectDir = true,
     DetectDirInReading = true, UsePlugin = true, UsePluginInReading = true;
int32_t TailZeroMode = 6, TailZeroVal = 64;
bool DelTailZero = false, DivAtErr = false;
int32_t Volume = 100;
bool DeEmph = true;

bool SelectDrive(int32_t index) {
  CurrentDriveIndex = index;
  if (index < 0 || static_cast<size_t>(index) >= kMaxCdRoms) return false;
  const TKrCdRom* drive = CdRoms.GetCdRom(static_cast<uint32_t>(index));
  if (drive == nullptr) return false;
  const TDriveSetting& setting = DriveSettings[static_cast<size_t>(index)];
  DriveUtility.Assign(*drive, setting);
  SectorReader.SetDrive(*drive, setting);
  TocDetector.SetDrive(*drive, setting);
  AudioRipper.SetDrive(*drive, setting);
  IsoExtracter.SetDrive(*drive, setting);
  return true;
}

void ClearTrackList() {
  CdTracks.clear();
  DiscEndAddress = 0;
  IsoExtracter.Clear();
}

void CancelAll() {
  TocDetector.Cancel();
  AudioRipper.Cancel();
  IsoExtracter.Cancel();
}
