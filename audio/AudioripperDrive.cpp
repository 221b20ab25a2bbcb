// The ripper's drive commands: the audio reads with their good count, and the drive
// changes a rip makes (block length, error-recovery page, tray lock), each undone on
// every way out of the rip.
#include <algorithm>
#include <cstring>

#include "audio/AudioripperRun.h"
#include "drive/Cdbbuild.h"
#include "sector/Datasector.h"
#include "sector/Krbuffer.h"

namespace {

constexpr uint8_t kDensityCdda = 0x82;
constexpr uint32_t kDataBlockLength = 2048;

std::string SenseText(const uint8_t* sense) {
  std::string text = "\nSENSE =";
  for (uint32_t i = 0; i < kTransportSenseBytes; ++i) text += " " + HexText(sense[i], 2);
  return text;
}

}  // namespace

uint32_t TAudioRipper::ReadAudio(int64_t frame, uint32_t count, uint8_t* buffer) {
  TCommandResult result = SendAudioRead(frame, count, buffer);
  if (result.Refused && Run) {
    // The host will not send this read at all: no sector of the track can come from it,
    // and silence in its place would pass a refused command off as a damaged disc.
    if (!Run->Refused) WriteLog("\nRip Failure ReadRefused");
    Run->Refused = true;
    return 0;
  }
  if (result.DriveReset() && Run) {
    // The reset drive is back at its default page 01 and block length: a READ(10) would
    // return 2048-byte data blocks and the retries would not be the user's. Both are set
    // again before the read is repeated.
    WriteLog("\nRip Drive Reset");
    ErrorRecoveryByte = Run->Drive.Reapply(Setting);
    std::memset(buffer, 0, size_t{count} * kRawSectorSize);
    result = SendAudioRead(frame, count, buffer);
  }
  // Whatever the status says, no sector counts that did not arrive whole.
  const uint64_t asked = uint64_t{count} * kRawSectorSize;
  const auto arrived = static_cast<uint32_t>((asked - std::min<uint64_t>(result.Scsi.Residual, asked)) / kRawSectorSize);
  const uint32_t good = result ? count : GetGoodCount(frame, count, result.Scsi.Sense.data());
  if (result || good == 0) return std::min(good, arrived);
  // A drive that fails part-way may leave the blocks before the failing one unsent or
  // stale and tell no residual; audio carries nothing to check them by, so they count
  // only when a read of them alone ends GOOD.
  WriteLog("\nRip Confirm");
  std::memset(buffer, 0, size_t{count} * kRawSectorSize);
  const TCommandResult again = SendAudioRead(frame, good, buffer);
  return again ? good : 0;
}

TCommandResult TAudioRipper::SendAudioRead(int64_t frame, uint32_t count, uint8_t* buffer) {
  const TScsiExec exec = TransportFor(Setting);
  TCommandResult result;
  switch (Setting.DaeCmd) {
    case daeReadCdTyped:
      result = CdbReadCdEx(exec, CdRom, frame, count, GetExpectedSectorType(dtAudio), /*sync=*/false,
                           /*edcEcc=*/false, /*userData=*/true, /*flagsBase=*/0, /*subChannel=*/0, buffer,
                           kReadTimeoutMs);
      break;
    case daeReadCdda: result = CdbReadCdda(exec, CdRom, frame, count, /*subCode=*/0, buffer, kReadTimeoutMs); break;
    case daeRead10:
      if (count <= 0xFFFF) result = CdbRead10(exec, CdRom, frame, static_cast<uint16_t>(count), buffer, kReadTimeoutMs);
      break;
    default: result = CdbReadCd(exec, CdRom, frame, count, /*subChannel=*/0, buffer, kReadTimeoutMs); break;
  }
  return result;
}

uint32_t TAudioRipper::GetGoodCount(int64_t head, uint32_t count, const uint8_t* sense) {
  LogValue("\n\nHead = ", head);
  LogValue("\nNumSectors = ", count);
  WriteLog("\nEC Params = 0x" + HexText(ErrorRecoveryByte, 2));
  WriteLog(SenseText(sense));
  const TSense decoded = DecodeSense(sense);
  WriteLog("\nCODE = 0x" + HexText(decoded.ResponseCode, 2));
  // Without fixed-format sense nothing tells which sectors arrived: none did.
  if (!decoded.Fixed) {
    WriteLog("\n");
    return 0;
  }
  WriteLog("\nSENSE KEY = 0x" + HexText(decoded.Key, 2));
  WriteLog("\nASC  = 0x" + HexText(decoded.Asc, 2));
  WriteLog("\nASCQ = 0x" + HexText(decoded.Ascq, 2));
  LogValue("\nVALID = ", decoded.Valid ? 1 : 0);
  LogValue("\nAddress = ", decoded.InformationFrame);
  WriteLog("\n");
  return static_cast<uint32_t>(GoodBeforeFailure(sense, head, count, ErrorRecoveryByte, TFailingBlock::Taken));
}

TAudioRipper::TDriveChanges::~TDriveChanges() {
  try {
    Restore();
  } catch (...) {
  }
}

bool TAudioRipper::TDriveChanges::SetBlockLength(int form) {
  // Remember what the drive was set to, so that the system's own data reads find it so again.
  uint8_t density = 0;
  uint32_t length = kDataBlockLength;
  if (!CdbGetBlockLength(Exec, Drive, form, density, length) || length == 0) {
    density = 0;
    length = kDataBlockLength;
  }
  if (!CdbSetBlockLength(Exec, Drive, kDensityCdda, kRawSectorSize, form)) return false;
  BlockChanged = true;
  Form = form;
  SavedDensity = density;
  SavedBlockLength = length;
  return true;
}

uint8_t TAudioRipper::TDriveChanges::ApplyErrorRecovery(const TDriveSetting& setting) {
  PageChanged = true;
  WriteErrorRecovery(Exec, Drive, setting);
  return CurrentErrorRecovery(Exec, Drive).value_or(255);
}

uint8_t TAudioRipper::TDriveChanges::Reapply(const TDriveSetting& setting) {
  // The first command after a reset may meet the reset's own UNIT ATTENTION.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const uint8_t current = ApplyErrorRecovery(setting);
    const bool block = !BlockChanged || CdbSetBlockLength(Exec, Drive, kDensityCdda, kRawSectorSize, Form);
    if (current != 255 && block) return current;
  }
  return 255;
}

void TAudioRipper::TDriveChanges::Lock() {
  Locked = true;
  CdbPreventAllow(Exec, Drive, true);
}

bool TAudioRipper::TDriveChanges::Restore() {
  bool ok = true;
  if (PageChanged) {
    PageChanged = false;
    ok = Utility.RestoreErrorRecovery() && ok;
  }
  if (BlockChanged) {
    BlockChanged = false;
    ok = CdbSetBlockLength(Exec, Drive, SavedDensity, SavedBlockLength, Form) && ok;
  }
  if (Locked) {
    Locked = false;
    ok = CdbPreventAllow(Exec, Drive, false) && ok;
  }
  return ok;
}
