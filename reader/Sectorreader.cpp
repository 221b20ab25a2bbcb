#include "reader/Sectorreader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "drive/Cdbbuild.h"
#include "drive/Driveutility.h"
#include "drive/Transport.h"
#include "platform/Clock.h"
#include "platform/ScsiCodes.h"
#include "reader/Discend.h"
#include "sector/Address.h"
#include "sector/Bytes.h"
#include "sector/Datasector.h"
#include "sector/Krbuffer.h"
#include "sector/Kredc.h"

namespace {

constexpr uint8_t kNoSubChannel = 0;
constexpr uint8_t kAnySectorType = 0;
constexpr uint8_t kAllHeaders = 0x60;

// Runs at memcmp's speed: the tail of every cooked batch is scanned.
bool IsAllZero(const uint8_t* data, size_t size) {
  return size == 0 || (data[0] == 0 && std::memcmp(data, data + 1, size - 1) == 0);
}

const TKrEdc& Edc() {
  static const TKrEdc edc;
  return edc;
}

}  // namespace

TSectorReader::TSectorReader() : Setting(Bounded(TDriveSetting{})) {}

TSectorReader::~TSectorReader() { Release(); }

void TSectorReader::SetDrive(const TKrCdRom& drive, const TDriveSetting& setting) {
  // What the cache holds was read from the old drive under the old settings, and a page
  // Prepare set belongs to the old drive: both go before the switch.
  Release();
  ResidualTold = false;
  SilentFrom = -1;
  Refused = false;
  FailingFrames.clear();
  AudioView = TAudioView::Unknown;
  CdRom = drive;
  // Held to their ranges: no stored value may size a transfer past its buffers or stall
  // a job.
  Setting = Bounded(setting);
}

void TSectorReader::FreeCache() {
  CacheStart = CacheCount = 0;
  CacheData.reset();
  CacheStatus.reset();
  CacheSlots = 0;
}

void TSectorReader::ClearCache() {
  CacheStart = CacheCount = 0;
  CacheRequest = dtUnknown;
  if (!CacheData) return;
  std::memset(CacheData.get(), 0, size_t{CacheSlots} * kRawSectorSize);
  std::fill_n(CacheStatus.get(), CacheSlots, 0);
}

bool TSectorReader::EnsureCache(uint32_t slots) {
  if (CacheData && CacheSlots >= slots) return true;
  FreeCache();
  try {
    CacheData = std::make_unique<uint8_t[]>(size_t{slots} * kRawSectorSize);
    CacheStatus = std::make_unique<int32_t[]>(slots);
    CacheSlots = slots;
  } catch (const std::bad_alloc&) {
    FreeCache();
    return false;
  }
  return true;
}

void TSectorReader::Prepare() {
  FreeCache();
  Refused = false;
  FailingFrames.clear();
  AudioView = TAudioView::Unknown;
  EnsureCache(std::max(Setting.DataReadAtOnce, Setting.ExtReadAtOnce));
  ApplyErrorRecovery();
  PageChanged = true;
}

bool TSectorReader::ApplyErrorRecovery() {
  const TScsiExec exec = TransportFor(Setting);
  const bool set = WriteErrorRecovery(exec, CdRom, Setting);
  const std::optional<uint8_t> current = CurrentErrorRecovery(exec, CdRom);
  ErrorRecoveryByte = current.value_or(255);
  return set && current;
}

void TSectorReader::Release() {
  FreeCache();
  if (!PageChanged) return;
  PageChanged = false;
  CdbResetErrorRecovery(TransportFor(Setting), CdRom, 0);
}

TReaderSession::TReaderSession(TSectorReader& reader, TDriveUtility* utility) : Reader(reader), Utility(utility) {
  Reader.Prepare();
}

TReaderSession::~TReaderSession() {
  try {
    if (Utility != nullptr) Utility->RestoreErrorRecovery();
    Reader.Release();
  } catch (...) {
  }
}

uint8_t TSectorReader::DetectSectorType(const uint8_t* sector) {
  return ClassifySector(sector);
}

bool TSectorReader::HoldsUp(uint8_t* sector, uint8_t dataType) {
  // Most sectors are whole: check before the corrector takes its copy.
  if (EdcHolds(sector, dataType)) return true;
  return dataType == dtMode1 && Corrector.CorrectOrRestore(sector, Setting.SoftEccRetryCount);
}

bool TSectorReader::EdcHolds(const uint8_t* sector, uint8_t dataType) {
  switch (dataType) {
    case dtMode1: return Edc().Calc(sector) == GetLe32(sector + kMode1EdcOffset);
    case dtMode2Form1:
      return Edc().CalcRange(sector + kSubheaderOffset, kForm1EdcOffset - kSubheaderOffset) ==
             GetLe32(sector + kForm1EdcOffset);
    case dtMode2Form2: {
      const uint32_t stored = GetLe32(sector + kForm2EdcOffset);  // 0: no EDC recorded
      return stored == 0 || Edc().CalcRange(sector + kSubheaderOffset, kForm2EdcOffset - kSubheaderOffset) == stored;
    }
    default: return true;
  }
}

int64_t TSectorReader::GetGoodCount(int64_t start, int64_t count, const uint8_t* sense) const {
  return GoodBeforeFailure(sense, start, count, ErrorRecoveryByte, TFailingBlock::LeftOut);
}

int64_t TSectorReader::Counted(const TCommandResult& result, int64_t start, uint32_t count) {
  LastGood = result.Good();
  LastReset = result.DriveReset();
  LastRefused = result.Refused;
  Refused = Refused || result.Refused;
  LastTimedOut = result.Scsi.TransportError && !result.Refused;
  const uint8_t key = result.Good() ? 0 : result.Scsi.SenseKey();
  LastDriveFailed = LastTimedOut || key == scsi::kKeyMediumError || key == scsi::kKeyHardwareError;
  LastResidual = result.Scsi.TransportError ? 0 : result.Scsi.Residual;
  ResidualTold = ResidualTold || LastResidual != 0;
  if (result.Good()) return count;
  return result.Scsi.SenseLength >= kTransportSenseBytes ? GetGoodCount(start, count, result.Scsi.Sense.data()) : 0;
}

int64_t TSectorReader::ReadCdUser(int64_t start, uint32_t count, uint8_t* buffer) {
  if (count == 0) return 0;
  return Counted(CdbReadCd(TransportFor(Setting), CdRom, start, count, kNoSubChannel, buffer, kReadTimeoutMs),
                 start, count);
}

int64_t TSectorReader::ReadCdTyped(int64_t start, uint32_t count, uint8_t* buffer, uint8_t expectedType) {
  if (count == 0) return 0;
  const TCommandResult result =
      CdbReadCdEx(TransportFor(Setting), CdRom, start, count, expectedType, /*sync=*/false, /*edcEcc=*/false,
                  /*userData=*/true, 0, kNoSubChannel, buffer, kReadTimeoutMs);
  return Counted(result, start, count);
}

int64_t TSectorReader::ReadCdRaw(int64_t start, uint32_t count, uint8_t* buffer) {
  if (count == 0) return 0;
  const TCommandResult result =
      CdbReadCdEx(TransportFor(Setting), CdRom, start, count, kAnySectorType, /*sync=*/true, /*edcEcc=*/true,
                  /*userData=*/true, kAllHeaders, kNoSubChannel, buffer, kReadTimeoutMs);
  return Counted(result, start, count);
}

int64_t TSectorReader::ReadCddaRaw(int64_t start, uint32_t count, uint8_t* buffer) {
  if (count == 0) return 0;
  return Counted(CdbReadCdda(TransportFor(Setting), CdRom, start, count, kNoSubChannel, buffer, kReadTimeoutMs),
                 start, count);
}

int64_t TSectorReader::SendRead(uint32_t command, int64_t start, uint32_t count, uint8_t dataType,
                                uint8_t* buffer) {
  std::memset(buffer, 0, size_t{count} * kRawSectorSize);
  LastCount = count;
  LastSize = kRawSectorSize;
  if (command == rcReadCdUser || command == rcReadCdTyped) GetUserDataLayout(dataType, &LastSize, nullptr);
  int64_t good = 0;
  switch (command) {
    case rcReadCdUser: good = ReadCdUser(start, count, buffer); break;
    case rcReadCdTyped: good = ReadCdTyped(start, count, buffer, GetExpectedSectorType(dataType)); break;
    case rcReadCdRaw: good = ReadCdRaw(start, count, buffer); break;
    case rcReadCdda: good = ReadCddaRaw(start, count, buffer); break;
    default: LastGood = LastReset = LastRefused = LastTimedOut = LastDriveFailed = false; return 0;
  }
  platform::Sleep(Setting.Interval);
  return std::clamp<int64_t>(good, 0, count);
}

int64_t TSectorReader::IssueRead(uint32_t command, int64_t start, uint32_t count, uint8_t dataType,
                                 uint8_t* buffer) {
  int64_t good = SendRead(command, start, count, dataType, buffer);
  if (LastReset) {
    // The reset put page 01 back to the drive's defaults (retries, transfer block): reads
    // count only under the settings the user chose. The first command after the reset may
    // meet the reset's own UNIT ATTENTION, so the page is written twice at most. A read
    // that timed out ran under them and failed: it is not paid for twice.
    const bool timedOut = LastTimedOut;
    if (!ApplyErrorRecovery() && !ApplyErrorRecovery()) good = 0;
    else if (!timedOut) good = SendRead(command, start, count, dataType, buffer);
  }
  RememberFailure(start, count, good);
  return good;
}

void TSectorReader::RememberFailure(int64_t start, uint32_t count, int64_t good) {
  if (count == 1 && LastGood) FailingFrames.erase(start);
  if (!LastDriveFailed) return;
  if (good > 0 && good < count) {
    FailingFrames.insert(start + good);  // the block the sense names
    return;
  }
  for (uint32_t i = 0; i < count; ++i) FailingFrames.insert(start + i);
}

uint32_t TSectorReader::AroundFailures(int64_t start, uint32_t count, uint32_t least) const {
  const auto next = FailingFrames.lower_bound(start);
  const int64_t before = next == FailingFrames.end() ? count : *next - start;
  return static_cast<uint32_t>(std::min<int64_t>(count, std::max<int64_t>(before, least)));
}

// Sectors a batch from `start` may span: it never leaves the run of frame addresses
// that convert to consecutive LBAs (the program area, or the lead-in area).
static uint32_t ClipToAddressRun(int64_t start, uint32_t count) {
  const int64_t runEnd = start < kLeadInFirstFrame ? kLeadInFirstFrame : kLeadInEndFrame;
  return static_cast<uint32_t>(std::clamp<int64_t>(runEnd - start, 0, count));
}

bool TSectorReader::ReadSector(int64_t address, uint8_t dataType, uint8_t& reportedType, uint8_t* buffer) {
  reportedType = dtUnknown;
  if (!IsConvertibleFrame(address)) {
    std::memset(buffer, 0, kRawSectorSize);
    return false;
  }
  if (!CacheData) Prepare();
  if (!CacheData) {
    std::memset(buffer, 0, kRawSectorSize);
    return false;
  }
  if (CacheCount != 0) {
    // A slot answers only the type it was read for: its bytes were cut to that geometry.
    if (address >= CacheStart && address < CacheStart + CacheCount && dataType == CacheRequest) {
      std::memcpy(buffer, Slot(address - CacheStart), kRawSectorSize);
      reportedType = static_cast<uint8_t>(CacheStatus[address - CacheStart]);
      return true;
    }
    ClearCache();
  }
  const bool beyond = !(address < DiscEndAddress);
  const uint32_t command = beyond ? Setting.ExtReadCmd : Setting.DataReadCmd;
  if (command > rcReadCdda) return false;
  // Settings may have grown since the cache was sized.
  if (!EnsureCache(std::max(Setting.DataReadAtOnce, Setting.ExtReadAtOnce))) {
    std::memset(buffer, 0, kRawSectorSize);
    return false;
  }
  if (beyond || command == rcReadCdda) return ReadBeyond(command, address, dataType, reportedType, buffer);
  return ReadBefore(command, address, dataType, reportedType, buffer);
}

bool TSectorReader::TransferFits(const uint8_t* data, int64_t good) const {
  const size_t size = LastSize, fill = static_cast<size_t>(good) * size;
  // Under transfer block the failing block comes too.
  const size_t most = good < LastCount ? fill + size : fill;
  const size_t all = size_t{LastCount} * kRawSectorSize;
  // A transport that ever told a residual tells each one (0: all sent); ASPI and some
  // drivers never do.
  if (ResidualTold) {
    const size_t sent = all - std::min(all, LastResidual);
    if (sent < fill || sent > most) return false;
  }
  // The buffer was zeroed: bytes past what sectors of this size fill were sent for
  // sectors of another size (an audio sector in a batch of data).
  const size_t from = std::min(most, all);
  return IsAllZero(data + from, all - from);
}

int64_t TSectorReader::CheckRawBatch(uint8_t* data, int64_t address, int64_t good, uint8_t dataType, bool verify) {
  for (int64_t i = 0; i < good; ++i) {
    uint8_t* sector = data + i * kRawSectorSize;
    uint8_t checkAs = dataType;
    // Blocks of a failed read may never have been sent: only a sector that proves
    // itself counts, corrected or not, and audio carries nothing to prove itself by.
    if (verify && !HasSyncPattern(sector)) return i;
    if (dataType == dtAudio) {
      // Audio carries no header and no EDC; a data sector asked as audio still does.
      if (!HasSyncPattern(sector)) continue;
      checkAs = DetectSectorType(sector);
    }
    // An XA track interleaves Form 1 and Form 2 sectors: each is held to the EDC of
    // the form its subheader names (a damaged subheader breaks either EDC).
    if (dataType == dtMode2Form1 || dataType == dtMode2Form2)
      checkAs = (sector[kSubmodeOffset] & kSubmodeForm2) ? dtMode2Form2 : dtMode2Form1;
    // Corrected before the header is compared: Mode 1 correction repairs a header too.
    if (Setting.SoftEccEnabled && !HoldsUp(sector, checkAs)) return i;
    if (verify && !EdcHolds(sector, checkAs)) return i;
    // A drive that drifts returns whole, sound sectors of another address.
    if (!IsSectorAt(sector, address + i)) return i;
  }
  return good;
}

int64_t TSectorReader::Confirmed(uint32_t command, int64_t address, int64_t good, uint8_t dataType, uint8_t* data) {
  // A drive that fails part-way may leave the blocks before the failing one unsent or
  // stale, name another block in its sense, and (over ATAPI) tell no residual. Raw
  // blocks prove themselves by sync, header and EDC; cooked ones only by a read of
  // them alone that ends GOOD.
  if (command == rcReadCdRaw && CheckRawBatch(data, address, good, dataType, /*verify=*/true) == good) return good;
  const auto fewer = static_cast<uint32_t>(good);
  good = IssueRead(command, address, fewer, dataType, data);
  return LastGood ? good : 0;
}

int64_t TSectorReader::ReadBatch(uint32_t command, int64_t address, uint32_t count, uint8_t dataType,
                                 uint8_t* data) {
  int64_t good = IssueRead(command, address, count, dataType, data);
  if (LastRefused) return 0;
  if (!LastGood && good > 0) good = Confirmed(command, address, good, dataType, data);
  // A bad sector, or a sector of another type, later in the batch must not fail this one.
  bool fits = command == rcReadCdRaw || TransferFits(data, good);
  if ((good == 0 || !fits) && count > 1) {
    good = IssueRead(command, address, 1, dataType, data);
    fits = command == rcReadCdRaw || TransferFits(data, good);
  }
  if (command != rcReadCdRaw) return fits ? good : 0;
  // Under transfer block the drive sends the block it could not correct: soft ECC may
  // still repair it, and then it proves itself like any block of a failed read.
  if (good == 0 && !LastGood) return CheckRawBatch(data, address, 1, dataType, /*verify=*/true);
  return CheckRawBatch(data, address, good, dataType, /*verify=*/false);
}

bool TSectorReader::ReadBefore(uint32_t command, int64_t address, uint8_t dataType, uint8_t& reportedType,
                               uint8_t* buffer) {
  // A batch never runs past the disc end: drives refuse such a read as a whole.
  uint32_t count = static_cast<uint32_t>(std::min<int64_t>(Setting.DataReadAtOnce, DiscEndAddress - address));
  count = AroundFailures(address, ClipToAddressRun(address, count), 1);
  TKrParagraphBoundaryBuffer transfer(size_t{count} * kRawSectorSize);
  uint8_t* data = transfer.GetBuffer();
  if (data == nullptr || count == 0) return false;

  const int64_t good = ReadBatch(command, address, count, dataType, data);
  uint32_t size = kRawSectorSize, offset = 0;
  if (command != rcReadCdRaw) GetUserDataLayout(dataType, &size, &offset);
  CacheStart = address;
  CacheCount = good;
  CacheRequest = dataType;
  for (int64_t i = 0; i < good; ++i) {
    std::memcpy(Slot(i) + offset, data + i * size, size);
    CacheStatus[i] = dataType;
  }
  // A failed sector comes back as the drive sent it, marked failed.
  std::memcpy(buffer + offset, data, size);
  if (good == 0) return false;
  reportedType = dataType;
  return true;
}
