#include "drive/Disctoc.h"

#include <algorithm>
#include <array>

#include "sector/Bytes.h"

namespace {

constexpr uint8_t kPointFirstTrack = 0xA0;
constexpr uint8_t kPointLastTrack = 0xA1;
constexpr uint8_t kPointLeadOut = 0xA2;
constexpr uint8_t kPointNextArea = 0xB0;
constexpr uint8_t kPointFirstLeadIn = 0xC0;

struct TRawDescriptor {
  uint8_t Session, AdrControl, Tno, Point, Min, Sec, Frame, Zero, PMin, PSec, PFrame;
  uint8_t Adr() const { return AdrControl >> 4; }
  uint8_t Control() const { return AdrControl & 0x0F; }
  TPackedMsf PMsf() const { return MakeMsf(PMin, PSec, PFrame); }
};

TRawDescriptor DescriptorAt(const uint8_t* raw, size_t index) {
  const uint8_t* d = raw + kRawTocHeaderSize + index * kRawTocDescriptorSize;
  return {d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8], d[9], d[10]};
}

void BcdInPlace(uint8_t& b) { b = BcdToBin(b); }

}  // namespace

int RawTocDescriptorCount(const uint8_t* raw, size_t size) {
  if (raw == nullptr || size < kRawTocHeaderSize) return -1;
  const size_t dataLength = GetBe16(raw);
  if (dataLength < 2 || (dataLength - 2) % kRawTocDescriptorSize != 0) return -1;
  const size_t count = (dataLength - 2) / kRawTocDescriptorSize;
  const size_t room = (size - kRawTocHeaderSize) / kRawTocDescriptorSize;
  if (count > room) return -1;
  return static_cast<int>(count);
}

bool IsFullTocShape(const uint8_t* raw, size_t size) {
  const int count = RawTocDescriptorCount(raw, size);
  if (count <= 0) return false;
  const uint8_t first = raw[2];
  const uint8_t last = raw[3];
  if (first < 1 || first > last || last > 99) return false;
  for (int i = 0; i < count; ++i) {
    const uint8_t session = DescriptorAt(raw, static_cast<size_t>(i)).Session;
    if (session < first || session > last) return false;
  }
  return true;
}

void ConvertRawTocBcd(uint8_t* raw, size_t size) {
  const int count = RawTocDescriptorCount(raw, size);
  for (int i = 0; i < count; ++i) {
    uint8_t* d = raw + kRawTocHeaderSize + static_cast<size_t>(i) * kRawTocDescriptorSize;
    uint8_t& point = d[3];
    switch (point) {
      case kPointFirstTrack:
      case kPointLastTrack:
        BcdInPlace(d[8]);
        break;
      case kPointLeadOut:
      case kPointFirstLeadIn:
        BcdInPlace(d[8]), BcdInPlace(d[9]), BcdInPlace(d[10]);
        break;
      case kPointNextArea:
        BcdInPlace(d[4]), BcdInPlace(d[5]), BcdInPlace(d[6]);
        BcdInPlace(d[8]), BcdInPlace(d[9]), BcdInPlace(d[10]);
        break;
      default:
        BcdInPlace(point);
        BcdInPlace(d[8]), BcdInPlace(d[9]), BcdInPlace(d[10]);
        break;
    }
  }
}

namespace {

// What the descriptors say, gathered by track and session number before the tables
// are built. Indexed by track number 1..99; entry 100 stays 0 so that "start of the
// next track" of track 99 is defined.
struct TTrackInfo {
  TPackedMsf Start = 0;
  uint8_t Control = 0;
  uint8_t Session = 0;
  bool FromAdr1 = false;
  bool Held = false;  // a descriptor gave its start
};
struct TSessionInfo {
  uint8_t FirstTrack = 0;
  uint8_t LastTrack = 0;
  TPackedMsf LeadOut = 0;
};
struct TCollected {
  std::array<TTrackInfo, 101> Tracks{};
  std::array<TSessionInfo, 100> Sessions{};  // by session number 1..99
  uint8_t FirstTrack = 255;
  uint8_t LastTrack = 0;
};

void CollectTrack(const TRawDescriptor& d, TTrackInfo& track) {
  track.Held = true;
  // Mode-5 pointers share POINT numbers with tracks; they never replace a start that a
  // mode-1 descriptor gave.
  if (d.Adr() == 1) {
    track.Start = d.PMsf();
    track.Session = d.Session;
    track.Control = d.Control();
    track.FromAdr1 = true;
  } else if (!track.FromAdr1) {
    track.Start = d.PMsf();
    track.Session = d.Session;
  }
}

void Collect(const uint8_t* raw, size_t count, TCollected& c) {
  for (size_t i = 0; i < count; ++i) {
    const TRawDescriptor d = DescriptorAt(raw, i);
    TSessionInfo& session = c.Sessions[d.Session];  // 1..99, checked by the shape test
    if (d.Point == kPointFirstTrack) {
      c.FirstTrack = std::min(c.FirstTrack, d.PMin);
      session.FirstTrack = d.PMin;
    } else if (d.Point == kPointLastTrack) {
      c.LastTrack = std::max(c.LastTrack, d.PMin);
      session.LastTrack = d.PMin;
    } else if (d.Point == kPointLeadOut) {
      session.LeadOut = d.PMsf();
    } else if (d.Point >= 1 && d.Point <= 99) {
      CollectTrack(d, c.Tracks[d.Point]);
    }
  }
}

// Where each track of the disc range ends, by number: at the next track's start, or at
// its session's lead-out for a session's last track.
std::array<TPackedMsf, 101> TrackEnds(const TCollected& c, const TDiscToc& result) {
  std::array<TPackedMsf, 101> ends{};
  for (unsigned k = c.FirstTrack; k <= c.LastTrack; ++k) ends[k] = c.Tracks[k + 1].Start;
  for (unsigned s = 0; s < result.SessionCount; ++s) {
    const TSessionInfo& info = c.Sessions[result.FirstSession + s];
    // A session that names no usable last track cannot end one.
    if (info.LastTrack >= c.FirstTrack && info.LastTrack <= c.LastTrack) ends[info.LastTrack] = info.LeadOut;
  }
  return ends;
}

// One entry per track whose start the TOC holds, in number order: a track it lost has no
// start to list.
void FillTracks(const TCollected& c, const std::array<TPackedMsf, 101>& ends, TDiscToc& result) {
  unsigned t = 0;
  for (unsigned k = c.FirstTrack; k <= c.LastTrack; ++k) {
    if (!c.Tracks[k].Held) continue;
    TDiscTocTrack& entry = result.Tracks[t++];
    entry.Start = entry.FullStart = c.Tracks[k].Start;
    entry.End = entry.FullEnd = ends[k];
    entry.TrackNo = static_cast<uint8_t>(k);
    entry.SessionNo = c.Tracks[k].Session;
    const uint8_t control = c.Tracks[k].Control;
    entry.PreEmphasis = (control & 0x01) != 0;
    entry.CopyPermitted = (control & 0x02) != 0;
    entry.DataTrack = (control & 0x04) != 0;
    entry.FourChannel = (control & 0x08) != 0;
  }
  result.TrackCount = static_cast<uint8_t>(t);
}

void FillSessions(const TCollected& c, TDiscToc& result) {
  auto inRange = [&](uint8_t track) { return track >= c.FirstTrack && track <= c.LastTrack; };
  for (unsigned s = 0; s < result.SessionCount; ++s) {
    const unsigned number = result.FirstSession + s;
    const TSessionInfo& info = c.Sessions[number];
    TDiscTocSession& entry = result.Sessions[s];
    entry.SessionNo = static_cast<uint8_t>(number);
    entry.FirstTrack = info.FirstTrack;
    entry.LastTrack = info.LastTrack;
    entry.LeadOut = info.LeadOut;
    if (inRange(info.FirstTrack)) entry.Start = c.Tracks[info.FirstTrack].Start;
    if (inRange(info.FirstTrack) && inRange(info.LastTrack) && info.FirstTrack <= info.LastTrack)
      entry.TrackCount = static_cast<uint8_t>(info.LastTrack - info.FirstTrack + 1);
  }
}

}  // namespace

bool ParseRawToc(const uint8_t* raw, size_t size, TDiscToc& toc) {
  if (!IsFullTocShape(raw, size)) return false;
  TCollected c;
  Collect(raw, static_cast<size_t>(RawTocDescriptorCount(raw, size)), c);
  if (c.FirstTrack < 1 || c.FirstTrack > c.LastTrack || c.LastTrack > 99) return false;

  TDiscToc result;
  result.FirstSession = raw[2];
  result.LastSession = raw[3];
  result.SessionCount = static_cast<uint8_t>(result.LastSession - result.FirstSession + 1);
  result.FirstTrack = c.FirstTrack;
  result.LastTrack = c.LastTrack;
  const auto ends = TrackEnds(c, result);
  FillTracks(c, ends, result);
  FillSessions(c, result);

  if (result.TrackCount > 0) result.Tracks[0].FullStart = MakeMsf(0, 0, 0);
  result.LeadOut = ends[c.LastTrack];
  result.Tracks[result.TrackCount].Start = result.LeadOut;
  toc = result;
  return true;
}
