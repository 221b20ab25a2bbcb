// READ TOC/PMA/ATIP: the full TOC (format 2) in its MMC and legacy forms, and the
// format-0 answer some drives give to the legacy form.
#include <algorithm>
#include <map>
#include <vector>

#include "emulator/EmulatedDriveState.h"
#include "sector/Address.h"
#include "sector/Bytes.h"

namespace emu::detail {
namespace {

// Numbers above 99 (points A0..C0, the lead-out track) stay as they are.
uint8_t Bcd(uint8_t v) { return v <= 99 ? BinToBcd(v) : v; }

TocDescriptor ToBcd(TocDescriptor t) {
  const bool trackPoint = t.Point >= 1 && t.Point <= 99;
  const bool trackRange = t.Point == 0xA0 || t.Point == 0xA1;
  if (trackPoint) t.Point = Bcd(t.Point);
  t.Min = Bcd(t.Min);
  t.Sec = Bcd(t.Sec);
  t.Frame = Bcd(t.Frame);
  t.PMin = Bcd(t.PMin);
  if (!trackRange) {  // A0/A1 carry the disc type and zero there, not a time
    t.PSec = Bcd(t.PSec);
    t.PFrame = Bcd(t.PFrame);
  }
  return t;
}

void Put16(uint8_t* p, size_t v) { PutBe16(p, static_cast<uint16_t>(std::min<size_t>(v, 0xFFFF))); }

std::vector<uint8_t> FullToc(const Disc& d, uint8_t fromSession) {
  std::vector<uint8_t> r(4, 0);
  r[2] = d.FirstSession;
  r[3] = d.LastSession;
  for (TocDescriptor t : d.Toc) {
    if (t.Session < fromSession) continue;
    if (d.Profile.BcdToc) t = ToBcd(t);
    r.insert(r.end(), {t.Session, t.AdrControl, t.Tno, t.Point, t.Min, t.Sec, t.Frame, t.Zero, t.PMin, t.PSec, t.PFrame});
  }
  Put16(&r[0], r.size() - 2);
  return r;
}

// The drive's answer to a format-0 request: one 8-byte descriptor a track and the lead-out.
std::vector<uint8_t> TrackToc(const Disc& d, uint8_t fromTrack, bool msf) {
  std::map<uint8_t, TocDescriptor> tracks;  // later descriptors win
  for (const TocDescriptor& t : d.Toc)
    if ((t.AdrControl >> 4) == 1 && t.Point >= 1 && t.Point <= 99) tracks[t.Point] = t;

  std::vector<uint8_t> r(4, 0);
  r[2] = tracks.empty() ? 0 : tracks.begin()->first;
  r[3] = tracks.empty() ? 0 : tracks.rbegin()->first;
  auto add = [&](uint8_t adrControl, uint8_t number, int64_t frames) {
    uint8_t a[4];
    if (msf) {
      const TPackedMsf time = FramesToMsf(frames);
      a[0] = 0;
      a[1] = PackedMsfMinute(time);
      a[2] = PackedMsfSecond(time);
      a[3] = PackedMsfFrame(time);
    } else {
      PutBe32(a, static_cast<uint32_t>(static_cast<int32_t>(frames - kLbaOffset)));
    }
    r.insert(r.end(), {0, adrControl, number, 0, a[0], a[1], a[2], a[3]});
  };
  for (const auto& [number, t] : tracks)
    if (number >= fromTrack) add(t.AdrControl, number, MsfToFrames(t.PMin, t.PSec, t.PFrame));
  const int32_t leadOut = d.TocLeadOutLba();
  if (leadOut >= 0) add(0x10, 0xAA, int64_t{leadOut} + kLbaOffset);
  Put16(&r[0], r.size() - 2);
  return r;
}

}  // namespace

Outcome DriveState::ReadToc(std::span<const uint8_t> cdb, std::span<uint8_t> in) {
  const uint8_t format = cdb[2] & 0x0F;
  const bool legacy = format == 0 && (cdb[9] & 0xC0) == 0x80;
  const size_t alloc = size_t{cdb[7]} << 8 | cdb[8];
  if (format != 2 && !legacy) return IllegalRequest(scsi::kInvalidFieldInCdb);

  const TocFailure failure = D.Faults.Toc;
  if (failure == TocFailure::Both || (legacy && failure == TocFailure::Legacy)) return Check(scsi::kKeyMediumError, scsi::kTocUnrecoverable);

  std::vector<uint8_t> r;
  if (legacy && D.Profile.LegacyToc == LegacyTocPolicy::Reject) return IllegalRequest(scsi::kInvalidFieldInCdb);
  if (legacy && D.Profile.LegacyToc == LegacyTocPolicy::Format0)
    r = TrackToc(D, cdb[6], (cdb[1] & 0x02) != 0);
  else
    r = FullToc(D, cdb[6]);
  return Good(CopyOut(std::span<const uint8_t>(r).first(std::min(alloc, r.size())), in));
}

}  // namespace emu::detail
