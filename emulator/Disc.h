#pragma once
// The emulated disc: what is recorded (raw sectors and sub-channel, by LBA), what the
// TOC says (which may be damaged independently), the true layout, the drive profile
// and the faults. Loaded from or saved to an image set (ImageSet.h).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ScsiCodes.h"

namespace emu {

enum class SectorKind : uint8_t { Audio, Mode1, Mode2Form1, Mode2Form2, Mode2Formless };

// One full-TOC descriptor, 11 bytes, as the drive reports it (binary).
struct TocDescriptor {
  uint8_t Session = 0;
  uint8_t AdrControl = 0;  // ADR in bits 7..4, CONTROL in bits 3..0
  uint8_t Tno = 0;
  uint8_t Point = 0;
  uint8_t Min = 0, Sec = 0, Frame = 0;
  uint8_t Zero = 0;
  uint8_t PMin = 0, PSec = 0, PFrame = 0;
  bool operator==(const TocDescriptor&) const = default;
};

// A recorded range of one sector kind: [FirstLba, EndLba). Frames covered by no
// extent (lead-out, lead-in and pregap areas between sessions) are unreadable.
struct Extent {
  int32_t FirstLba = 0;
  int32_t EndLba = 0;
  SectorKind Kind = SectorKind::Mode1;
  uint8_t Control = 0;  // Q CONTROL of the track (pre-emphasis 1, copy 2, data 4)
  bool operator==(const Extent&) const = default;
};

enum class LegacyTocPolicy : uint8_t { Honour, Reject, Format0 };
// What a multi-block read that fails part-way leaves in the host's buffer before the
// failing block, what its sense INFORMATION names and the residual it reports.
enum class PartialBlocks : uint8_t { Exact, Missing, Garbage };
enum class PartialInfo : uint8_t { Failing, First, None };
enum class PartialResidual : uint8_t { Exact, Zero };
// How the unrecorded frames between sessions (lead-out, lead-in, pregap) answer a read
// of their main channel.
enum class GapAnswer : uint8_t { Medium, NoSeek, OutOfRange, EndOfUserArea, IllegalMode };
enum class TocFailure : uint8_t { None, Legacy, Both };

struct DriveProfile {
  std::string Vendor = "QUARNEL";
  std::string Product = "EMULATED CD-ROM";
  std::string Revision = "1.00";
  uint8_t AnsiVersion = 0;          // 0: 10-byte MODE commands; other: 6-byte
  bool BcdToc = false;              // full TOC fields in BCD
  bool BinaryQ = false;             // formatted Q in binary, lead-out TNO 110
  std::vector<uint16_t> Speeds = {176, 353, 706, 1411, 2822, 4234, 5645, 7056};  // kB/s, ascending
  int32_t AudioOffset = 0;          // samples; positive: audio reads start late
  int32_t Jitter = 0;               // audio reads start up to this many samples early or late
  uint32_t Form2Size = 2328;        // cooked Form 2 size: 2328 or 2324
  bool BlockDescriptor = true;      // MODE SENSE returns an 8-byte block descriptor
  LegacyTocPolicy LegacyToc = LegacyTocPolicy::Honour;
  bool ReadCddaSupported = true;    // vendor 0xD8
  bool SetSpeedSupported = true;
  bool ScrambleAudioReads = false;  // audio-type READ CD of data sectors: scrambled; off: the CD-DA type 05/64/00
  uint8_t DefaultRetryCount = 5;    // page 01 byte 3 default
  uint8_t DefaultErrorRecovery = 0x00;
  // How a read that fails part-way ends (the Linux ATAPI path reports no residual).
  PartialBlocks Partial = PartialBlocks::Exact;
  PartialInfo Info = PartialInfo::Failing;
  PartialResidual Residual = PartialResidual::Zero;
  // Service times: a failing sector costs FailTimeMs plus RetryTimeMs per read retry of
  // page 01; a command that takes longer than its time-out times out, and the host's
  // reset brings page 01 and the block length back to their defaults (UNIT ATTENTION 29/00).
  uint32_t FailTimeMs = 0;
  uint32_t RetryTimeMs = 0;
  bool ResetOnTimeout = true;
  // A raw read of a sector beyond the drive's correction fails (11/05) unless DCR is
  // set; under transfer block the damaged block is sent before the CHECK CONDITION.
  bool RawUncorrectable = true;
  GapAnswer Gap = GapAnswer::Medium;  // 03/11/00, 03/02/00, 05/21/00, 05/63/00, 05/64/00
  uint32_t GapTimeMs = 0;             // how long such a read takes to fail
  // A read of "any type" stops at the first sector of another kind (05/64/00).
  bool AnyTypeStops = false;
  // A data sector's type is its header's mode byte (and subheader form), as read.
  bool TypeFromHeader = false;
  // A re-read of the sector a read just failed on repeats that outcome from the cache.
  bool CacheRepeat = false;
  // The Linux command filter refuses 0xD8 to a process without CAP_SYS_RAWIO (EPERM).
  bool FilterVendorCommands = false;
  // 6-byte MODE commands are refused by a drive that announces ANSI version 0.
  bool StrictModeCommands = false;
  // READ(10) reads audio sectors only under the CD-DA density code (0x82).
  bool Read10NeedsDensity = false;
  uint8_t Page01Dropped = 0x00;  // page 01 byte 2 bits a MODE SELECT loses silently
  bool QCrcZero = false;          // formatted Q carries zeros for its CRC
  bool operator==(const DriveProfile&) const = default;
};

// Fault ranges are [FirstLba, EndLba), like extents (the .flt writes them inclusive).
struct UnreadableFault {
  int32_t FirstLba, EndLba;
  uint8_t Asc = scsi::kUnrecoveredReadError.Asc, Ascq = scsi::kUnrecoveredReadError.Ascq;
  bool operator==(const UnreadableFault&) const = default;
};
// Sectors that read on some attempts only: each read of one fails with this percentage,
// drawn from the drive's repeatable generator.
struct FlakyFault {
  int32_t FirstLba, EndLba;
  uint8_t Percent;
  bool operator==(const FlakyFault&) const = default;
};
struct RetryFault {
  int32_t FirstLba, EndLba;
  uint8_t RetriesNeeded;
  bool operator==(const RetryFault&) const = default;
};
// Sectors a drive mis-seeks on: a read of one returns the sector Offset frames away, with
// GOOD status.
struct NeighbourFault {
  int32_t FirstLba, EndLba;
  int32_t Offset;
  bool operator==(const NeighbourFault&) const = default;
};
// Bytes the disc returns wrong. Soft: the drive corrects them unless DCR is set.
// Hard: beyond the drive's correction; raw and audio reads return them, cooked data
// reads fail with MEDIUM ERROR unless DCR is set.
struct ByteFault {
  int32_t Lba;
  uint16_t Offset;
  uint8_t Xor;
  bool Hard;
  bool operator==(const ByteFault&) const = default;
};

enum class BeyondLeadOut : uint8_t { Serve, Refuse, Drift, Scrambled, ByteOffset, NotReady };
enum class CommandFaultKind : uint8_t { CheckCondition, Timeout };
// The Nth (1-based) command with this opcode fails; Nth 0 fails every one.
struct CommandFault {
  uint8_t Opcode = 0;
  uint32_t Nth = 0;
  CommandFaultKind Kind = CommandFaultKind::CheckCondition;
  uint8_t Key = scsi::kKeyHardwareError, Asc = scsi::kInternalTargetFailure.Asc,
          Ascq = scsi::kInternalTargetFailure.Ascq;
  bool operator==(const CommandFault&) const = default;
};

struct FaultSet {
  std::vector<UnreadableFault> Unreadable;
  std::vector<RetryFault> Retry;
  std::vector<FlakyFault> Flaky;
  std::vector<NeighbourFault> Neighbour;
  std::vector<ByteFault> Bytes;
  TocFailure Toc = TocFailure::None;
  BeyondLeadOut Beyond = BeyondLeadOut::Serve;
  int32_t BeyondFromLba = -1;   // -1: the TOC's last lead-out
  int32_t BeyondAmount = 0;     // frames of drift or bytes of offset
  std::vector<CommandFault> Commands;
  bool NoMedium = false;
  bool BecomingReadyOnce = false;
  bool UnitAttentionOnce = false;
  bool operator==(const FaultSet&) const = default;
};

// Raw storage of the recorded area: 2352 main bytes and 96 sub-channel bytes
// (de-interleaved, P first, then Q, ..., W) per LBA from 0.
class SectorStore {
 public:
  virtual ~SectorStore() = default;
  virtual int32_t SectorCount() const = 0;
  virtual const uint8_t* Main(int32_t lba) const = 0;  // null outside 0..count-1
  virtual const uint8_t* Sub(int32_t lba) const = 0;   // null when there is no sub-channel
};

// In-memory store, for discs built in a test or by the builder.
class MemorySectorStore : public SectorStore {
 public:
  explicit MemorySectorStore(int32_t sectors);
  int32_t SectorCount() const override { return Count; }
  const uint8_t* Main(int32_t lba) const override;
  const uint8_t* Sub(int32_t lba) const override;
  uint8_t* MutableMain(int32_t lba);
  uint8_t* MutableSub(int32_t lba);

 private:
  int32_t Count;
  std::vector<uint8_t> MainData;
  std::vector<uint8_t> SubData;
};

struct Disc {
  uint8_t FirstSession = 1;  // READ TOC header
  uint8_t LastSession = 1;
  std::vector<TocDescriptor> Toc;
  std::vector<Extent> Layout;
  std::shared_ptr<const SectorStore> Store;
  DriveProfile Profile;
  FaultSet Faults;

  // Kind of the sector at lba; empty when nothing is recorded there.
  std::optional<SectorKind> KindAt(int32_t lba) const;
  // LBA of the last ADR-1 A2 (lead-out) in the TOC; -1 when there is none.
  int32_t TocLeadOutLba() const;
};

}  // namespace emu
