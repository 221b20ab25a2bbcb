#include "drive/Transport.h"

#include "drive/Kraspi.h"
#include "drive/Krspti.h"
#include "sector/Address.h"

namespace {

constexpr uint8_t kSenseKeyMediumError = 0x03;

}  // namespace

std::optional<int64_t> MediumErrorFrame(const uint8_t* sense) {
  const uint8_t responseCode = sense[0] & 0x7F;
  if (responseCode != 0x70 && responseCode != 0x71) return std::nullopt;
  const bool valid = (sense[0] & 0x80) != 0;
  if (!valid || (sense[2] & 0x0F) != kSenseKeyMediumError) return std::nullopt;
  const auto lba = static_cast<int32_t>(uint32_t{sense[3]} << 24 | uint32_t{sense[4]} << 16 |
                                        uint32_t{sense[5]} << 8 | sense[6]);
  return LbaToFrames(lba);
}

std::optional<int64_t> TCommandResult::FailingFrame() const {
  if (Good() || Scsi.SenseLength < kTransportSenseBytes) return std::nullopt;
  return MediumErrorFrame(Scsi.Sense.data());
}

TScsiExec TransportFor(const TDriveSetting& setting, TAspiMissing whenMissing) {
  if (setting.UseSpti) return &SptiExecute;
  if (whenMissing == TAspiMissing::UsePassThrough && !LoadAspi()) return &SptiExecute;
  return &AspiExecute;
}
