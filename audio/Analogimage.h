#pragma once
// Turns a recording of a data track played as audio back into a disc image of raw
// 2352-byte sectors: finds the sync headers, descrambles, and asks a decider what to do
// where the sync is missing or lost.
#include <cstdint>
#include <filesystem>

#include "audio/Analogfile.h"

// The answers of the three sync dialogs, numbered as the dialogs' modal results.
enum class TSyncFoundChoice : int { Cancel = 1, Continue = 2, Specify = 3 };
enum class TNoSyncChoice : int { Cancel = 1, Specify = 2 };
enum class TSyncLostChoice : int { Stop = 1, Descramble = 2, NoScramble = 3, Search = 4, Specify = 5 };

class IAnalogSyncDecider {
 public:
  virtual ~IAnalogSyncDecider() = default;
  // A sync header at `position`; Specify puts the chosen start in `offset`.
  virtual TSyncFoundChoice SyncFound(int32_t position, int32_t& offset) = 0;
  // No sync header anywhere; Specify puts the start of forced descrambling in `offset`.
  virtual TNoSyncChoice NoSync(int32_t& offset) = 0;
  // The sector at `position` has no sync header; Specify puts the next sector in `offset`.
  virtual TSyncLostChoice SyncLost(int32_t position, int32_t& offset) = 0;
};

enum class TImageOutcome : uint8_t {
  Written,       // the image holds every sector up to where the loop ended
  Cancelled,     // the user cancelled before the image was created
  SameFile,      // the image path names the recording itself
  CannotCreate,  // the image file could not be created
  WriteFailed,   // a write to the image failed: the image is incomplete
  ReadFailed,    // the recording could not be read to its end: the image is incomplete
  BadOffset,     // a chosen start lies outside the recording's data
};

struct TImageResult {
  TImageOutcome Outcome = TImageOutcome::Cancelled;
  int64_t Sectors = 0;     // sectors written
  int64_t Forced = 0;      // of them, descrambled without a sync header
  int64_t AsRead = 0;      // of them, written as read
  bool Written() const { return Outcome == TImageOutcome::Written; }
};

// First offset at or after `start` where the sync header begins; -1 when none.
int32_t SearchSync(TAnalogFile& file, int32_t start);

// Writes the image of an open recording. Only a cancel before the image exists leaves
// no file behind; any other stop keeps what was written.
TImageResult MakeImage(TAnalogFile& file, const std::filesystem::path& image, IAnalogSyncDecider& decider);
