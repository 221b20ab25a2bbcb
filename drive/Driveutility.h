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

// Under transfer block the drive sends the block it failed on too, as well as it could.
// What that block counts as:
enum class TFailingBlock : uint8_t {
  // Data reads leave it out: it comes uncorrected, and a data sector counts only when it
  // holds up (the reader proves a raw one by its own EDC before it takes it).
  LeftOut,
  // Audio reads take it: audio carries nothing to check a sector by, and the drive's
  // best attempt at the samples is better than silence.
  Taken,
};
// Leading sectors of a failed read of `count` from `start` that arrived, by the sense the
// drive gave and the error-recovery byte it took (CurrentErrorRecovery; 255 unknown): the
// sectors before the block a MEDIUM ERROR names, and under transfer block that block as
// `failing` says. 0 without such sense, with a byte this does not know, or when the block
// lies outside the read.
int64_t GoodBeforeFailure(const uint8_t* sense, int64_t start, int64_t count, uint8_t errorRecovery,
                          TFailingBlock failing);

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
