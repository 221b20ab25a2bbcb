// Lays a disc out from its description and derives what the drive reports: the full
// TOC (with chosen damage) and the true recorded layout.
#include "emulator/DiscBuilder.h"

#include <algorithm>

#include "sector/Address.h"
#include "sector/Datasector.h"

namespace emu {

namespace {

constexpr uint8_t kControlData = 0x04;
constexpr uint8_t kControlEmphasis = 0x01;
constexpr int kMaxTracks = 99;
constexpr int32_t kMaxLeadOutLba = 359849;  // 79:59:74, the outermost lead-out of an 80-minute disc

bool IsAudio(SectorKind kind) { return kind == SectorKind::Audio; }
bool IsMode2(SectorKind kind) {
  return kind == SectorKind::Mode2Form1 || kind == SectorKind::Mode2Form2 || kind == SectorKind::Mode2Formless;
}

bool Contains(const std::vector<int>& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

void SetMsf(uint8_t& m, uint8_t& s, uint8_t& f, int64_t frames) {
  const TPackedMsf msf = FramesToMsf(frames);
  m = PackedMsfMinute(msf);
  s = PackedMsfSecond(msf);
  f = PackedMsfFrame(msf);
}

TocDescriptor Entry(int session, uint8_t adr, uint8_t control, uint8_t point) {
  TocDescriptor d;
  d.Session = static_cast<uint8_t>(session);
  d.AdrControl = static_cast<uint8_t>(adr << 4 | (control & 0x0F));
  d.Point = point;
  return d;
}

bool SizeTrack(const TrackSpec& track, int number, TrackLayout& out, std::string& error) {
  const std::string where = "track " + std::to_string(number) + " (" + track.File.string() + ")";
  std::error_code ec;
  if (track.File.empty()) {
    error = "track " + std::to_string(number) + ": no input file";
    return false;
  }
  if (!std::filesystem::is_regular_file(track.File, ec)) {
    error = where + ": no such file";
    return false;
  }
  uint64_t size = std::filesystem::file_size(track.File, ec);
  if (ec) {
    error = where + ": " + ec.message();
    return false;
  }
  out.DataOffset = 0;
  out.DataBytes = size;
  if (IsAudio(track.Kind)) {
    if (track.Audio == AudioSource::Wav) {
      if (!ReadWavPayload(track.File, out.DataOffset, out.DataBytes, error)) return false;
    } else if (size % 4 != 0) {
      error = where + ": raw PCM is not a whole number of 16-bit stereo samples";
      return false;
    }
  }
  const uint64_t unit = SectorPayloadBytes(track.Kind);
  if (out.DataBytes == 0) {
    error = where + ": the input holds no data";
    return false;
  }
  const uint64_t sectors = (out.DataBytes + unit - 1) / unit;
  if (sectors > static_cast<uint64_t>(kMaxLeadOutLba)) {
    error = where + ": too large for a CD";
    return false;
  }
  out.DataSectors = static_cast<int32_t>(sectors);
  return true;
}

}  // namespace

uint32_t SectorPayloadBytes(SectorKind kind) {
  switch (kind) {
    case SectorKind::Mode1:
    case SectorKind::Mode2Form1: return kUserDataSize;
    case SectorKind::Mode2Form2: return kForm2UserSize;
    case SectorKind::Mode2Formless: return kFormlessUserSize;
    case SectorKind::Audio: return kRawSectorSize;
  }
  return kRawSectorSize;
}

namespace {

// Where the next session's first track starts: after the lead-out, the lead-in and the
// first track's pregap.
int32_t NextSessionStart(const SessionLayout& previous) {
  return previous.LeadOutLba + previous.LeadOutFrames + kLeadInFrames + kPregapFrames;
}

bool PlanPregap(const DiscSpec& spec, const TrackSpec& trackSpec, bool firstOfSession, bool laterSession,
                const DiscLayout& layout, int32_t lba, TrackLayout& tl, std::string& error) {
  if (firstOfSession) {
    if (trackSpec.PregapFrames >= 0) {
      error = "track " + std::to_string(tl.Number) +
              ": the first track of a session has the standard 150-frame pregap; it cannot be changed";
      return false;
    }
    // The disc's first pregap lies before LBA 0, outside any image.
    tl.PregapLba = lba - kPregapFrames;
    tl.PregapRecorded = laterSession && spec.RecordLeadAreas;
    tl.StartLba = lba;
    return true;
  }
  const TrackLayout& prev = layout.Tracks.back();
  int32_t pregap = trackSpec.PregapFrames;
  if (pregap < 0) pregap = IsAudio(prev.Kind) != IsAudio(trackSpec.Kind) ? kPregapFrames : 0;
  if (pregap > kMaxLeadOutLba) {
    error = "track " + std::to_string(tl.Number) + ": pregap too long";
    return false;
  }
  tl.PregapLba = lba;
  tl.PregapRecorded = pregap > 0;
  tl.StartLba = lba + pregap;
  return true;
}

bool PlanTrack(const DiscSpec& spec, size_t s, size_t t, DiscLayout& layout, int32_t& lba, std::string& error) {
  const TrackSpec& trackSpec = spec.Sessions[s].Tracks[t];
  TrackLayout tl;
  tl.Number = static_cast<int>(layout.Tracks.size()) + 1;
  if (tl.Number > kMaxTracks) {
    error = "a disc holds at most 99 tracks";
    return false;
  }
  tl.Session = static_cast<int>(s + 1);
  tl.Kind = trackSpec.Kind;
  tl.Control = IsAudio(trackSpec.Kind) ? (trackSpec.PreEmphasis ? kControlEmphasis : 0) : kControlData;
  if (trackSpec.PreEmphasis && !IsAudio(trackSpec.Kind)) {
    error = "track " + std::to_string(tl.Number) + ": pre-emphasis applies to audio tracks only";
    return false;
  }
  if (!SizeTrack(trackSpec, tl.Number, tl, error)) return false;
  if (!PlanPregap(spec, trackSpec, t == 0, s > 0, layout, lba, tl, error)) return false;
  tl.EndLba = tl.StartLba + tl.DataSectors;
  if (tl.EndLba > kMaxLeadOutLba) {
    error = "the disc is too large: track " + std::to_string(tl.Number) + " ends beyond 79:59:74";
    return false;
  }
  lba = tl.EndLba;
  layout.Tracks.push_back(tl);
  return true;
}

bool LayOut(const DiscSpec& spec, DiscLayout& layout, std::string& error) {
  int32_t lba = 0;
  for (size_t s = 0; s < spec.Sessions.size(); ++s) {
    const int sessionNo = static_cast<int>(s + 1);
    if (spec.Sessions[s].Tracks.empty()) {
      error = "session " + std::to_string(sessionNo) + " has no track";
      return false;
    }
    if (s > 0) lba = NextSessionStart(layout.Sessions.back());
    SessionLayout sl;
    sl.Number = sessionNo;
    sl.FirstTrack = static_cast<int>(layout.Tracks.size());
    for (size_t t = 0; t < spec.Sessions[s].Tracks.size(); ++t)
      if (!PlanTrack(spec, s, t, layout, lba, error)) return false;
    sl.LastTrack = static_cast<int>(layout.Tracks.size()) - 1;
    sl.LeadOutLba = lba;
    sl.LeadOutFrames = s == 0 ? kFirstLeadOutFrames : kLaterLeadOutFrames;
    layout.Sessions.push_back(sl);
  }
  layout.ImageSectors = layout.Sessions.back().LeadOutLba;
  return true;
}

// Damage must name parts of this disc.
bool ValidateDamage(const DiscSpec& spec, const DiscLayout& layout, std::string& error) {
  const int sessions = static_cast<int>(layout.Sessions.size());
  for (int s : spec.Toc.DroppedSessions)
    if (s < 1 || s > sessions) {
      error = "cannot drop session " + std::to_string(s) + " from the TOC: the disc has " +
              std::to_string(sessions) + " session(s)";
      return false;
    }
  for (int s : spec.Toc.DroppedLeadOuts)
    if (s < 1 || s > sessions) {
      error = "cannot drop the lead-out of session " + std::to_string(s) + ": no such session";
      return false;
    }
  for (const auto& moved : spec.Toc.MovedLeadOuts)
    if (moved.Session < 1 || moved.Session > sessions || moved.Lba < 0 || moved.Lba > kMaxLeadOutLba) {
      error = "cannot move the lead-out of session " + std::to_string(moved.Session) + " to LBA " +
              std::to_string(moved.Lba);
      return false;
    }
  for (const QDamage& q : spec.QDamages)
    if (q.FirstLba < 0 || q.EndLba <= q.FirstLba || q.EndLba > layout.ImageSectors) {
      error = "damaged Q frames " + std::to_string(q.FirstLba) + "-" + std::to_string(q.EndLba - 1) +
              " lie outside the image (LBA 0-" + std::to_string(layout.ImageSectors - 1) + ")";
      return false;
    }
  return true;
}

}  // namespace

bool PlanDisc(const DiscSpec& spec, DiscLayout& layout, std::string& error) {
  layout = DiscLayout{};
  if (spec.Sessions.empty()) {
    error = "the disc has no session";
    return false;
  }
  return LayOut(spec, layout, error) && ValidateDamage(spec, layout, error);
}

std::vector<TocDescriptor> SessionToc(const DiscLayout& layout, size_t s, const TocDamage& damage) {
  std::vector<TocDescriptor> toc;
  const SessionLayout& sl = layout.Sessions[s];
  if (Contains(damage.DroppedSessions, sl.Number)) return toc;
  const TrackLayout& first = layout.Tracks[sl.FirstTrack];
  const TrackLayout& last = layout.Tracks[sl.LastTrack];
  bool xa = false;
  for (int t = sl.FirstTrack; t <= sl.LastTrack; ++t) xa = xa || IsMode2(layout.Tracks[t].Kind);

  TocDescriptor a0 = Entry(sl.Number, 1, first.Control, 0xA0);
  a0.PMin = static_cast<uint8_t>(first.Number);
  a0.PSec = xa ? 0x20 : 0x00;
  toc.push_back(a0);
  TocDescriptor a1 = Entry(sl.Number, 1, last.Control, 0xA1);
  a1.PMin = static_cast<uint8_t>(last.Number);
  toc.push_back(a1);
  if (!Contains(damage.DroppedLeadOuts, sl.Number)) {
    int32_t leadOut = sl.LeadOutLba;
    for (const auto& moved : damage.MovedLeadOuts)
      if (moved.Session == sl.Number) leadOut = moved.Lba;
    TocDescriptor a2 = Entry(sl.Number, 1, last.Control, 0xA2);
    SetMsf(a2.PMin, a2.PSec, a2.PFrame, LbaToFrames(leadOut));
    toc.push_back(a2);
  }
  for (int t = sl.FirstTrack; t <= sl.LastTrack; ++t) {
    const TrackLayout& track = layout.Tracks[t];
    TocDescriptor d = Entry(sl.Number, 1, track.Control, static_cast<uint8_t>(track.Number));
    SetMsf(d.PMin, d.PSec, d.PFrame, LbaToFrames(track.StartLba));
    toc.push_back(d);
  }
  if (s + 1 < layout.Sessions.size()) {
    // Next program area (the next session's first pregap) and the outermost lead-out.
    const TrackLayout& next = layout.Tracks[layout.Sessions[s + 1].FirstTrack];
    TocDescriptor b0 = Entry(sl.Number, 5, first.Control, 0xB0);
    SetMsf(b0.Min, b0.Sec, b0.Frame, LbaToFrames(next.PregapLba));
    SetMsf(b0.PMin, b0.PSec, b0.PFrame, LbaToFrames(kMaxLeadOutLba));
    toc.push_back(b0);
  }
  if (layout.Sessions.size() > 1 && s == 0) {
    // First lead-in of the disc, as a recordable disc's ATIP gives it.
    TocDescriptor c0 = Entry(sl.Number, 5, first.Control, 0xC0);
    c0.PMin = 97;
    c0.PSec = 27;
    c0.PFrame = 21;
    toc.push_back(c0);
  }
  return toc;
}

Disc DescribeDisc(const DiscSpec& spec, const DiscLayout& layout) {
  Disc disc;
  disc.Profile = spec.Profile;
  disc.Faults = spec.Faults;
  for (const TrackLayout& t : layout.Tracks)
    disc.Layout.push_back({t.PregapRecorded ? t.PregapLba : t.StartLba, t.EndLba, t.Kind, t.Control});
  for (size_t s = 0; s < layout.Sessions.size(); ++s) {
    const std::vector<TocDescriptor> entries = SessionToc(layout, s, spec.Toc);
    disc.Toc.insert(disc.Toc.end(), entries.begin(), entries.end());
  }
  // The header reports the sessions the TOC still holds.
  disc.FirstSession = 1;
  disc.LastSession = 1;
  if (!disc.Toc.empty()) {
    auto [lo, hi] = std::minmax_element(disc.Toc.begin(), disc.Toc.end(),
                                        [](const TocDescriptor& a, const TocDescriptor& b) { return a.Session < b.Session; });
    disc.FirstSession = lo->Session;
    disc.LastSession = hi->Session;
  }
  return disc;
}

}  // namespace emu
