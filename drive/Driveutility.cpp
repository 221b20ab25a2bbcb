#include "drive/Driveutility.h"

#include <algorithm>
#include <cstring>

#include "drive/Cdbbuild.h"
#include "drive/Transport.h"
#include "platform/Clock.h"
#include "sector/Bytes.h"
#include "sector/Datasector.h"
#include "sector/Krbuffer.h"

namespace {

constexpr int64_t kSpinUpFrame = 300;
constexpr uint32_t kSpinUpBufferSize = kRawWithQSize;
constexpr uint32_t kMaxSpeedSteps = 72;
constexpr uint32_t kSingleSpeedBytes = 176400;  // bytes a second at 1x
constexpr uint32_t kCapabilityBytes = 16;

}  // namespace

void TDriveUtility::Assign(const TKrCdRom& drive, const TDriveSetting& setting) {
  CdRom = drive;
  Setting = setting;
}

int64_t TDriveUtility::GetLeadOut() {
  TDiscToc toc;
  if (!CdbReadToc(TransportFor(Setting), CdRom, Setting.UseBCD != 0, toc)) return 0;
  return PackedMsfToFrames(toc.LeadOut);
}

void TDriveUtility::SpinUp(uint32_t milliseconds) {
  TKrParagraphBoundaryBuffer area(kSpinUpBufferSize);
  if (uint8_t* data = area.GetBuffer()) {
    std::memset(data, 0, kSpinUpBufferSize);
    CdbReadCdda(TransportFor(Setting), CdRom, kSpinUpFrame, 1, 0, data);
  }
  platform::Sleep(milliseconds);
}

bool WriteErrorRecovery(TScsiExec exec, const TKrCdRom& drive, const TDriveSetting& setting) {
  TErrorRecoveryFields fields;
  if (setting.FastErrorSkip) fields.Value |= kErrorRecoveryDcr;
  if (setting.TransferBlock) fields.Value |= kErrorRecoveryTransferBlock;
  if (setting.RetryCountEnabled) fields.ReadRetry = static_cast<uint8_t>(setting.RetryCount);
  return CdbSetErrorRecovery(exec, drive, fields, /*form=*/0);
}

std::optional<uint8_t> CurrentErrorRecovery(TScsiExec exec, const TKrCdRom& drive) {
  uint8_t current = 0;
  if (!CdbGetErrorRecovery(exec, drive, /*form=*/0, &current, nullptr, nullptr)) return std::nullopt;
  return current;
}

int64_t GoodBeforeFailure(const uint8_t* sense, int64_t start, int64_t count, uint8_t errorRecovery,
                          TFailingBlock failing) {
  const std::optional<int64_t> failed = MediumErrorFrame(sense);
  if (!failed) return 0;
  if ((errorRecovery & ~(kErrorRecoveryDcr | kErrorRecoveryTransferBlock)) != 0) return 0;
  const bool transferBlock = (errorRecovery & kErrorRecoveryTransferBlock) != 0;
  const int64_t good = *failed - start + (transferBlock && failing == TFailingBlock::Taken ? 1 : 0);
  return good < 0 || good > count ? 0 : good;
}

bool TDriveUtility::ApplyErrorRecovery() { return WriteErrorRecovery(TransportFor(Setting), CdRom, Setting); }

bool TDriveUtility::RestoreErrorRecovery() { return CdbResetErrorRecovery(TransportFor(Setting), CdRom, 0); }

uint32_t TDriveUtility::DetectReadSpeeds(const TKrCdRom& drive, uint32_t capacity, uint32_t* speeds) {
  if (capacity == 0 || speeds == nullptr) return 0;
  // Without an ASPI layer the drive is reachable only by pass-through: it is asked
  // there, and nothing goes to the missing layer.
  const TScsiExec exec = TransportFor(Setting, TAspiMissing::UsePassThrough);

  uint8_t page[kCapabilityBytes] = {};
  uint16_t last = 0;
  uint32_t stored = 0;
  for (uint32_t n = 1; n <= kMaxSpeedSteps && stored < capacity; ++n) {
    const uint32_t base = n * kSingleSpeedBytes / 1000;
    for (uint32_t request : {base, base + 1}) {
      CdbSetCdSpeed(exec, drive, static_cast<uint16_t>(request));
      CdbGetCapabilitiesPage(exec, drive, 0, kCapabilityBytes, page);
      const uint16_t current = GetBe16(page + 14);
      if (current == last) continue;
      last = current;
      // A drive that falls back to a speed it reported before would make the list
      // unordered and repeat entries; each speed is kept once.
      if (std::find(speeds, speeds + stored, current) == speeds + stored) speeds[stored++] = current;
      break;
    }
  }
  return stored;
}
