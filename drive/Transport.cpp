#include "drive/Transport.h"

#include "drive/Kraspi.h"
#include "drive/Krspti.h"
#include "platform/ScsiCodes.h"
#include "sector/Address.h"

std::optional<int64_t> MediumErrorFrame(const uint8_t* sense) {
  const uint8_t responseCode = sense[0] & 0x7F;
  if (responseCode != scsi::kSenseCurrentFixed && responseCode != scsi::kSenseDeferredFixed) return std::nullopt;
  const bool valid = (sense[0] & scsi::kSenseValid) != 0;
  if (!valid || (sense[2] & 0x0F) != scsi::kKeyMediumError) return std::nullopt;
  const auto lba = static_cast<int32_t>(uint32_t{sense[3]} << 24 | uint32_t{sense[4]} << 16 |
                                        uint32_t{sense[5]} << 8 | sense[6]);
  return LbaToFrames(lba);
}

std::optional<int64_t> TCommandResult::FailingFrame() const {
  if (Good() || Scsi.SenseLength < kTransportSenseBytes) return std::nullopt;
  return MediumErrorFrame(Scsi.Sense.data());
}

bool TCommandResult::DriveReset() const {
  // A command the system refused never reached the drive.
  return (Scsi.TransportError && !Refused) ||
         (Scsi.Status != platform::kStatusGood && Scsi.SenseKey() == scsi::kKeyUnitAttention &&
          Scsi.Asc() == scsi::kPowerOnReset.Asc);
}

TScsiExec TransportFor(const TDriveSetting& setting, TAspiMissing whenMissing) {
  if (setting.UseSpti) return &SptiExecute;
  if (whenMissing == TAspiMissing::UsePassThrough && !LoadAspi()) return &SptiExecute;
  return &AspiExecute;
}
