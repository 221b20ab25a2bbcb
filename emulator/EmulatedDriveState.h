#pragma once
// Internal to the emulated drive: its state and the command handlers of each unit.
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <vector>

#include "emulator/Disc.h"
#include "emulator/EmulatedDrive.h"
#include "platform/ScsiCodes.h"
#include "platform/ScsiResult.h"
#include "sector/Datasector.h"

namespace emu::detail {

constexpr size_t kLogLimit = 65536;  // oldest entries are dropped beyond this

using Page01 = std::array<uint8_t, 12>;

// What a handler answers: the bytes it put into the host's buffer and its status.
struct Outcome {
  size_t Transferred = 0;
  uint8_t Status = kStatusGood;
  std::array<uint8_t, 18> Sense{};
  bool HasSense = false;
  bool TransportError = false;
  uint32_t ServiceMs = 0;  // how long the drive took over it
};

Outcome Good(size_t transferred = 0);
// CHECK CONDITION with fixed-format sense; `info` (an LBA) sets VALID when given.
Outcome Check(uint8_t key, scsi::AscPair code, size_t transferred = 0, const int32_t* info = nullptr);
Outcome IllegalRequest(scsi::AscPair code);

// Copies min(data, buffer) bytes; the count copied.
size_t CopyOut(std::span<const uint8_t> data, std::span<uint8_t> buffer);

// A track start taken from the TOC, for drives that decide a sector's type by it.
struct TocTrack {
  int32_t StartLba;
  uint8_t Control;
};

struct DriveState {
  std::shared_ptr<const Disc> DiscRef;
  const Disc& D;

  Page01 CurrentPage{};
  Page01 DefaultPage{};
  Page01 SavedPage{};
  uint32_t BlockLen = 2048;
  uint8_t Density = 0x00;
  bool Lock = false;
  uint16_t Speed = 0;

  bool UnitAttentionPending;
  bool BecomingReadyPending;
  bool ResetPending = false;  // the host reset the drive after a time-out
  int64_t CachedLba = -1;     // the sector the drive read last, whose outcome its cache holds
  bool CachedFailure = false;

  std::array<uint32_t, 256> OpcodeCounts{};
  uint64_t JitterState;
  std::deque<CommandLogEntry> CommandLog;

  // Precomputed from the disc.
  int32_t PhysicalEnd = 0;    // first LBA after the last recorded extent
  int32_t BeyondFrom = -1;    // first LBA of the beyond-lead-out behaviour; -1: none
  std::vector<TocTrack> TocTracks;  // ascending by start

  explicit DriveState(std::shared_ptr<const Disc> disc);

  // Handlers, one unit each.
  Outcome Inquiry(std::span<const uint8_t> cdb, std::span<uint8_t> in);
  Outcome ReadToc(std::span<const uint8_t> cdb, std::span<uint8_t> in);
  Outcome ReadCd(std::span<const uint8_t> cdb, std::span<uint8_t> in);
  Outcome ReadCdda(std::span<const uint8_t> cdb, std::span<uint8_t> in);
  Outcome Read10(std::span<const uint8_t> cdb, std::span<uint8_t> in);
  Outcome ModeSense(std::span<const uint8_t> cdb, std::span<uint8_t> in);
  Outcome ModeSelect(std::span<const uint8_t> cdb, std::span<const uint8_t> out);
  Outcome SetCdSpeed(std::span<const uint8_t> cdb);

  // Mode pages as MODE SENSE shows them (page control 0..3).
  Page01 ErrorRecoveryPage(uint8_t pageControl) const;
  std::vector<uint8_t> CapabilitiesPage(uint8_t pageControl) const;
  // Q CONTROL of the TOC track holding lba; -1 outside every TOC track.
  int TocControlAt(int32_t lba) const;
  // What a host's reset after a time-out leaves: page 01 and the block length at their defaults.
  void Reset();
  // Next jitter draw in [-Jitter, Jitter] samples; deterministic from the construction seed.
  int32_t NextJitter();
  // Next draw of the drive's own repeatable generator (garbage, flaky sectors).
  uint64_t NextRandom();
};

// Sub-channel conversions from the de-interleaved store (P..W, 12 bytes each).
void InterleaveSubchannel(const uint8_t* deinterleaved, uint8_t out[96], bool keepPQ);
// 16-byte formatted Q from the 12 stored Q bytes; binary turns ADR-1 BCD fields binary.
void FormatQ(const uint8_t* q12, uint8_t out[16], bool binary);

}  // namespace emu::detail
