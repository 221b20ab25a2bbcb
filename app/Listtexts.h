#pragma once
// The texts of one line of the drive box and of one column of the track list.
#include <string>

#include <cstdint>

#include "drive/Krcdrom.h"
#include "recovery/Filelist.h"
#include "sector/Cdtrack.h"

// The drive name cut to two characters, the ASPI address (or blanks in its place when
// ASPI cannot reach the drive), then vendor, product and revision untrimmed so that the
// columns line up in a fixed-width font.
std::string DriveLineText(const TKrCdRom& drive, bool aspiAvailable);

// Column 0 track number, 1 session (empty for 0), 2 data type, 3 start, 4 end, 5 length,
// 6 file system; empty for any other column.
std::string TrackColumnText(const TCdTrack& track, int column);

// "##0.00" of the size in GB from 1 GiB on, in KB below 1 MiB, else in MB.
std::string SizeToText(uint64_t bytes);

// Column 0 name, 1 LBA, 2 sectors (of the entry's own sector size), 3 size, 4 bytes,
// 5 recording date (volume and found directories only), 6 how the entry was found.
std::string FileColumnText(const TExtractedFile& entry, int column);
