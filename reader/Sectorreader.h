#pragma once
// Gives the 2352-byte image of the sector at a frame address, with the DataType it was
// read as. Keeps a read-ahead cache of the last batch; reads before the disc end
// (DiscEndAddress) with DataReadCmd and at or after it with ExtReadCmd, locating the
// sectors of a batch there by their sync and header.
//
// What "good" vouches for depends on the strategy (DataReadCmd / ExtReadCmd):
//   2 raw READ CD and 3 READ CDDA: a data sector carries a sync and a header naming its
//     own address, and with SoftEccEnabled its EDC holds (Mode 1 after correction). An
//     audio sector carries neither: it is the drive's word. A header naming another mode
//     than asked stands only with that mode's EDC; formless Mode 2 only where asked or
//     where no mode is known.
//   0 READ CD user data and 1 typed READ CD: the drive's own correction is trusted. The
//     reader checks only that the transfer holds sectors of the asked type's size: fully
//     where the transport tells how many bytes arrived; over ASPI, which does not, a
//     sector of another type whose extra bytes are silence goes unseen. With
//     FastErrorSkip the drive does not correct at all and hands back what it read:
//     nothing here can tell that from data.
// Never good: a failed command without usable sense, the failing block under transfer
// block, a cached sector asked for under another type than it was read for.
#include <cstdint>
#include <memory>
#include <set>

#include "drive/Driveutility.h"
#include "drive/Krcdrom.h"
#include "drive/Transport.h"
#include "sector/Datasector.h"
#include "sector/Errorcorrectmode1.h"

constexpr int32_t kBeyondAttempts = 10;

class TSectorReader {
 public:
  TSectorReader();
  ~TSectorReader();
  TSectorReader(const TSectorReader&) = delete;
  TSectorReader& operator=(const TSectorReader&) = delete;

  // Copies the drive and its settings, each setting held to its documented range. Ends
  // a prepared job first (Release): nothing read before is served afterwards.
  void SetDrive(const TKrCdRom& drive, const TDriveSetting& setting);
  // Allocates the cache and sets the drive's error-recovery page for a job.
  void Prepare();
  // Frees the cache and writes the drive's default error-recovery page back.
  void Release();

  // Reads the sector at `address` as `dataType` (its user-data geometry, and the
  // expected type of typed reads). `reportedType` is the DataType of the image, 0 on
  // failure. False: the sector could not be read.
  bool ReadSector(int64_t address, uint8_t dataType, uint8_t& reportedType, uint8_t* buffer);

  // DataType of a raw, descrambled sector by its mode byte and subheader.
  static uint8_t DetectSectorType(const uint8_t* sector);
  // Good sectors of a failed read of `count` at `start`, from its fixed-format sense.
  int64_t GetGoodCount(int64_t start, int64_t count, const uint8_t* sense) const;

  // One read command of `count` sectors into `buffer` (count x 2352 bytes); the
  // number of good sectors at the start of the transfer.
  int64_t ReadCdUser(int64_t start, uint32_t count, uint8_t* buffer);
  int64_t ReadCdTyped(int64_t start, uint32_t count, uint8_t* buffer, uint8_t expectedType);
  int64_t ReadCdRaw(int64_t start, uint32_t count, uint8_t* buffer);
  int64_t ReadCddaRaw(int64_t start, uint32_t count, uint8_t* buffer);

  const TDriveSetting& GetSetting() const { return Setting; }
  int64_t GetCacheStart() const { return CacheStart; }
  int64_t GetCacheCount() const { return CacheCount; }
  // Slots the cache holds; 0 when no cache is allocated.
  uint32_t GetCacheCapacity() const { return CacheData ? CacheSlots : 0; }
  uint8_t GetErrorRecoveryByte() const { return ErrorRecoveryByte; }
  // The system refused a read command of this job (READ CDDA, to a process without the
  // raw-I/O right): the sectors asked with it failed without reaching the drive.
  bool ReadRefused() const { return Refused; }

 private:
  // Alone: the batch is to be read again as its first sector alone.
  enum class TLocate : uint8_t { Located, NotLocated, Failed, Alone };

  bool EnsureCache(uint32_t slots);
  void ClearCache();
  void FreeCache();
  uint8_t* Slot(int64_t index) const { return CacheData.get() + index * kRawSectorSize; }
  // Sectors of a read of `count` from `start` that arrived good.
  int64_t Counted(const TCommandResult& result, int64_t start, uint32_t count);
  // The last cooked transfer holds `good` sectors of the asked size and nothing more (a
  // batch that ran into sectors of another type returns them at their own size).
  bool TransferFits(const uint8_t* data, int64_t good) const;
  // Sectors of a raw batch that hold up and carry the header of their own address.
  // verify: the batch failed, so each sector must also show its sync and a matching EDC.
  int64_t CheckRawBatch(uint8_t* data, int64_t address, int64_t good, uint8_t dataType, bool verify);
  static bool EdcHolds(const uint8_t* sector, uint8_t dataType);
  // One data-area read, cut to the sectors it can vouch for; alone when the batch failed.
  int64_t ReadBatch(uint32_t command, int64_t address, uint32_t count, uint8_t dataType, uint8_t* data);
  // A raw sector with a sync whose header names `address`.
  static bool IsSectorAt(const uint8_t* sector, int64_t address);
  int64_t IssueRead(uint32_t command, int64_t start, uint32_t count, uint8_t dataType, uint8_t* buffer);
  // Notes the frames a read the drive failed on points at, and a frame read alone.
  void RememberFailure(int64_t start, uint32_t count, int64_t good);
  // Sectors of a read of up to `count` from `start` that stops before the first frame the
  // drive failed on, but takes at least `least` (beyond the disc end two, so that an
  // answer shifted by bytes still holds a whole sector).
  uint32_t AroundFailures(int64_t start, uint32_t count, uint32_t least) const;
  int64_t SendRead(uint32_t command, int64_t start, uint32_t count, uint8_t dataType, uint8_t* buffer);
  // Writes page 01 as the settings ask and reads back what the drive took.
  bool ApplyErrorRecovery();
  // Sectors of a failed batch that a read of them alone vouches for.
  int64_t Confirmed(uint32_t command, int64_t address, int64_t good, uint8_t dataType, uint8_t* data);

  // The answer to an audio-view read holds data sectors as data: user data of the asked
  // mode without a sync, or raw sectors that are not scrambled.
  bool AnsweredAsData(const uint8_t* data, int64_t bytes, uint8_t dataType) const;
  // The drive refuses audio-type reads of data sectors (ILLEGAL MODE FOR THIS TRACK), as
  // one READ CD of the CD-DA type at `start` tells; asked once a job.
  bool AudioReadsRefused(int64_t start);
  bool ReadBefore(uint32_t command, int64_t address, uint8_t dataType, uint8_t& reportedType, uint8_t* buffer);
  bool ReadBeyond(uint32_t command, int64_t address, uint8_t dataType, uint8_t& reportedType, uint8_t* buffer);
  TLocate LocateCooked(uint8_t* data, int64_t bytes, int32_t& offset, int64_t address, uint8_t dataType,
                       bool readAtAddress);
  TLocate LocateRaw(const uint8_t* data, int64_t bytes, int32_t& offset, int64_t address, uint8_t dataType);
  TLocate LocateAsAudio(const uint8_t* data, int64_t bytes, int32_t& offset, int64_t address, uint8_t dataType);
  // The locate step of the command: as audio, raw or cooked.
  TLocate LocateBatch(uint32_t command, bool asAudio, uint8_t* data, int64_t bytes, int32_t& offset, int64_t address,
                      uint8_t dataType, bool readAtAddress);
  enum class TDescramble : uint8_t { All, OnlyScrambled };
  TLocate LocateBySync(const uint8_t* data, int64_t bytes, int32_t sync, int32_t& offset, int64_t address,
                       uint8_t dataType, TDescramble descramble);
  // Corrects a raw sector of the type (Mode 1) or checks its EDC (Form 1, Form 2);
  // false when it does not hold up. Other types carry nothing to check.
  bool HoldsUp(uint8_t* sector, uint8_t dataType);
  // Classifies and corrects slot i as the settings say; true when it may be reported.
  bool CheckSlot(int64_t index, uint8_t dataType);
  // The mode a raw sector proves itself as when read for `asked`; dtUnknown for none.
  uint8_t ProvenType(uint8_t* sector, uint8_t asked);
  // The sector carries a matching EDC of that mode (a Form 2 sector without one does not).
  static bool ShowsEdcOf(const uint8_t* sector, uint8_t type);

  TKrCdRom CdRom;
  TDriveSetting Setting;
  int64_t CacheStart = 0;
  int64_t CacheCount = 0;
  std::unique_ptr<uint8_t[]> CacheData;
  std::unique_ptr<int32_t[]> CacheStatus;
  uint32_t CacheSlots = 0;
  uint8_t CacheRequest = 0;  // the DataType the cached batch was read for
  size_t LastResidual = 0;     // bytes the last read command did not transfer, when told
  bool ResidualTold = false;   // the drive's transport has told a residual
  uint32_t LastCount = 0;      // sectors the last read asked for
  bool LastGood = false;       // the last read ended GOOD
  int64_t SilentFrom = -1;     // beyond the disc end: the frame after one no read got anything from
  bool LastReset = false;      // the drive was reset under the last read (time-out, UNIT ATTENTION 29)
  bool LastRefused = false;    // the system refused the last read: no repeat of it reaches the drive
  bool LastTimedOut = false;   // the last read ran past its time-out (the host then reset the drive)
  bool LastDriveFailed = false;  // the drive failed the last read: a medium or hardware error, a time-out
  // Frames the drive failed on in this job (the one a failed read names, or each of a
  // failed batch that names none) and has not read alone since: no batch runs over them,
  // so a slow failure is paid once per attempt at the sector, not once per batch.
  std::set<int64_t> FailingFrames;
  enum class TAudioView : uint8_t { Unknown, Answered, Refused };
  TAudioView AudioView = TAudioView::Unknown;  // AudioReadsRefused, once asked
  bool Refused = false;        // ReadRefused
  uint32_t LastSize = 0;       // bytes of each as asked
  uint8_t ErrorRecoveryByte = 255;
  bool PageChanged = false;  // Prepare set the error-recovery page; Release restores it
  TMode1ErrorCorrect Corrector;
};

// One job of the sector reader: Prepare when it starts, Release on every way out, so
// that the drive's error-recovery page never stays changed. Given the engine's drive
// utility, the utility writes the default page back too, before the release.
class TReaderSession {
 public:
  explicit TReaderSession(TSectorReader& reader, TDriveUtility* utility = nullptr);
  ~TReaderSession();
  TReaderSession(const TReaderSession&) = delete;
  TReaderSession& operator=(const TReaderSession&) = delete;

 private:
  TSectorReader& Reader;
  TDriveUtility* Utility;
};
