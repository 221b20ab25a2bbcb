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

// Zero until SetDefaultSettings gives them their defaults, as the main window does first.
std::array<TDriveSetting, kMaxCdRoms> DriveSettings{};
int32_t CurrentDriveIndex;

bool Manual, Leadout, FastSearch;
int64_t LastAddress, MaxLeadout;
bool NoDialog;
bool ReadPvd, ReadSvd, ReadTable, LittleEndian, ListOnly, DetectDir, DetectDirInReading, UsePlugin, UsePluginInReading;
int32_t TailZeroMode, TailZeroVal;
bool DelTailZero, DivAtErr;
int32_t Volume;
bool DeEmph;

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
