#pragma once
// Track-list files (.trk): the track list of a disc saved so that it can be corrected by
// hand and used again, also for a disc whose TOC cannot be read.
#include <cstdint>
#include <string>
#include <vector>

#include "sector/Address.h"
#include "sector/Cdtrack.h"

// False when the file could not be written (the old file is then untouched).
bool SaveTrackListFile(const std::string& fileName, const std::vector<TCdTrack>& tracks);
// Appends the file's tracks in file order. Addresses are held to 0 <= Head <= Tail <=
// kMaxTrackAddress, so no track has a negative length. False when the file could not be
// read; the tracks read before stay.
bool LoadTrackListFile(const std::string& fileName, std::vector<TCdTrack>& tracks);

constexpr int64_t kMaxTrackAddress = kLastFrame;
constexpr int64_t kMaxTrackListEntries = 1000;

// The program's track list (CdTracks) to a file.
bool SaveTrackList(const std::string& fileName);
// Replaces the program's track list with the file's. The disc end is taken from the TOC
// of the drive in the sector reader when `driveSelected` (0 when it has none), so that
// sectors below the lead-out are read as data-area sectors again.
bool LoadTrackList(const std::string& fileName, bool driveSelected);
