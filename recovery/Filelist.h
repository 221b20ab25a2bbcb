#pragma once
// The tree of extracted files: every volume read, found directory, carved file and data
// run of the recovery scan becomes a node below the extracter's root. Nodes are values;
// copying one copies its whole subtree.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "recovery/Iso9660ex.h"

// Where a node of the tree came from.
enum TNodeKind : uint8_t {
  nkVolume = 0,        // the volume's directory tree
  nkFound = 1,         // a directory sector the scan found (file or directory)
  nkCarved = 2,        // carved by a plug-in
  nkZeroTailRun = 3,   // a data run ended at a zero tail
  nkReadErrorRun = 4,  // a data run ended by a read error
  nkHitRun = 5,        // a data run ended where a directory or a carved file began
};

struct TExtractedFile {
  uint8_t Kind = nkVolume;  // a TNodeKind
  TKrDirRecord DirRecord;   // nkVolume and nkFound; all zero otherwise
  int64_t Start = 0;       // frame address of the first sector
  uint32_t Size = 0;
  uint32_t TailZeroCount = 0;  // nkZeroTailRun
  std::string TypeName;        // nkCarved
  int ReadedIndex = 0;         // nkFound files: 1-based index into the scan's written files
  std::string Name;            // always a leaf name, never a path
  // The sector geometry of the node's track (DataType code; 0 unknown) and the first frame
  // after that track, so a copy reads it as it was listed whatever was read since.
  uint8_t SectorMode = 0;
  int64_t TrackEnd = 0;
  // nkFound files: where a later directory listing of the scan placed the same extent
  // (shown beside the name); empty otherwise.
  std::string FoundPath;
  // Sectors that could not be read: a file holds zeros in their place, a directory lacks
  // the entries they list.
  uint32_t UnreadSectors = 0;
  std::vector<TExtractedFile> Children;
};

// A file the recovery scan wrote from a directory listing, so that the same extent is
// written once.
struct TReadedFile {
  uint32_t Extent = 0;
  uint32_t DataLength = 0;
  std::string Name;   // the leaf name the disc gives it
  bool Ucs2 = false;  // written under the name a directory with UCS-2 names gives it
  std::string Path;
  std::string FoundPath;
  // Where on the disc the record listing it lies, by name encoding (8-bit, UCS-2); 0 while
  // no listing of that encoding was met.
  std::array<uint64_t, 2> ListedAt{};
  uint32_t UnreadSectors = 0;  // written as zeros
};
