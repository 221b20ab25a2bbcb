// MODE SENSE / MODE SELECT (6 and 10), the error-recovery and capabilities pages,
// the block descriptor and SET CD SPEED.
#include <algorithm>
#include <vector>

#include "emulator/EmulatedDriveState.h"
#include "sector/Bytes.h"

namespace emu::detail {
namespace {

constexpr uint8_t kPcCurrent = 0, kPcChangeable = 1, kPcDefault = 2;

// Bits of page 01 the host may change: the recovery flags (not AWRE, a writer's bit)
// and the read retry count.
constexpr Page01 kChangeablePage01 = {0x81, 0x0A, 0x7F, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};

uint16_t MaxSpeed(const DriveProfile& p) {
  return p.Speeds.empty() ? 0 : *std::max_element(p.Speeds.begin(), p.Speeds.end());
}

}  // namespace

Page01 DriveState::ErrorRecoveryPage(uint8_t pageControl) const {
  switch (pageControl) {
    case kPcCurrent: return CurrentPage;
    case kPcChangeable: return kChangeablePage01;
    case kPcDefault: return DefaultPage;
    default: return SavedPage;
  }
}

std::vector<uint8_t> DriveState::CapabilitiesPage(uint8_t pageControl) const {
  std::vector<uint8_t> p(22, 0);
  p[0] = scsi::kPageCapabilities;
  p[1] = 0x14;
  if (pageControl == kPcChangeable) return p;  // nothing here can be changed
  const uint16_t max = MaxSpeed(D.Profile);
  p[4] = 0x71;  // audio play, Mode 2 Form 1 and Form 2, multisession
  p[5] = 0x07;  // CD-DA commands, accurate stream, R-W sub-channel
  p[6] = 0x29 | (Lock && pageControl == kPcCurrent ? 0x02 : 0x00);  // lock, eject, tray
  PutBe16(&p[8], max);
  PutBe16(&p[10], 256);   // volume levels
  PutBe16(&p[12], 1024);  // buffer, kB
  PutBe16(&p[14], static_cast<uint16_t>(pageControl == kPcCurrent ? Speed : max));
  return p;
}

Outcome DriveState::ModeSense(std::span<const uint8_t> cdb, std::span<uint8_t> in) {
  const bool ten = cdb[0] == scsi::kOpModeSense10;
  const bool dbd = (cdb[1] & 0x08) != 0;
  const uint8_t pageControl = cdb[2] >> 6;
  const uint8_t pageCode = cdb[2] & 0x3F;
  const size_t alloc = ten ? GetBe16(&cdb[7]) : cdb[4];

  std::vector<uint8_t> page;
  if (pageCode == scsi::kPageErrorRecovery) {
    const Page01 p = ErrorRecoveryPage(pageControl);
    page.assign(p.begin(), p.end());
  } else if (pageCode == scsi::kPageCapabilities) {
    page = CapabilitiesPage(pageControl);
  } else {
    return IllegalRequest(scsi::kInvalidFieldInCdb);
  }

  const size_t header = ten ? 8 : 4;
  const size_t bdl = D.Profile.BlockDescriptor && !dbd ? 8 : 0;
  std::vector<uint8_t> r(header + bdl + page.size(), 0);
  if (ten) {
    PutBe16(&r[0], static_cast<uint16_t>(r.size() - 2));
    PutBe16(&r[6], static_cast<uint16_t>(bdl));
  } else {
    r[0] = static_cast<uint8_t>(r.size() - 1);
    r[3] = static_cast<uint8_t>(bdl);
  }
  if (bdl) {
    uint8_t* b = &r[header];
    if (pageControl == kPcChangeable) {
      b[0] = 0xFF;
      PutBe24(&b[5], 0xFFFFFF);
    } else {
      const bool current = pageControl == kPcCurrent;
      b[0] = current ? Density : 0x00;
      const int32_t leadOut = D.TocLeadOutLba();
      PutBe24(&b[1], leadOut > 0 ? static_cast<uint32_t>(leadOut) : 0);
      PutBe24(&b[5], current ? BlockLen : 2048);
    }
  }
  std::copy(page.begin(), page.end(), r.begin() + static_cast<std::ptrdiff_t>(header + bdl));
  return Good(CopyOut(std::span<const uint8_t>(r).first(std::min(alloc, r.size())), in));
}

Outcome DriveState::ModeSelect(std::span<const uint8_t> cdb, std::span<const uint8_t> out) {
  const bool ten = cdb[0] == scsi::kOpModeSelect10;
  const bool savePages = (cdb[1] & 0x01) != 0;
  const size_t len = ten ? GetBe16(&cdb[7]) : cdb[4];
  if (len == 0) return Good();
  if (out.size() < len) return IllegalRequest(scsi::kParameterListLengthError);
  const std::span<const uint8_t> list = out.first(len);

  const size_t header = ten ? 8 : 4;
  if (len < header) return IllegalRequest(scsi::kParameterListLengthError);
  const size_t mdl = ten ? GetBe16(&list[0]) : list[0];
  const size_t bdl = ten ? GetBe16(&list[6]) : list[3];
  if (mdl != 0 || (bdl != 0 && bdl != 8)) return IllegalRequest(scsi::kInvalidFieldInParameterList);
  if (header + bdl > len) return IllegalRequest(scsi::kParameterListLengthError);

  uint32_t newBlockLen = BlockLen;
  uint8_t newDensity = Density;
  if (bdl == 8) {
    const uint8_t* b = &list[header];
    const uint32_t length = GetBe24(&b[5]);
    if (length != kUserDataSize && length != kRawSectorSize) return IllegalRequest(scsi::kInvalidFieldInParameterList);
    newBlockLen = length;
    newDensity = b[0];
  }

  Page01 newPage = CurrentPage;
  for (size_t pos = header + bdl; pos < len;) {
    if (len - pos < 2) return IllegalRequest(scsi::kParameterListLengthError);
    const uint8_t code = list[pos];
    const size_t pageLen = list[pos + 1];
    if (pos + 2 + pageLen > len) return IllegalRequest(scsi::kParameterListLengthError);
    if ((code & 0x80) != 0 || (code & 0x3F) != scsi::kPageErrorRecovery || pageLen != 0x0A) return IllegalRequest(scsi::kInvalidFieldInParameterList);
    for (size_t i = 2; i < newPage.size(); ++i) {
      if ((list[pos + i] ^ CurrentPage[i]) & ~kChangeablePage01[i]) return IllegalRequest(scsi::kInvalidFieldInParameterList);
      newPage[i] = list[pos + i];
    }
    pos += 2 + pageLen;
  }

  newPage[2] &= static_cast<uint8_t>(~D.Profile.Page01Dropped);  // what this drive ignores, it ignores silently
  CurrentPage = newPage;
  if (savePages) SavedPage = newPage;
  BlockLen = newBlockLen;
  Density = newDensity;
  return Good(len);
}

Outcome DriveState::SetCdSpeed(std::span<const uint8_t> cdb) {
  if (!D.Profile.SetSpeedSupported) return IllegalRequest(scsi::kInvalidOpcode);
  const auto& speeds = D.Profile.Speeds;
  if (speeds.empty()) return Good();
  const uint32_t request = GetBe16(&cdb[2]);
  if (request == 0xFFFF) {
    Speed = MaxSpeed(D.Profile);
    return Good();
  }
  uint16_t best = *std::min_element(speeds.begin(), speeds.end());
  for (uint16_t s : speeds)
    if (s <= request && s > best) best = s;
  Speed = best;
  return Good();
}

}  // namespace emu::detail
