#pragma once
// Drive operations several workers and dialogs need around their own reading, for the
// selected drive.
#include <cstdint>

#include "drive/Krcdrom.h"

class TDriveUtility {
 public:
  TKrCdRom CdRom;
  TDriveSetting Setting;

  void Assign(const TKrCdRom& drive, const TDriveSetting& setting);
  // Frame address of the disc lead-out; 0 when the TOC cannot be read.
  int64_t GetLeadOut();
  // One audio read at frame 300 to wake the drive (result ignored), then a pause.
  void SpinUp(uint32_t milliseconds);
  // Writes page 01 from the drive's defaults with DCR, TB and the read retry count of
  // the settings.
  bool ApplyErrorRecovery();
  // Writes the drive's default page 01 back.
  bool RestoreErrorRecovery();
  // Asks for 1x, 2x, ... 72x and stores each new current speed the drive reports (kB/s),
  // at most `capacity`. Runs over the transport UseSpti picks, and over pass-through
  // when the ASPI layer is not loaded. Returns the number stored.
  uint32_t DetectReadSpeeds(const TKrCdRom& drive, uint32_t capacity, uint32_t* speeds);
};
