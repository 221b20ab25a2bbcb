// Command dispatch, unit state, command faults, the log and inspection.
#include "emulator/EmulatedDrive.h"

#include <algorithm>
#include <cstring>

#include "emulator/EmulatedDriveState.h"
#include "sector/Address.h"
#include "sector/Bytes.h"

namespace emu {
namespace detail {

Outcome Good(size_t transferred) {
  Outcome o;
  o.Transferred = transferred;
  return o;
}

Outcome Check(uint8_t key, scsi::AscPair code, size_t transferred, const int32_t* info) {
  Outcome o;
  o.Transferred = transferred;
  o.Status = kStatusCheckCondition;
  o.HasSense = true;
  o.Sense[0] = scsi::kSenseCurrentFixed;
  if (info) {
    o.Sense[0] |= scsi::kSenseValid;
    const auto v = static_cast<uint32_t>(*info);
    o.Sense[3] = static_cast<uint8_t>(v >> 24);
    o.Sense[4] = static_cast<uint8_t>(v >> 16);
    o.Sense[5] = static_cast<uint8_t>(v >> 8);
    o.Sense[6] = static_cast<uint8_t>(v);
  }
  o.Sense[2] = key & 0x0F;
  o.Sense[7] = 10;
  o.Sense[12] = code.Asc;
  o.Sense[13] = code.Ascq;
  return o;
}

Outcome IllegalRequest(scsi::AscPair code) { return Check(scsi::kKeyIllegalRequest, code); }

size_t CopyOut(std::span<const uint8_t> data, std::span<uint8_t> buffer) {
  const size_t n = std::min(data.size(), buffer.size());
  if (n) std::memcpy(buffer.data(), data.data(), n);
  return n;
}

namespace {

Page01 MakeDefaultPage(const DriveProfile& p) {
  Page01 page{};
  page[0] = 0x80 | scsi::kPageErrorRecovery;  // savable
  page[1] = 0x0A;
  page[2] = p.DefaultErrorRecovery;
  page[3] = p.DefaultRetryCount;
  page[8] = 0;
  return page;
}


// A drive given no disc behaves as an empty drive.
std::shared_ptr<const Disc> OrEmpty(std::shared_ptr<const Disc> disc) {
  if (disc) return disc;
  auto empty = std::make_shared<Disc>();
  empty->Faults.NoMedium = true;
  return empty;
}

}  // namespace

DriveState::DriveState(std::shared_ptr<const Disc> disc)
    : DiscRef(OrEmpty(std::move(disc))),
      D(*DiscRef),
      UnitAttentionPending(D.Faults.UnitAttentionOnce),
      BecomingReadyPending(D.Faults.BecomingReadyOnce),
      JitterState(0x5EED0F00DCAFEULL) {
  DefaultPage = MakeDefaultPage(D.Profile);
  CurrentPage = DefaultPage;
  SavedPage = DefaultPage;
  Speed = D.Profile.Speeds.empty() ? 0 : *std::max_element(D.Profile.Speeds.begin(), D.Profile.Speeds.end());

  for (const Extent& e : D.Layout) PhysicalEnd = std::max(PhysicalEnd, e.EndLba);
  if (D.Store) PhysicalEnd = std::min(PhysicalEnd, D.Store->SectorCount());
  BeyondFrom = D.Faults.BeyondFromLba >= 0 ? D.Faults.BeyondFromLba : D.TocLeadOutLba();

  for (const TocDescriptor& t : D.Toc) {
    if ((t.AdrControl >> 4) != 1 || t.Point < 1 || t.Point > 99) continue;
    const auto lba = static_cast<int32_t>(MsfToFrames(t.PMin, t.PSec, t.PFrame) - kLbaOffset);
    auto it = std::find_if(TocTracks.begin(), TocTracks.end(), [&](const TocTrack& x) { return x.StartLba == lba; });
    if (it != TocTracks.end())
      it->Control = t.AdrControl & 0x0F;  // a later descriptor wins
    else
      TocTracks.push_back({lba, static_cast<uint8_t>(t.AdrControl & 0x0F)});
  }
  std::sort(TocTracks.begin(), TocTracks.end(), [](const TocTrack& a, const TocTrack& b) { return a.StartLba < b.StartLba; });
}

void DriveState::Reset() {
  CurrentPage = DefaultPage;
  BlockLen = 2048;
  Density = 0x00;
  ResetPending = true;
}

int DriveState::TocControlAt(int32_t lba) const {
  const int32_t leadOut = D.TocLeadOutLba();
  if (TocTracks.empty() || lba < TocTracks.front().StartLba || (leadOut >= 0 && lba >= leadOut)) return -1;
  auto it = std::upper_bound(TocTracks.begin(), TocTracks.end(), lba,
                             [](int32_t v, const TocTrack& t) { return v < t.StartLba; });
  return std::prev(it)->Control;
}

uint64_t DriveState::NextRandom() {
  // splitmix64: repeatable from the fixed seed, so a test sees the same draws every run.
  uint64_t z = (JitterState += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

int32_t DriveState::NextJitter() {
  const int32_t j = D.Profile.Jitter;
  if (j <= 0) return 0;
  return static_cast<int32_t>(static_cast<int64_t>(NextRandom() % (2 * static_cast<uint64_t>(j) + 1)) - j);
}

Outcome DriveState::Inquiry(std::span<const uint8_t> cdb, std::span<uint8_t> in) {
  if (cdb[1] & 0x01) return IllegalRequest(scsi::kInvalidFieldInCdb);  // no vital product data pages
  const size_t alloc = GetBe16(&cdb[3]);
  std::array<uint8_t, 96> r{};
  r[0] = 0x05;
  r[1] = 0x80;
  r[2] = D.Profile.AnsiVersion;
  r[3] = 0x02;
  r[4] = static_cast<uint8_t>(r.size() - 5);
  auto put = [&](size_t at, size_t width, const std::string& text) {
    for (size_t i = 0; i < width; ++i) r[at + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
  };
  put(8, 8, D.Profile.Vendor);
  put(16, 16, D.Profile.Product);
  put(32, 4, D.Profile.Revision);
  return Good(CopyOut(std::span<const uint8_t>(r).first(std::min(alloc, r.size())), in));
}

namespace {

size_t CdbLength(uint8_t opcode) {
  switch (opcode >> 5) {
    case 0: return 6;
    case 1:
    case 2: return 10;
    case 4: return 16;
    case 5: return 12;
    default: return opcode == scsi::kOpReadCdda ? 12 : 6;  // vendor groups
  }
}

bool NeedsMedium(uint8_t opcode) {
  using namespace scsi;
  return opcode == kOpTestUnitReady || opcode == kOpReadToc || opcode == kOpReadCd || opcode == kOpReadCdda ||
         opcode == kOpRead10;
}

Outcome Dispatch(DriveState& s, std::span<const uint8_t> cdb, DataDirection dir, std::span<uint8_t> buffer) {
  const uint8_t op = cdb[0];
  const std::span<uint8_t> in = dir == DataDirection::In ? buffer : std::span<uint8_t>();
  const std::span<const uint8_t> out = dir == DataDirection::Out ? buffer : std::span<uint8_t>();

  const uint32_t count = ++s.OpcodeCounts[op];
  for (const CommandFault& f : s.D.Faults.Commands) {
    if (f.Opcode != op || (f.Nth != 0 && f.Nth != count)) continue;
    if (f.Kind == CommandFaultKind::Timeout) {
      Outcome o;
      o.TransportError = true;
      return o;
    }
    return Check(f.Key, {f.Asc, f.Ascq});
  }

  if (op != scsi::kOpInquiry && s.ResetPending) {
    s.ResetPending = false;
    return Check(scsi::kKeyUnitAttention, scsi::kPowerOnReset);
  }
  if (op != scsi::kOpInquiry && s.UnitAttentionPending) {
    s.UnitAttentionPending = false;
    return Check(scsi::kKeyUnitAttention, scsi::kMediumMayHaveChanged);
  }
  const bool sixByteMode = op == scsi::kOpModeSense6 || op == scsi::kOpModeSelect6;
  if (sixByteMode && s.D.Profile.StrictModeCommands && s.D.Profile.AnsiVersion == 0)
    return IllegalRequest(scsi::kInvalidOpcode);
  if (NeedsMedium(op)) {
    if (s.D.Faults.NoMedium) return Check(scsi::kKeyNotReady, scsi::kMediumNotPresent);
    if (s.BecomingReadyPending) {
      s.BecomingReadyPending = false;
      return Check(scsi::kKeyNotReady, scsi::kBecomingReady);
    }
  }

  switch (op) {
    case scsi::kOpTestUnitReady: return Good();
    case scsi::kOpInquiry: return s.Inquiry(cdb, in);
    case scsi::kOpReadToc: return s.ReadToc(cdb, in);
    case scsi::kOpReadCd: return s.ReadCd(cdb, in);
    case scsi::kOpReadCdda: return s.ReadCdda(cdb, in);
    case scsi::kOpRead10: return s.Read10(cdb, in);
    case scsi::kOpModeSense6:
    case scsi::kOpModeSense10: return s.ModeSense(cdb, in);
    case scsi::kOpModeSelect6:
    case scsi::kOpModeSelect10: return s.ModeSelect(cdb, out);
    case scsi::kOpSetCdSpeed: return s.SetCdSpeed(cdb);
    case scsi::kOpPreventAllow:
      s.Lock = (cdb[4] & 0x01) != 0;
      return Good();
    default: return IllegalRequest(scsi::kInvalidOpcode);
  }
}

}  // namespace
}  // namespace detail

struct EmulatedDrive::State : detail::DriveState {
  using DriveState::DriveState;
};

EmulatedDrive::EmulatedDrive(std::shared_ptr<const Disc> disc) : S(std::make_unique<State>(std::move(disc))) {}

EmulatedDrive::~EmulatedDrive() = default;

ScsiResult EmulatedDrive::Execute(std::span<const uint8_t> cdb, DataDirection direction, std::span<uint8_t> buffer,
                                  uint32_t timeoutMs, uint32_t* serviceMs) {
  std::lock_guard lock(Mutex);
  ScsiResult result;
  if (serviceMs) *serviceMs = 0;
  try {
    detail::Outcome o;
    if (cdb.empty() || cdb.size() < detail::CdbLength(cdb[0])) {
      o = detail::IllegalRequest(cdb.empty() ? scsi::kInvalidOpcode : scsi::kInvalidFieldInCdb);
    } else {
      o = detail::Dispatch(*S, cdb, direction, buffer);
    }
    if (timeoutMs != 0 && o.ServiceMs > timeoutMs) {
      // The host gives up at its time-out: nothing counts as transferred.
      o = detail::Outcome{};
      o.TransportError = true;
      o.ServiceMs = timeoutMs;
    }
    if (o.TransportError && S->D.Profile.ResetOnTimeout) S->Reset();
    if (serviceMs) *serviceMs = o.ServiceMs;
    result.TransportError = o.TransportError;
    result.Status = o.TransportError ? kStatusGood : o.Status;
    if (o.HasSense && !o.TransportError) {
      result.Sense = o.Sense;
      result.SenseLength = result.Sense.size();
    }
    const size_t moved = direction == DataDirection::None ? 0 : std::min(o.Transferred, buffer.size());
    result.Residual = buffer.size() - moved;
  } catch (...) {
    // Nothing escapes a command: report it as the drive's own hardware failure.
    const detail::Outcome o = detail::Check(scsi::kKeyHardwareError, scsi::kInternalTargetFailure);
    result = ScsiResult{};
    result.Status = o.Status;
    result.Sense = o.Sense;
    result.SenseLength = result.Sense.size();
    result.Residual = buffer.size();
  }

  try {
    CommandLogEntry entry;
    entry.Cdb.assign(cdb.begin(), cdb.end());
    entry.Direction = direction;
    entry.Length = buffer.size();
    if (direction == DataDirection::Out) entry.DataOut.assign(buffer.begin(), buffer.end());
    entry.Result = result;
    if (S->CommandLog.size() >= detail::kLogLimit) S->CommandLog.pop_front();
    S->CommandLog.push_back(std::move(entry));
  } catch (...) {
    // A log entry that cannot be stored is dropped; the command's answer stands.
  }
  return result;
}

std::vector<CommandLogEntry> EmulatedDrive::Log() const {
  std::lock_guard lock(Mutex);
  return {S->CommandLog.begin(), S->CommandLog.end()};
}

void EmulatedDrive::ClearLog() {
  std::lock_guard lock(Mutex);
  S->CommandLog.clear();
}

std::array<uint8_t, 12> EmulatedDrive::CurrentPage01() const {
  std::lock_guard lock(Mutex);
  return S->CurrentPage;
}

std::array<uint8_t, 12> EmulatedDrive::DefaultPage01() const {
  std::lock_guard lock(Mutex);
  return S->DefaultPage;
}

uint32_t EmulatedDrive::BlockLength() const {
  std::lock_guard lock(Mutex);
  return S->BlockLen;
}

bool EmulatedDrive::Locked() const {
  std::lock_guard lock(Mutex);
  return S->Lock;
}

uint16_t EmulatedDrive::CurrentSpeed() const {
  std::lock_guard lock(Mutex);
  return S->Speed;
}

const Disc& EmulatedDrive::GetDisc() const { return S->D; }

}  // namespace emu
