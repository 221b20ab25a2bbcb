#pragma once
// The parsed full TOC (READ TOC format 2) and the raw-response checks that come
// before any byte of it is used as an offset or an index.
#include <cstddef>
#include <cstdint>

#include "sector/Address.h"

constexpr size_t kRawTocSize = 2820;
constexpr size_t kRawTocHeaderSize = 4;
constexpr size_t kRawTocDescriptorSize = 11;
// Descriptors that fit in the 2820-byte answer.
constexpr size_t kRawTocMaxDescriptors = (kRawTocSize - kRawTocHeaderSize) / kRawTocDescriptorSize;

struct TDiscTocSession {
  TPackedMsf Start = 0;
  TPackedMsf LeadOut = 0;
  uint8_t FirstTrack = 0;
  uint8_t LastTrack = 0;
  uint8_t TrackCount = 0;
  uint8_t SessionNo = 0;
};

struct TDiscTocTrack {
  TPackedMsf Start = 0;
  TPackedMsf End = 0;
  TPackedMsf FullStart = 0;
  TPackedMsf FullEnd = 0;
  uint8_t TrackNo = 0;
  uint8_t SessionNo = 0;
  uint8_t Reserved[2] = {0, 0};
  bool PreEmphasis = false;
  bool CopyPermitted = false;
  bool DataTrack = false;
  bool FourChannel = false;
};

struct TDiscToc {
  uint8_t FirstSession = 0;
  uint8_t LastSession = 0;
  uint8_t SessionCount = 0;
  TDiscTocSession Sessions[100];
  uint8_t FirstTrack = 0;
  uint8_t LastTrack = 0;
  // The tracks FirstTrack..LastTrack whose start the TOC holds, in number order (one it
  // lost is left out); Tracks[TrackCount].Start holds the lead-out.
  uint8_t TrackCount = 0;
  TDiscTocTrack Tracks[100];
  TPackedMsf LeadOut = 0;
};

// Number of 11-byte descriptors a raw answer claims, or -1 when its data length
// cannot describe a full TOC that fits in `size` bytes (too short, not a whole number
// of descriptors, more than the buffer holds).
int RawTocDescriptorCount(const uint8_t* raw, size_t size);

// True when the answer has the shape of a full TOC: a sound data length, at least one
// descriptor, 1 <= first session <= last session <= 99 and every descriptor's session
// byte inside that range. A drive that ignored the format and sent another answer fails.
bool IsFullTocShape(const uint8_t* raw, size_t size);

// Converts the BCD fields of every descriptor in place, by POINT. The answer must have
// passed IsFullTocShape.
void ConvertRawTocBcd(uint8_t* raw, size_t size);

// Parses a checked raw full TOC. False, with `toc` untouched, when the answer is not a
// full TOC or names no track range (POINT A0/A1 missing or outside 1..99).
bool ParseRawToc(const uint8_t* raw, size_t size, TDiscToc& toc);
