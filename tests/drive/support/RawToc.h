#pragma once
// Full-TOC answers written byte by byte, as a drive sends them.
#include <cstdint>
#include <vector>

#include "drive/Disctoc.h"

class RawTocWriter {
 public:
  RawTocWriter(uint8_t firstSession, uint8_t lastSession) : FirstSession(firstSession), LastSession(lastSession) {}

  RawTocWriter& Add(uint8_t session, uint8_t adr, uint8_t control, uint8_t point, uint8_t pmin, uint8_t psec,
                    uint8_t pframe, uint8_t min = 0, uint8_t sec = 0, uint8_t frame = 0) {
    Descriptors.insert(Descriptors.end(), {session, static_cast<uint8_t>((adr << 4) | control), 0, point, min, sec,
                                           frame, 0, pmin, psec, pframe});
    return *this;
  }
  // A session of tracks first..last starting at the given frames, with A0, A1, A2.
  RawTocWriter& AddSession(uint8_t session, uint8_t first, const std::vector<int64_t>& starts, int64_t leadOut,
                           uint8_t control = 0);

  // The 2820-byte answer; dataLength overrides the length field when given.
  std::vector<uint8_t> Bytes(int dataLength = -1) const;

 private:
  uint8_t FirstSession, LastSession;
  std::vector<uint8_t> Descriptors;
};

inline RawTocWriter& RawTocWriter::AddSession(uint8_t session, uint8_t first, const std::vector<int64_t>& starts,
                                              int64_t leadOut, uint8_t control) {
  const uint8_t last = static_cast<uint8_t>(first + starts.size() - 1);
  Add(session, 1, control, 0xA0, first, 0, 0);
  Add(session, 1, control, 0xA1, last, 0, 0);
  const TPackedMsf lo = FramesToMsf(leadOut);
  Add(session, 1, control, 0xA2, PackedMsfMinute(lo), PackedMsfSecond(lo), PackedMsfFrame(lo));
  for (size_t i = 0; i < starts.size(); ++i) {
    const TPackedMsf m = FramesToMsf(starts[i]);
    Add(session, 1, control, static_cast<uint8_t>(first + i), PackedMsfMinute(m), PackedMsfSecond(m),
        PackedMsfFrame(m));
  }
  return *this;
}

inline std::vector<uint8_t> RawTocWriter::Bytes(int dataLength) const {
  std::vector<uint8_t> raw(kRawTocSize, 0);
  const int length = dataLength >= 0 ? dataLength : static_cast<int>(Descriptors.size() + 2);
  raw[0] = static_cast<uint8_t>(length >> 8);
  raw[1] = static_cast<uint8_t>(length);
  raw[2] = FirstSession;
  raw[3] = LastSession;
  for (size_t i = 0; i < Descriptors.size() && 4 + i < raw.size(); ++i) raw[4 + i] = Descriptors[i];
  return raw;
}
