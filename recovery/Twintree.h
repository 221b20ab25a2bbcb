#pragma once
// A disc's two directory trees (the primary one of 8-bit names and the Joliet one) list the
// same files at the same extents. Where directories of one tree lost sectors, their twins
// in the other tree list what they lack.
#include <cstdint>

#include "recovery/Filelist.h"

// The directory or one below it lost sectors of its listing (UnreadSectors).
bool LacksEntries(const TExtractedFile& directory);
// The lost listing sectors of the directory and every one below it.
uint64_t LackingSectors(const TExtractedFile& directory);

// `mine` and `twin` are the same directory in the two trees. Each directory below `mine`
// that lost sectors gets the entries of its twin that it lacks, under the other tree's
// names, and no longer counts its lost sectors when the twin lost none. Directories pair
// up by the files they hold, those without readable files by name, then in order.
void FillFromTwin(TExtractedFile& mine, const TExtractedFile& twin);
