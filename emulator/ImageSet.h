#pragma once
// Image sets on disk: NAME.ccd (TOC entries and tracks, CloneCD layout), NAME.img
// (raw 2352-byte sectors from LBA 0), NAME.sub (96 bytes a sector, de-interleaved
// P..W) and the optional NAME.flt (drive profile, true layout and faults).
#include <filesystem>
#include <string>

#include "emulator/Disc.h"

namespace emu {

// Loads the set named by its .ccd (or any of its files). The .img and .sub are mapped,
// not read. False with a message on a missing or malformed file.
bool LoadImageSet(const std::filesystem::path& path, Disc& disc, std::string& error);

// Writes NAME.ccd and NAME.flt for a disc whose .img and .sub are written separately.
bool WriteControlFile(const std::filesystem::path& ccdPath, const Disc& disc, std::string& error);
bool WriteFaultFile(const std::filesystem::path& fltPath, const Disc& disc, std::string& error);
// Writes all four files of an in-memory disc.
bool SaveImageSet(const std::filesystem::path& ccdPath, const Disc& disc, std::string& error);

}  // namespace emu
