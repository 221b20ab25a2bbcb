#include "drive/Transport.h"

#include "drive/Kraspi.h"
#include "drive/Krspti.h"
#include "platform/ScsiCodes.h"
#include "sector/Address.h"
#include "sector/Bytes.h"

TSense DecodeSense(const uint8_t* sense) {
  TSense s;
  s.ResponseCode = sense[0] & static_cast<uint8_t>(~scsi::kSenseValid);
  s.Fixed = s.ResponseCode == scsi::kSenseCurrentFixed || s.ResponseCode == scsi::kSenseDeferredFixed;
  if (!s.Fixed) return s;
  s.Valid = (sense[0] & scsi::kSenseValid) != 0;
  s.Key = sense[2] & 0x0F;
  s.Asc = sense[12];
  s.Ascq = sense[13];
  s.InformationFrame = LbaToFrames(static_cast<int32_t>(GetBe32(sense + 3)));
  return s;
}

std::optional<int64_t> MediumErrorFrame(const uint8_t* sense) {
  const TSense s = DecodeSense(sense);
  if (!s.Fixed || !s.Valid || s.Key != scsi::kKeyMediumError) return std::nullopt;
  return s.InformationFrame;
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
