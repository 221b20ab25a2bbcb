#pragma once
// Inside the ripper: what lives only while a rip runs.
#include "audio/Audioripper.h"
#include "audio/Diskout.h"
#include "audio/Sync.h"
#include "drive/Cdbbuild.h"
#include "sector/Krbuffer.h"

// Sector of a sample position, also below 0.
inline int64_t FloorDiv(int64_t value, int64_t divisor) {
  const int64_t q = value / divisor;
  return (value % divisor < 0) ? q - 1 : q;
}

// The drive changes of one rip; the destructor undoes whatever is still changed.
class TAudioRipper::TDriveChanges {
 public:
  TDriveChanges(const TKrCdRom& drive, const TDriveSetting& setting, TDriveUtility& utility)
      : Drive(drive), Exec(TransportFor(setting)), Utility(utility) {}
  ~TDriveChanges();
  TDriveChanges(const TDriveChanges&) = delete;
  TDriveChanges& operator=(const TDriveChanges&) = delete;

  // 2352-byte blocks for READ(10); false when the drive refused them.
  bool SetBlockLength(int form);
  // Writes page 01 from the settings; the error-recovery byte read back, or 255.
  uint8_t ApplyErrorRecovery(const TDriveSetting& setting);
  // After a drive reset: page 01 and the block length this rip set, written again.
  uint8_t Reapply(const TDriveSetting& setting);
  void Lock();
  // Default page 01, the block length the drive had, the tray unlocked; false when the
  // drive refused any of it.
  bool Restore();

 private:
  const TKrCdRom& Drive;
  TScsiExec Exec;
  TDriveUtility& Utility;
  bool PageChanged = false;
  bool BlockChanged = false;
  bool Locked = false;
  int Form = 0;
  uint8_t SavedDensity = 0;
  uint32_t SavedBlockLength = 0;
};

struct TAudioRipper::TRun {
  TRun(const TKrCdRom& drive, const TDriveSetting& setting, TDriveUtility& utility)
      : Drive(drive, setting, utility) {}

  TDiskOut Out;
  std::unique_ptr<TKrParagraphBoundaryBuffer> Buffer;
  TSynchronizer Sync;
  TDriveChanges Drive;
  int64_t StartSector = 0;
  int64_t EndSector = 0;
  bool FirstBlock = true;
  // The host refused the read command: the rip ends without a sample.
  bool Refused = false;
};
