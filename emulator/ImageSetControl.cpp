#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>
#include <set>

#include "emulator/ImageSetInternal.h"
#include "sector/Address.h"
#include "sector/Datasector.h"

namespace emu::imageset {

namespace {

constexpr int64_t kMaxTocEntries = 9999;
constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

uint8_t Adr(const TocDescriptor& d) { return d.AdrControl >> 4; }
uint8_t Control(const TocDescriptor& d) { return d.AdrControl & 0x0F; }
int32_t MsfToLba(uint8_t m, uint8_t s, uint8_t f) { return static_cast<int32_t>(MsfToFrames(m, s, f) - kLbaOffset); }
int32_t PointLba(const TocDescriptor& d) { return MsfToLba(d.PMin, d.PSec, d.PFrame); }
bool IsTrackPoint(const TocDescriptor& d) { return Adr(d) == 1 && d.Point >= 1 && d.Point <= 99; }

bool ParseEntry(const IniSection& section, TocDescriptor& d, std::string& error) {
  FieldReader read(section, error);
  uint8_t adr = 0, control = 0;
  if (!read.Integer("Session", 0, 255, d.Session, kRequired) || !read.Integer("Point", 0, 255, d.Point, kRequired) ||
      !read.Integer("ADR", 0, 15, adr, kRequired) || !read.Integer("Control", 0, 15, control, kRequired) ||
      !read.Integer("TrackNo", 0, 255, d.Tno, kOptional) || !read.Integer("AMin", 0, 255, d.Min, kOptional) ||
      !read.Integer("ASec", 0, 255, d.Sec, kOptional) || !read.Integer("AFrame", 0, 255, d.Frame, kOptional) ||
      !read.Integer("Zero", 0, 255, d.Zero, kOptional) || !read.Integer("PMin", 0, 255, d.PMin, kRequired) ||
      !read.Integer("PSec", 0, 255, d.PSec, kRequired) || !read.Integer("PFrame", 0, 255, d.PFrame, kRequired))
    return false;
  d.AdrControl = static_cast<uint8_t>(adr << 4 | control);
  return true;
}

bool ParseTrack(const IniSection& section, TrackRecord& track, std::string& error) {
  FieldReader read(section, error);
  int64_t index0 = -1;
  bool hasIndex0 = section.Find("INDEX 0") != nullptr;
  if (!read.Integer("MODE", 0, 2, track.Mode, kRequired) ||
      !read.Integer("INDEX 1", kInt32Min, kInt32Max, track.Index1, kRequired) ||
      !read.Integer("INDEX 0", kInt32Min, kInt32Max, index0, kOptional))
    return false;
  if (hasIndex0) {
    if (index0 > track.Index1) {
      error = read.Where(*section.Find("INDEX 0")) + ": INDEX 0 lies after INDEX 1";
      return false;
    }
    track.Index0 = static_cast<int32_t>(index0);
  }
  return true;
}

int ModeOf(std::optional<SectorKind> kind, uint8_t control) {
  if (!kind) return (control & 4) ? 1 : 0;
  switch (*kind) {
    case SectorKind::Audio: return 0;
    case SectorKind::Mode1: return 1;
    default: return 2;
  }
}

// A Mode 2 track whose first sector carries the Form 2 bit in both subheader copies
// is taken as Form 2; any other Mode 2 track as Form 1.
SectorKind Mode2Kind(const SectorStore* store, int32_t lba) {
  const uint8_t* sector = store ? store->Main(lba) : nullptr;
  if (!sector) return SectorKind::Mode2Form1;
  const uint8_t first = sector[kSubmodeOffset], second = sector[kSubmodeOffset + kSubheaderSize];
  return first == second && (first & kSubmodeForm2) ? SectorKind::Mode2Form2 : SectorKind::Mode2Form1;
}

// The first LBA of the track's pregap, read from the Q sub-channel (index 0 frames of
// this track just before index 1); empty when there is none.
std::optional<int32_t> PregapStart(const SectorStore* store, int track, int32_t index1) {
  if (!store) return std::nullopt;
  uint8_t tno = static_cast<uint8_t>((track / 10) << 4 | (track % 10));
  std::optional<int32_t> start;
  for (int32_t lba = index1 - 1; lba >= 0; --lba) {
    const uint8_t* sub = store->Sub(lba);
    if (!sub) break;
    const uint8_t* q = sub + 12;
    if ((q[0] & 0x0F) != 1 || q[1] != tno || q[2] != 0) break;
    start = lba;
  }
  return start;
}

void Line(std::string& out, const std::string& text) {
  out += text;
  out += "\r\n";
}

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", value);
  return text;
}

}  // namespace

namespace {

// The sections of a control file by their role; numbered ones in order of number.
struct ControlSections {
  const IniSection* Disc = nullptr;
  std::map<int, const IniSection*> Entries;
  std::map<int, const IniSection*> Tracks;
};

std::string AtLine(const IniSection& section) { return "line " + std::to_string(section.Line) + ": "; }

bool SortSections(const std::vector<IniSection>& sections, ControlSections& sorted, std::string& error) {
  for (const IniSection& section : sections) {
    int number = 0;
    if (section.Name == "disc") {
      sorted.Disc = &section;
    } else if (NumberedSection(section.Name, "entry", number)) {
      if (!sorted.Entries.emplace(number, &section).second) {
        error = AtLine(section) + "[Entry " + std::to_string(number) + "] appears twice";
        return false;
      }
    } else if (NumberedSection(section.Name, "track", number)) {
      if (number < 1 || number > 99) {
        error = AtLine(section) + "track number " + std::to_string(number) + " is not 1..99";
        return false;
      }
      if (!sorted.Tracks.emplace(number, &section).second) {
        error = AtLine(section) + "[TRACK " + std::to_string(number) + "] appears twice";
        return false;
      }
    }
  }
  if (!sorted.Disc) error = "no [Disc] section";
  return sorted.Disc != nullptr;
}

// [Disc] must count the [Entry N] sections exactly and describe unscrambled data.
bool CheckDiscSection(const ControlSections& sorted, std::string& error) {
  FieldReader readDisc(*sorted.Disc, error);
  int64_t tocEntries = 0;
  bool scrambled = false;
  if (!readDisc.Integer("TocEntries", 0, kMaxTocEntries, tocEntries, kRequired) ||
      !readDisc.Flag("DataTracksScrambled", scrambled))
    return false;
  if (scrambled) {
    error = AtLine(*sorted.Disc) + "scrambled data tracks (DataTracksScrambled=1) are not supported";
    return false;
  }
  const auto& entries = sorted.Entries;
  const bool beyond = !entries.empty() && entries.rbegin()->first >= tocEntries;
  if (static_cast<int64_t>(entries.size()) != tocEntries || beyond) {
    error = "[Disc] TocEntries=" + std::to_string(tocEntries) + " but the file has " + std::to_string(entries.size()) +
            " [Entry N] sections";
    if (beyond) error += " (numbered up to " + std::to_string(entries.rbegin()->first) + ")";
    return false;
  }
  return true;
}

}  // namespace

bool ParseControlFile(std::string_view text, ControlData& data, std::string& error) {
  std::vector<IniSection> sections;
  if (!ParseIni(text, sections, error)) return false;
  ControlSections sorted;
  if (!SortSections(sections, sorted, error) || !CheckDiscSection(sorted, error)) return false;

  ControlData result;
  for (const auto& [number, section] : sorted.Entries) {
    TocDescriptor descriptor;
    if (!ParseEntry(*section, descriptor, error)) return false;
    result.Toc.push_back(descriptor);
  }
  for (const auto& [number, section] : sorted.Tracks) {
    TrackRecord track;
    track.Number = number;
    if (!ParseTrack(*section, track, error)) return false;
    result.Tracks.push_back(track);
  }
  data = std::move(result);
  return true;
}

std::vector<Extent> DeriveLayout(const ControlData& control, const SectorStore* store) {
  std::vector<TrackRecord> tracks = control.Tracks;
  std::stable_sort(tracks.begin(), tracks.end(), [](const TrackRecord& a, const TrackRecord& b) {
    return a.Index0.value_or(a.Index1) < b.Index0.value_or(b.Index1);
  });
  const int32_t imageEnd = store ? store->SectorCount() : 0;

  std::vector<Extent> layout;
  int session = 1;
  for (size_t i = 0; i < tracks.size(); ++i) {
    const TrackRecord& track = tracks[i];
    uint8_t trackControl = track.Mode == 0 ? 0 : 4;
    for (const TocDescriptor& d : control.Toc)  // later duplicates win
      if (IsTrackPoint(d) && d.Point == track.Number) {
        session = d.Session;
        trackControl = Control(d);
      }
    std::optional<int32_t> leadOut;
    for (const TocDescriptor& d : control.Toc)
      if (Adr(d) == 1 && d.Point == 0xA2 && d.Session == session) leadOut = PointLba(d);

    const int32_t start = std::max(track.Index0.value_or(track.Index1), layout.empty() ? std::numeric_limits<int32_t>::min() : layout.back().EndLba);
    int32_t end = imageEnd;
    bool bounded = false;
    auto bound = [&](int32_t candidate) {
      if (candidate > start && (!bounded || candidate < end)) {
        end = candidate;
        bounded = true;
      }
    };
    if (i + 1 < tracks.size()) bound(tracks[i + 1].Index0.value_or(tracks[i + 1].Index1));
    if (leadOut) bound(*leadOut);
    end = std::min(end, imageEnd);
    if (end <= start) continue;

    SectorKind kind = track.Mode == 0   ? SectorKind::Audio
                      : track.Mode == 1 ? SectorKind::Mode1
                                        : Mode2Kind(store, track.Index1);
    layout.push_back(Extent{start, end, kind, trackControl});
  }
  return layout;
}

std::string FormatControlFile(const Disc& disc) {
  const SectorStore* store = disc.Store.get();
  std::map<int, const TocDescriptor*> trackPoints;  // later duplicates win
  std::set<int> sessions;
  for (const TocDescriptor& d : disc.Toc) {
    sessions.insert(d.Session);
    if (IsTrackPoint(d)) trackPoints[d.Point] = &d;
  }

  std::map<int, int> trackModes;
  for (const auto& [number, d] : trackPoints)
    trackModes[number] = ModeOf(disc.KindAt(PointLba(*d)), Control(*d));

  std::string out;
  Line(out, "[CloneCD]");
  Line(out, "Version=3");
  Line(out, "[Disc]");
  Line(out, "TocEntries=" + std::to_string(disc.Toc.size()));
  Line(out, "Sessions=" + std::to_string(sessions.size()));
  Line(out, "DataTracksScrambled=0");
  Line(out, "CDTextLength=0");
  for (int session : sessions) {
    int mode = 0;
    for (const auto& [number, d] : trackPoints)
      if (d->Session == session) {
        mode = trackModes[number];
        break;
      }
    Line(out, "[Session " + std::to_string(session) + "]");
    Line(out, "PreGapMode=" + std::to_string(mode));
    Line(out, "PreGapSubC=0");
  }
  for (size_t i = 0; i < disc.Toc.size(); ++i) {
    const TocDescriptor& d = disc.Toc[i];
    Line(out, "[Entry " + std::to_string(i) + "]");
    Line(out, "Session=" + std::to_string(d.Session));
    Line(out, "Point=" + Hex(d.Point));
    Line(out, "ADR=" + Hex(Adr(d)));
    Line(out, "Control=" + Hex(Control(d)));
    Line(out, "TrackNo=" + std::to_string(d.Tno));
    Line(out, "AMin=" + std::to_string(d.Min));
    Line(out, "ASec=" + std::to_string(d.Sec));
    Line(out, "AFrame=" + std::to_string(d.Frame));
    Line(out, "ALBA=" + std::to_string(MsfToLba(d.Min, d.Sec, d.Frame)));
    Line(out, "Zero=" + std::to_string(d.Zero));
    Line(out, "PMin=" + std::to_string(d.PMin));
    Line(out, "PSec=" + std::to_string(d.PSec));
    Line(out, "PFrame=" + std::to_string(d.PFrame));
    Line(out, "PLBA=" + std::to_string(PointLba(d)));
  }
  for (const auto& [number, d] : trackPoints) {
    const int32_t index1 = PointLba(*d);
    Line(out, "[TRACK " + std::to_string(number) + "]");
    Line(out, "MODE=" + std::to_string(trackModes[number]));
    if (auto index0 = PregapStart(store, number, index1))
      Line(out, "INDEX 0=" + std::to_string(*index0));
    Line(out, "INDEX 1=" + std::to_string(index1));
  }
  return out;
}

}  // namespace emu::imageset
