#pragma once
#include <cstdint>

// One track of the disc; Tail is the first frame after the track.
struct TCdTrack {
  uint8_t SessionNo = 0;
  uint8_t TrackNo = 0;
  int64_t Head = 0;
  int64_t Tail = 0;
  uint8_t DataType = 0;
  uint8_t FileSystem = 0;

  int64_t SectorCount() const { return Tail > Head ? Tail - Head : 0; }
  bool operator==(const TCdTrack&) const = default;
};
