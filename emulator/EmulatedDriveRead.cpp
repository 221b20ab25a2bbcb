// READ CD, READ CDDA and READ(10): one sector pipeline that locates the sector, applies
// the faults and lays out the fields the host asked for.
#include <algorithm>
#include <cstring>
#include <limits>

#include "emulator/EmulatedDriveState.h"
#include "sector/Bytes.h"
#include "sector/Scramble.h"

namespace emu::detail {
namespace {

constexpr uint8_t kSync = 0x80, kHeader = 0x20, kSubheader = 0x40, kUser = 0x10, kEdc = 0x08, kC2 = 0x06;

enum class SubKind : uint8_t { None, RawPW, Q, RW };

constexpr uint8_t kDensityCdda = 0x82;

// Expected type codes of READ CD byte 1 bits 4..2, plus one of our own for READ(10).
constexpr uint8_t kAnyType = 0, kCddaType = 1, kUserData2048 = 6, kDataOnly = 7;

struct ReadPlan {
  uint8_t Flags = kUser;  // main-channel fields, READ CD byte 9
  uint8_t Expected = kAnyType;
  SubKind Sub = SubKind::None;
  bool BinaryQ = false;
  bool DataAsAudio = false;      // READ CDDA: data sectors come back as their scrambled image
  bool MayScrambleData = false;  // READ CD: the profile's scrambling of audio-type reads applies
  int64_t AudioShift = 0;        // bytes, for audio sectors
};

enum class Fail : uint8_t { None, Range, NotReady, Medium, WrongType, Gap };

struct Served {
  Fail Failure = Fail::None;
  scsi::AscPair Code{0, 0};
  size_t Size = 0;  // bytes laid out in the scratch (for a medium error: the damaged block)
  std::optional<SectorKind> Kind{};  // the kind served, for a drive that stops at a change
};

struct Span16 {
  uint16_t Begin, End;
};
struct Fields {
  Span16 Header, Subheader, User, Edc;
};

Fields FieldsOf(SectorKind kind, uint32_t form2Size) {
  constexpr uint16_t kHeader = kHeaderOffset, kSub = kSubheaderOffset, kUser1 = kMode1UserOffset,
                     kUser2 = kMode2UserOffset, kEnd = kRawSectorSize;
  const auto form2End = static_cast<uint16_t>(kUser2 + (form2Size == kForm2UserSize ? kForm2UserSize : kForm2UserSize + 4));
  switch (kind) {
    case SectorKind::Mode1: return {{kHeader, kSub}, {kSub, kSub}, {kUser1, kMode1EdcOffset}, {kMode1EdcOffset, kEnd}};
    case SectorKind::Mode2Form1:
      return {{kHeader, kSub}, {kSub, kUser2}, {kUser2, kForm1EdcOffset}, {kForm1EdcOffset, kEnd}};
    case SectorKind::Mode2Form2: return {{kHeader, kSub}, {kSub, kUser2}, {kUser2, form2End}, {form2End, kEnd}};
    case SectorKind::Mode2Formless: return {{kHeader, kSub}, {kSub, kSub}, {kUser1, kEnd}, {kEnd, kEnd}};
    case SectorKind::Audio: break;
  }
  return {{0, 0}, {0, 0}, {0, kEnd}, {kEnd, kEnd}};
}

uint8_t TypeCode(SectorKind kind) {
  switch (kind) {
    case SectorKind::Audio: return 1;
    case SectorKind::Mode1: return 2;
    case SectorKind::Mode2Formless: return 3;
    case SectorKind::Mode2Form1: return 4;
    case SectorKind::Mode2Form2: return 5;
  }
  return 0;
}

// The kind a sector of unknown content is laid out as (for a failing block under TB).
SectorKind KindOfType(uint8_t expected) {
  switch (expected) {
    case 1: return SectorKind::Audio;
    case 3: return SectorKind::Mode2Formless;
    case 4: return SectorKind::Mode2Form1;
    case 5: return SectorKind::Mode2Form2;
    default: return SectorKind::Mode1;
  }
}

// Lays out the requested fields of a 2352-byte image; null image: zeros. Returns the size.
size_t Assemble(SectorKind kind, uint8_t flags, uint32_t form2Size, const uint8_t* image, uint8_t* dst) {
  size_t n = 0;
  auto take = [&](uint16_t begin, uint16_t end) {
    if (image)
      std::memcpy(dst + n, image + begin, end - begin);
    else
      std::memset(dst + n, 0, end - begin);
    n += end - begin;
  };
  if (kind == SectorKind::Audio) {
    if (flags & kUser) take(0, kRawSectorSize);
    return n;
  }
  const Fields f = FieldsOf(kind, form2Size);
  if (flags & kSync) take(0, 12);
  if (flags & kHeader) take(f.Header.Begin, f.Header.End);
  if (flags & kSubheader) take(f.Subheader.Begin, f.Subheader.End);
  if (flags & kUser) take(f.User.Begin, f.User.End);
  if (flags & kEdc) take(f.Edc.Begin, f.Edc.End);
  return n;
}

bool HasHardFault(const Disc& d, int64_t lba) {
  return std::any_of(d.Faults.Bytes.begin(), d.Faults.Bytes.end(),
                     [&](const ByteFault& f) { return f.Hard && f.Lba == lba; });
}

void ApplyByteFaults(const Disc& d, int64_t lba, uint8_t* image, bool soft, bool hard) {
  for (const ByteFault& f : d.Faults.Bytes)
    if (f.Lba == lba && f.Offset < kRawSectorSize && (f.Hard ? hard : soft)) image[f.Offset] ^= f.Xor;
}

// What an audio-type read hears at sector q: audio as recorded, a data sector as its
// scrambled image, silence where nothing is recorded. Hard faults always show,
// soft ones only when the drive does not correct (DCR).
void AudioViewOf(const DriveState& s, int64_t q, bool dcr, uint8_t* out) {
  const uint8_t* main = nullptr;
  std::optional<SectorKind> kind;
  if (q >= 0 && q < s.PhysicalEnd && s.D.Store) {
    main = s.D.Store->Main(static_cast<int32_t>(q));
    if (main) kind = s.D.KindAt(static_cast<int32_t>(q));
  }
  if (!main || !kind) {
    std::memset(out, 0, kRawSectorSize);
    return;
  }
  std::memcpy(out, main, kRawSectorSize);
  ApplyByteFaults(s.D, q, out, /*soft=*/dcr, /*hard=*/true);
  if (*kind != SectorKind::Audio) Descramble(out, 0, kRawSectorSize);  // the scrambler is its own inverse
}

// 2352 bytes of the audio stream starting `shift` bytes after sector src.
void StreamBytes(const DriveState& s, int32_t src, int64_t shift, bool dcr, uint8_t* out) {
  constexpr auto kSector = static_cast<int64_t>(kRawSectorSize);
  const int64_t start = int64_t{src} * kSector + shift;
  int64_t q = start / kSector;
  if (start % kSector < 0) --q;
  const auto off = static_cast<size_t>(start - q * kSector);
  if (off == 0) {
    AudioViewOf(s, q, dcr, out);
    return;
  }
  std::array<uint8_t, kRawSectorSize> tmp;
  AudioViewOf(s, q, dcr, tmp.data());
  std::memcpy(out, tmp.data() + off, kRawSectorSize - off);
  AudioViewOf(s, q + 1, dcr, tmp.data());
  std::memcpy(out + (kRawSectorSize - off), tmp.data(), off);
}

size_t AppendSub(const DriveState& s, const ReadPlan& plan, int32_t src, uint8_t* dst) {
  if (plan.Sub == SubKind::None) return 0;
  const uint8_t* sub = s.D.Store ? s.D.Store->Sub(src) : nullptr;
  std::array<uint8_t, kSubchannelSize> none{};
  if (!sub) sub = none.data();
  switch (plan.Sub) {
    case SubKind::RawPW: InterleaveSubchannel(sub, dst, true); return 96;
    case SubKind::RW: InterleaveSubchannel(sub, dst, false); return 96;
    case SubKind::Q:
      FormatQ(sub + 12, dst, plan.BinaryQ);
      if (s.D.Profile.QCrcZero) dst[10] = dst[11] = 0;
      return 16;
    case SubKind::None: break;
  }
  return 0;
}

size_t SubSize(SubKind k) { return k == SubKind::None ? 0 : k == SubKind::Q ? 16 : 96; }

Served Unreadable(const ReadPlan& plan, SectorKind layoutKind, uint32_t form2Size, scsi::AscPair code,
                  uint8_t* dst) {
  Served r{Fail::Medium, code, 0};
  r.Size = Assemble(layoutKind, plan.Flags, form2Size, nullptr, dst);
  std::memset(dst + r.Size, 0, SubSize(plan.Sub));
  r.Size += SubSize(plan.Sub);
  return r;
}

// Lead-out, lead-in and unrecorded pregap frames carry no readable main channel, but a
// drive hears their sub-channel where one is recorded (and silence in an audio read).
bool ServesLeadArea(const Disc& d, const ReadPlan& plan, int32_t lba) {
  const uint8_t* sub = d.Store->Sub(lba);
  const bool recordsQ = sub != nullptr && sub[12] != 0;
  return recordsQ && plan.Sub != SubKind::None &&
         (plan.DataAsAudio || (plan.Flags & (kSync | kHeader | kSubheader | kUser | kEdc)) == 0);
}

Served LeadArea(const DriveState& s, const ReadPlan& plan, int32_t lba, uint8_t* dst) {
  Served r;
  r.Size = Assemble(SectorKind::Audio, plan.Flags, s.D.Profile.Form2Size, nullptr, dst);
  r.Size += AppendSub(s, plan, lba, dst + r.Size);
  return r;
}

// Where a read of lba really lands: past the point the disc's beyond-lead-out fault
// starts, a drive refuses, drifts, or hands back the raw stream; a drive that mis-seeks
// reads a neighbour.
struct Source {
  Fail Failure = Fail::None;
  int32_t At = 0;
  bool AsAudio = false;
  int64_t Shift = 0;  // bytes into the audio stream, for a byte-offset drive
};

Source Locate(const DriveState& s, int32_t lba) {
  const Disc& d = s.D;
  if (lba < 0 || lba >= s.PhysicalEnd) return {Fail::Range};
  Source source;
  int64_t src = lba;
  if (s.BeyondFrom >= 0 && lba >= s.BeyondFrom) {
    switch (d.Faults.Beyond) {
      case BeyondLeadOut::Serve: break;
      case BeyondLeadOut::Refuse: return {Fail::Range};
      case BeyondLeadOut::NotReady: return {Fail::NotReady};
      case BeyondLeadOut::Drift: src += d.Faults.BeyondAmount; break;
      case BeyondLeadOut::Scrambled: source.AsAudio = true; break;
      case BeyondLeadOut::ByteOffset:
        source.AsAudio = true;
        source.Shift = d.Faults.BeyondAmount;
        break;
    }
  }
  for (const NeighbourFault& f : d.Faults.Neighbour)
    if (lba >= f.FirstLba && lba < f.EndLba) src += f.Offset;
  if (src < 0 || src >= s.PhysicalEnd) return {Fail::Range};
  source.At = static_cast<int32_t>(src);
  return source;
}

// Whether this read hands a data sector back as audio (scrambled).
bool DataReadAsAudio(const DriveState& s, const ReadPlan& plan, int32_t lba) {
  if (plan.DataAsAudio) return true;
  if (!plan.MayScrambleData || !s.D.Profile.ScrambleAudioReads) return false;
  // Such a drive takes the sector's type from the TOC, not from the sector.
  const int control = s.TocControlAt(lba);
  return plan.Expected == kCddaType || (plan.Expected == kAnyType && control >= 0 && (control & 0x04) == 0);
}

// The sense of a recorded sector that does not read now (an unreadable range, or one
// that needs more retries than page 01 allows).
std::optional<scsi::AscPair> MediumFault(DriveState& s, int32_t at) {
  // A drive with a read cache answers a re-read of the sector it read last from it;
  // reading any other sector replaces what the cache holds.
  const bool fromCache = s.D.Profile.CacheRepeat && s.CachedLba == at;
  s.CachedLba = at;
  for (const UnreadableFault& f : s.D.Faults.Unreadable)
    if (at >= f.FirstLba && at < f.EndLba) return scsi::AscPair{f.Asc, f.Ascq};
  for (const RetryFault& f : s.D.Faults.Retry)
    if (at >= f.FirstLba && at < f.EndLba && s.CurrentPage[3] < f.RetriesNeeded) return scsi::kUnrecoveredReadError;
  for (const FlakyFault& f : s.D.Faults.Flaky) {
    if (at < f.FirstLba || at >= f.EndLba) continue;
    if (!fromCache) s.CachedFailure = s.NextRandom() % 100 < f.Percent;
    if (s.CachedFailure) return scsi::kUnrecoveredReadError;
  }
  return std::nullopt;
}

// The kind a drive that reads the header takes a data sector for; empty when its mode
// byte names none.
std::optional<SectorKind> HeaderKind(const DriveState& s, int32_t at, SectorKind recorded, const uint8_t* main) {
  std::array<uint8_t, kRawSectorSize> image;
  std::memcpy(image.data(), main, kRawSectorSize);
  ApplyByteFaults(s.D, at, image.data(), /*soft=*/false, /*hard=*/true);
  switch (image[kModeOffset]) {
    case 1: return SectorKind::Mode1;
    case 2:
      if (recorded == SectorKind::Mode2Formless) return recorded;
      return (image[kSubmodeOffset] & kSubmodeForm2) ? SectorKind::Mode2Form2 : SectorKind::Mode2Form1;
    default: return std::nullopt;
  }
}

std::pair<uint8_t, scsi::AscPair> GapSense(GapAnswer answer) {
  switch (answer) {
    case GapAnswer::NoSeek: return {scsi::kKeyMediumError, scsi::kNoSeekComplete};
    case GapAnswer::OutOfRange: return {scsi::kKeyIllegalRequest, scsi::kLbaOutOfRange};
    case GapAnswer::EndOfUserArea: return {scsi::kKeyIllegalRequest, scsi::kEndOfUserArea};
    case GapAnswer::IllegalMode: return {scsi::kKeyIllegalRequest, scsi::kIllegalModeForTrack};
    case GapAnswer::Medium: break;
  }
  return {scsi::kKeyMediumError, scsi::kUnrecoveredReadError};
}

bool TypeMatches(const ReadPlan& plan, SectorKind kind) {
  const uint8_t type = TypeCode(kind);
  if (plan.Expected == kUserData2048) return type == 2 || type == 4;
  if (plan.Expected == kDataOnly) return type != 1;
  return plan.Expected == kAnyType || plan.Expected == type;
}

// Lays out a readable sector, with its byte faults as the drive would correct them.
Served ServeImage(const DriveState& s, const ReadPlan& plan, const Source& source, SectorKind kind,
                  const uint8_t* main, uint8_t* dst) {
  const bool dcr = (s.CurrentPage[2] & 0x01) != 0;
  bool hardFailure = false;
  std::array<uint8_t, kRawSectorSize> image;
  if (kind == SectorKind::Audio) {
    StreamBytes(s, source.At, source.AsAudio ? source.Shift : plan.AudioShift, dcr, image.data());
  } else {
    std::memcpy(image.data(), main, kRawSectorSize);
    const bool raw = (plan.Flags & kSync) != 0;
    hardFailure = (!raw || s.D.Profile.RawUncorrectable) && !dcr && HasHardFault(s.D, source.At);
    ApplyByteFaults(s.D, source.At, image.data(), /*soft=*/dcr, /*hard=*/raw || dcr || hardFailure);
  }
  Served r;
  r.Size = Assemble(kind, plan.Flags, s.D.Profile.Form2Size, image.data(), dst);
  r.Size += AppendSub(s, plan, source.At, dst + r.Size);
  if (hardFailure) {
    r.Failure = Fail::Medium;
    r.Code = scsi::kLecUncorrectable;
  }
  return r;
}

Served ServeSector(DriveState& s, const ReadPlan& plan, int32_t lba, uint8_t* dst) {
  const Disc& d = s.D;
  Source source = Locate(s, lba);
  if (source.Failure != Fail::None) return {source.Failure};
  const int32_t at = source.At;

  const uint8_t* main = d.Store ? d.Store->Main(at) : nullptr;
  const std::optional<SectorKind> kind = main ? d.KindAt(at) : std::nullopt;
  if (kind && *kind != SectorKind::Audio && !source.AsAudio) source.AsAudio = DataReadAsAudio(s, plan, lba);
  // A failing block has the size of what this read would have returned there.
  const SectorKind guess = source.AsAudio || (!kind && plan.DataAsAudio) ? SectorKind::Audio
                           : kind                                        ? *kind
                                                                         : KindOfType(plan.Expected);
  if (!kind) {
    if (main && ServesLeadArea(d, plan, at)) return LeadArea(s, plan, at, dst);
    Served gap = Unreadable(plan, guess, d.Profile.Form2Size, scsi::kUnrecoveredReadError, dst);
    if (main) gap.Failure = Fail::Gap;  // between sessions, not past the disc
    return gap;
  }
  if (const auto fault = MediumFault(s, at)) return Unreadable(plan, guess, d.Profile.Form2Size, *fault, dst);

  SectorKind effective = source.AsAudio ? SectorKind::Audio : *kind;
  if (effective != SectorKind::Audio && d.Profile.TypeFromHeader) {
    const std::optional<SectorKind> header = HeaderKind(s, at, *kind, main);
    const bool raw = (plan.Flags & kSync) != 0;
    if (!header && !raw) return Unreadable(plan, guess, d.Profile.Form2Size, scsi::kLecUncorrectable, dst);
    if (header) effective = *header;
  }
  if (!TypeMatches(plan, effective)) return {Fail::WrongType};
  Served served = ServeImage(s, plan, source, effective, main, dst);
  served.Kind = effective;
  return served;
}

// Time a failing sector costs: the drive's own attempts and each retry page 01 asks for.
uint32_t FailureTime(const DriveState& s) {
  return s.D.Profile.FailTimeMs + s.D.Profile.RetryTimeMs * s.CurrentPage[3];
}

// How a read that failed at `lba` after `pos` bytes ends, as the profile's drive ends it:
// the blocks before the failing one as sent, missing (the buffer as the host left it) or
// garbage; INFORMATION naming the failing block, the first one or nothing; the residual.
Outcome EndPartial(DriveState& s, uint8_t key, scsi::AscPair code, int32_t start, int32_t lba, size_t pos,
                   std::span<uint8_t> in, std::span<const uint8_t> before) {
  const DriveProfile& p = s.D.Profile;
  if (p.Partial == PartialBlocks::Missing) {
    std::copy_n(before.begin(), std::min(before.size(), pos), in.begin());
  } else if (p.Partial == PartialBlocks::Garbage) {
    for (size_t i = 0; i < pos; ++i) in[i] = static_cast<uint8_t>(s.NextRandom());
  }
  const int32_t info = p.Info == PartialInfo::First ? start : lba;
  const size_t told = p.Residual == PartialResidual::Zero ? in.size() : pos;
  return Check(key, code, told, p.Info == PartialInfo::None ? nullptr : &info);
}

Outcome Transfer(DriveState& s, ReadPlan plan, int32_t start, uint64_t count, std::span<uint8_t> in) {
  if (count == 0) return Good();
  plan.AudioShift = (int64_t{s.D.Profile.AudioOffset} + s.NextJitter()) * 4;
  // What the host's buffer held, for a drive that leaves it untouched on an error.
  std::vector<uint8_t> before;
  if (s.D.Profile.Partial == PartialBlocks::Missing) before.assign(in.begin(), in.end());
  // Largest sector: 2352 main bytes and 96 sub-channel bytes.
  std::array<uint8_t, kRawSectorSize + kSubchannelSize> scratch;
  // Only a read of the main channel has a kind to keep; a read of the sub-channel alone goes on.
  const bool mainChannel = (plan.Flags & (kSync | kHeader | kSubheader | kUser | kEdc)) != 0;
  const bool stopsAtChange = s.D.Profile.AnyTypeStops && plan.Expected == kAnyType && !plan.DataAsAudio && mainChannel;
  std::optional<SectorKind> firstKind;
  size_t pos = 0;
  for (uint64_t i = 0; i < count && pos < in.size(); ++i) {
    const int64_t lba64 = int64_t{start} + static_cast<int64_t>(i);
    if (lba64 > std::numeric_limits<int32_t>::max()) {
      const int32_t info = start;
      return Check(scsi::kKeyIllegalRequest, scsi::kLbaOutOfRange, pos, &info);
    }
    const auto lba = static_cast<int32_t>(lba64);
    Served r = ServeSector(s, plan, lba, scratch.data());
    // A drive that reads "any type" as one kind stops where the kind changes.
    if (i == 0) firstKind = r.Kind;
    if (stopsAtChange && r.Failure == Fail::None && r.Kind != firstKind) r.Failure = Fail::WrongType;
    Outcome o;
    switch (r.Failure) {
      case Fail::None:
        pos += CopyOut(std::span<const uint8_t>(scratch).first(r.Size), in.subspan(pos));
        continue;
      case Fail::Gap: {
        const auto [key, code] = GapSense(s.D.Profile.Gap);
        o = EndPartial(s, key, code, start, lba, pos, in, before);
        o.ServiceMs = s.D.Profile.GapTimeMs;
        return o;
      }
      case Fail::Medium:
        if (s.CurrentPage[2] & 0x20)  // transfer block: the failing block goes out too
          pos += CopyOut(std::span<const uint8_t>(scratch).first(r.Size), in.subspan(pos));
        o = EndPartial(s, scsi::kKeyMediumError, r.Code, start, lba, pos, in, before);
        o.ServiceMs = FailureTime(s);
        return o;
      case Fail::Range: return Check(scsi::kKeyIllegalRequest, scsi::kLbaOutOfRange, pos, &lba);
      case Fail::WrongType: return Check(scsi::kKeyIllegalRequest, scsi::kIllegalModeForTrack, pos, &lba);
      case Fail::NotReady: return Check(scsi::kKeyNotReady, scsi::kNotReadyCauseUnknown, pos);
    }
  }
  return Good(pos);
}

int32_t Lba(std::span<const uint8_t> cdb) {
  return static_cast<int32_t>(GetBe32(&cdb[2]));
}

}  // namespace

Outcome DriveState::ReadCd(std::span<const uint8_t> cdb, std::span<uint8_t> in) {
  ReadPlan plan;
  plan.Expected = (cdb[1] >> 2) & 0x07;
  plan.Flags = cdb[9];
  plan.MayScrambleData = true;
  plan.BinaryQ = D.Profile.BinaryQ;
  if (plan.Expected > 5) return IllegalRequest(scsi::kInvalidFieldInCdb);
  // No C2 pointers; sync needs the header after it; EDC/ECC after a header needs the user data between.
  if ((plan.Flags & kC2) || ((plan.Flags & kSync) && !(plan.Flags & kHeader)) ||
      ((plan.Flags & kEdc) && !(plan.Flags & kUser) && (plan.Flags & (kHeader | kSubheader))))
    return IllegalRequest(scsi::kInvalidFieldInCdb);
  switch (cdb[10] & 0x07) {
    case 0: plan.Sub = SubKind::None; break;
    case 1: plan.Sub = SubKind::RawPW; break;
    case 2: plan.Sub = SubKind::Q; break;
    case 4: plan.Sub = SubKind::RW; break;
    default: return IllegalRequest(scsi::kInvalidFieldInCdb);
  }
  const uint32_t count = GetBe24(&cdb[6]);
  return Transfer(*this, plan, Lba(cdb), count, in);
}

Outcome DriveState::ReadCdda(std::span<const uint8_t> cdb, std::span<uint8_t> in) {
  if (!D.Profile.ReadCddaSupported) return IllegalRequest(scsi::kInvalidOpcode);
  ReadPlan plan;
  plan.DataAsAudio = true;
  switch (cdb[10]) {
    case 0: break;
    case 1: plan.Sub = SubKind::Q; break;  // always BCD here
    case 2: plan.Sub = SubKind::RawPW; break;
    case 3:
      plan.Sub = SubKind::RawPW;
      plan.Flags = 0;
      break;
    default: return IllegalRequest(scsi::kInvalidFieldInCdb);
  }
  const uint32_t count = GetBe32(&cdb[6]);
  return Transfer(*this, plan, Lba(cdb), count, in);
}

Outcome DriveState::Read10(std::span<const uint8_t> cdb, std::span<uint8_t> in) {
  ReadPlan plan;
  if (BlockLen == kRawSectorSize) {
    plan.Flags = kSync | kHeader | kSubheader | kUser | kEdc;
    // Some drives read audio with READ(10) only under the CD-DA density code.
    if (D.Profile.Read10NeedsDensity && Density != kDensityCdda) plan.Expected = kDataOnly;
  } else {
    plan.Flags = kUser;
    plan.Expected = kUserData2048;
  }
  const uint32_t count = uint32_t{cdb[7]} << 8 | cdb[8];
  return Transfer(*this, plan, Lba(cdb), count, in);
}

}  // namespace emu::detail
