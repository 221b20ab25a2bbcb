#pragma once
// The program's one instance of each engine and its option values, shared by the
// windows. The engines are built in declaration order before main runs and destroyed in
// reverse after it returns; the engines never read the options: the main window copies
// them in just before each operation.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/Audioripper.h"
#include "drive/Driveutility.h"
#include "drive/Krcdroms.h"
#include "drive/Readspeedlist.h"
#include "reader/Discend.h"
#include "reader/Sectorreader.h"
#include "reader/Tocdetector.h"
#include "recovery/Isoextracter.h"
#include "recovery/Pluginmgr.h"
#include "sector/Cdtrack.h"

extern TKrCdRoms CdRoms;
extern std::array<TReadSpeedList, kMaxCdRoms> ReadSpeedLists;
extern std::vector<TCdTrack> CdTracks;
extern std::string TrackDir, MultiDir, CddaDir, FileExtractDir, FileReadDir;
extern TDriveUtility DriveUtility;
extern TSectorReader SectorReader;
extern TTocDetector TocDetector;
extern TAudioRipper AudioRipper;
extern TIsoExtracter IsoExtracter;
extern TPluginManager PluginManager;

extern std::array<TDriveSetting, kMaxCdRoms> DriveSettings;
extern int32_t CurrentDriveIndex;

// [Toc]
extern bool Manual, Leadout, FastSearch;
extern int64_t LastAddress, MaxLeadout;
extern bool NoDialog;
// [ISO9660]
extern bool ReadPvd, ReadSvd, ReadTable, LittleEndian, ListOnly, DetectDir, DetectDirInReading, UsePlugin,
    UsePluginInReading;
extern int32_t TailZeroMode, TailZeroVal;
extern bool DelTailZero, DivAtErr;
// [CDDA]
extern int32_t Volume;
extern bool DeEmph;

// CurrentDriveIndex takes the index whatever happens; false (nothing copied, the engines
// keep their drive) when no drive has that index.
bool SelectDrive(int32_t index);
// Empties the track list, forgets the disc end and the last volume read or scan.
void ClearTrackList();
// Asks the running worker, whichever engine runs it, to stop.
void CancelAll();
