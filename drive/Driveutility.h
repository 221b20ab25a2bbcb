#pragma once
// Drive operations several workers and dialogs need around their own reading, for the
// selected drive.
#include <cstdint>
#include <optional>

#include "drive/Krcdrom.h"
#include "drive/Transport.h"

// Writes the error-recovery page (01) as the setting asks, from the drive's defaults: DCR
// from FastErrorSkip, transfer block from TransferBlock, every other bit of the byte
// cleared, the read retry count from RetryCount when RetryCountEnabled, the write retry
// count left alone. The one writer of that page for the reader, the ripper and the utility.
bool WriteErrorRecovery(TScsiExec exec, const TKrCdRom& drive, const TDriveSetting& setting);
// The error-recovery byte the drive reports now; none when the page cannot be read.
std::optional<uint8_t> CurrentErrorRecovery(TScsiExec exec, const TKrCdRom& drive);

class TDriveUtility {
 public:
  TKrCdRom CdRom;
  TDriveSetting Setting;

  void Assign(const TKrCdRom& drive, const TDriveSetting& setting);
  // Frame address of the disc lead-out; 0 when the TOC cannot be read.
  int64_t GetLeadOut();
  // One audio read at frame 300 to wake the drive (result ignored), then a pause.
  void SpinUp(uint32_t milliseconds);
  // WriteErrorRecovery over the drive's transport.
  bool ApplyErrorRecovery();
  // Writes the drive's default page 01 back.
  bool RestoreErrorRecovery();
  // Asks for 1x, 2x, ... 72x and stores each new current speed the drive reports (kB/s),
  // at most `capacity`. Runs over the transport UseSpti picks, and over pass-through
  // when the ASPI layer is not loaded. Returns the number stored.
  uint32_t DetectReadSpeeds(const TKrCdRom& drive, uint32_t capacity, uint32_t* speeds);
};
