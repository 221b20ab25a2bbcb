// Reading at and beyond the lead-out: drives return sectors from the wrong place,
// scrambled, shifted by some bytes, or nothing. The sectors of a batch are found by
// their sync, descrambled, corrected, and taken only when their header names them.
#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "drive/Cdbbuild.h"
#include "platform/Clock.h"
#include "platform/ScsiCodes.h"
#include "reader/Sectorreader.h"
#include "sector/Address.h"
#include "sector/Bytes.h"
#include "sector/Datasector.h"
#include "sector/Krbuffer.h"
#include "sector/Scramble.h"

namespace {

int32_t ToOffset(int64_t value) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

bool TSectorReader::IsSectorAt(const uint8_t* sector, int64_t address) {
  return HasSyncPattern(sector) && GetHeaderAddress(sector) == address;
}

bool TSectorReader::ShowsEdcOf(const uint8_t* sector, uint8_t type) {
  // A Form 2 sector may be written without EDC (0): that proves nothing.
  if (type == dtMode2Form2 && GetLe32(sector + kForm2EdcOffset) == 0) return false;
  return type != dtMode2Formless && type != dtUnknown && EdcHolds(sector, type);
}

uint8_t TSectorReader::ProvenType(uint8_t* sector, uint8_t asked) {
  constexpr uint8_t kNone = dtUnknown;
  const bool check = Setting.SoftEccEnabled != 0;
  const uint8_t named = DetectSectorType(sector);
  if (!check && !IsDataMode(asked)) return named;  // unchecked as the settings ask
  if (named == asked) return !check || HoldsUp(sector, named) ? named : kNone;
  // The header names another mode than asked (one damaged byte turns Mode 1 into
  // formless Mode 2): the sector is that mode only with that mode's EDC...
  if (ShowsEdcOf(sector, named) || (check && named == dtMode1 && HoldsUp(sector, named))) return named;
  // ...else it must hold up as the asked mode; Mode 1 correction mends the header too.
  if (IsDataMode(asked)) return (check ? HoldsUp(sector, asked) : EdcHolds(sector, asked)) ? asked : kNone;
  if (HoldsUp(sector, dtMode1)) return dtMode1;
  // Formless Mode 2 carries no EDC: without a mode asked it stands only off audio tracks.
  return named == dtMode2Formless && asked != dtAudio ? named : kNone;
}

bool TSectorReader::CheckSlot(int64_t index, uint8_t dataType) {
  uint8_t* sector = Slot(index);
  if (Setting.ForceType) {
    // The caller's type, as the user forces it; only Mode 1 is checked blind.
    CacheStatus[index] = dataType;
    return !Setting.SoftEccEnabled || dataType != dtMode1 || HoldsUp(sector, dataType);
  }
  const uint8_t type = ProvenType(sector, dataType);
  // Unchecked as the settings ask and no mode asked, a sector of no known mode stands as asked.
  const bool unchecked = !Setting.SoftEccEnabled && !IsDataMode(dataType);
  CacheStatus[index] = type == dtUnknown && unchecked ? dataType : type;
  return type != dtUnknown || unchecked;
}

TSectorReader::TLocate TSectorReader::LocateBySync(const uint8_t* data, int64_t bytes, int32_t sync,
                                                   int32_t& offset, int64_t address, uint8_t dataType,
                                                   TDescramble descramble) {
  const int64_t first = sync % static_cast<int64_t>(kRawSectorSize);
  const int64_t whole = std::min<int64_t>((bytes - first) / static_cast<int64_t>(kRawSectorSize), CacheSlots);
  const int64_t reference = (sync - first) / static_cast<int64_t>(kRawSectorSize);
  // The first sync lies in a sector cut off by the end of the transfer: nothing to go by.
  if (reference >= whole) {
    offset += 1;
    return TLocate::NotLocated;
  }
  std::memcpy(Slot(0), data + first, static_cast<size_t>(whole) * kRawSectorSize);
  for (int64_t i = 0; i < whole; ++i)
    if (descramble == TDescramble::All || IsScrambled(Slot(i))) Descramble(Slot(i), 0, kRawSectorSize);

  // Corrected before the headers are compared: Mode 1 correction repairs a header too.
  std::array<bool, kMaxSectorsAtOnce> holds{};
  for (int64_t i = 0; i < whole; ++i) holds[i] = CheckSlot(i, dataType);
  int64_t found = -1;
  for (int64_t i = 0; i < whole && found < 0; ++i)
    if (IsSectorAt(Slot(i), address)) found = i;
  if (found < 0) {
    offset = ToOffset(address - GetHeaderAddress(Slot(reference)));
    return TLocate::NotLocated;
  }
  if (!holds[found]) return TLocate::Failed;

  // Keep only the run of sectors that follow in order and hold up: a drive beyond the
  // lead-out may repeat or skip frames, and a cached slot is later reported good.
  int64_t run = 1;
  while (found + run < whole && IsSectorAt(Slot(found + run), address + run) && holds[found + run])
    ++run;
  if (found > 0) {
    std::memmove(Slot(0), Slot(found), static_cast<size_t>(run) * kRawSectorSize);
    std::memmove(CacheStatus.get(), CacheStatus.get() + found, static_cast<size_t>(run) * sizeof(int32_t));
  }
  CacheStart = address;
  CacheCount = run;
  CacheRequest = dataType;
  return TLocate::Located;
}

TSectorReader::TLocate TSectorReader::LocateCooked(uint8_t* data, int64_t bytes, int32_t& offset,
                                                   int64_t address, uint8_t dataType, bool readAtAddress) {
  const int32_t sync = FindSync(data, static_cast<int32_t>(bytes));
  if (sync >= 0) return LocateBySync(data, bytes, sync, offset, address, dataType, TDescramble::All);
  // User data only: its address is the drive's word alone, good only for a read that
  // started at the requested address.
  if (!readAtAddress) return TLocate::Failed;
  uint32_t size = 0, userOffset = 0;
  GetUserDataLayout(dataType, &size, &userOffset);
  // The first sector is taken only when the transfer holds sectors of its size alone; a
  // batch that ran into sectors of another type (an audio track) is read again alone.
  if (!TransferFits(data, bytes / kRawSectorSize)) return LastCount > 1 ? TLocate::Alone : TLocate::Failed;
  std::memset(Slot(0), 0, kRawSectorSize);
  std::memcpy(Slot(0) + userOffset, data, size);
  CacheStatus[0] = dataType;
  return TLocate::Located;
}

TSectorReader::TLocate TSectorReader::LocateRaw(const uint8_t* data, int64_t bytes, int32_t& offset,
                                                int64_t address, uint8_t dataType) {
  const int32_t sync = FindSync(data, static_cast<int32_t>(bytes));
  if (sync < 0) {
    offset += 1;
    return TLocate::NotLocated;
  }
  return LocateBySync(data, bytes, sync, offset, address, dataType,
                      sync == 0 ? TDescramble::OnlyScrambled : TDescramble::All);
}

TSectorReader::TLocate TSectorReader::LocateAsAudio(const uint8_t* data, int64_t bytes, int32_t& offset,
                                                    int64_t address, uint8_t dataType) {
  const int32_t sync = FindSync(data, static_cast<int32_t>(bytes));
  if (sync < 0) {
    offset += 1;
    return TLocate::NotLocated;
  }
  return LocateBySync(data, bytes, sync, offset, address, dataType, TDescramble::All);
}

TSectorReader::TLocate TSectorReader::LocateBatch(uint32_t command, bool asAudio, uint8_t* data, int64_t bytes,
                                                  int32_t& offset, int64_t address, uint8_t dataType,
                                                  bool readAtAddress) {
  if (asAudio) return LocateAsAudio(data, bytes, offset, address, dataType);
  if (command == rcReadCdRaw) return LocateRaw(data, bytes, offset, address, dataType);
  return LocateCooked(data, bytes, offset, address, dataType, readAtAddress);
}

bool TSectorReader::AnsweredAsData(const uint8_t* data, int64_t bytes, uint8_t dataType) const {
  const int32_t sync = FindSync(data, static_cast<int32_t>(bytes));
  if (LastSize == kRawSectorSize)
    return sync >= 0 && sync + static_cast<int64_t>(kSubheaderOffset) <= bytes && !IsScrambled(data + sync);
  return sync < 0 && IsDataMode(dataType) && TransferFits(data, bytes / kRawSectorSize);
}

bool TSectorReader::AudioReadsRefused(int64_t start) {
  if (AudioView != TAudioView::Unknown) return AudioView == TAudioView::Refused;
  TKrParagraphBoundaryBuffer probe(kRawSectorSize);
  if (probe.GetBuffer() == nullptr) return false;
  const TCommandResult result = CdbReadCdEx(TransportFor(Setting), CdRom, start, 1, GetExpectedSectorType(dtAudio),
                                            /*sync=*/false, /*edcEcc=*/false, /*userData=*/true, /*flagsBase=*/0,
                                            /*subChannel=*/0, probe.GetBuffer(), kReadTimeoutMs);
  platform::Sleep(Setting.Interval);
  if (result.Good())
    AudioView = TAudioView::Answered;
  else if (!result.Scsi.TransportError && result.Scsi.SenseKey() == scsi::kKeyIllegalRequest &&
           result.Scsi.Asc() == scsi::kIllegalModeForTrack.Asc)
    AudioView = TAudioView::Refused;
  return AudioView == TAudioView::Refused;
}

bool TSectorReader::ReadBeyond(uint32_t command, int64_t address, uint8_t dataType, uint8_t& reportedType,
                               uint8_t* buffer) {
  const uint32_t batch = Setting.ExtReadAtOnce;
  TKrParagraphBoundaryBuffer transfer(size_t{batch} * kRawSectorSize);
  uint8_t* data = transfer.GetBuffer();
  if (data == nullptr) return false;

  // A drive that refuses audio-type reads of data sectors answers them with the data
  // itself: those are read as with the box unticked.
  bool asAudio = command == rcReadCdda || (Setting.ExtReadAsAudio != 0 && AudioView != TAudioView::Refused);
  int32_t offset = 0;
  uint32_t limit = batch;
  bool answered = false;  // some attempt brought back sectors
  for (int32_t attempt = 0; attempt < kBeyondAttempts; ++attempt) {
    const int64_t start = std::max<int64_t>(0, address + offset);
    if (!IsConvertibleFrame(start)) break;
    const int64_t runEnd = start < kLeadInFirstFrame ? kLeadInFirstFrame : kLeadInEndFrame;
    const auto count = AroundFailures(start, static_cast<uint32_t>(std::min<int64_t>(limit, runEnd - start)), 2);
    int64_t good = IssueRead(command, start, count, dataType, data);
    if (LastRefused) break;  // no start or count gets it past the system
    if (!LastGood && good > 0) good = Confirmed(command, start, good, dataType, data);
    // Right after a sector no attempt got anything from, an empty batch means the same
    // unrecorded stretch: a gap between sessions can fail slowly, and ten attempts at each
    // of its thousands of frames would take hours.
    if (good == 0 && attempt == 0 && address == SilentFrom) break;
    answered = answered || good > 0;
    if (good == 0) {
      // A batch that gives nothing may only run past the last sector the drive can
      // give. The same start is read as two sectors (a whole one at any byte offset),
      // then alone, before it moves on.
      limit = count > 2 ? 2 : count - 1;
      if (limit == 0) {
        limit = batch;
        offset += 1;
      }
      continue;
    }
    limit = batch;
    const int64_t bytes = good * static_cast<int64_t>(kRawSectorSize);
    if (asAudio && command != rcReadCdda && AnsweredAsData(data, bytes, dataType) && AudioReadsRefused(start))
      asAudio = false;
    const TLocate located = LocateBatch(command, asAudio, data, bytes, offset, address, dataType, start == address);
    if (located == TLocate::Located) {
      SilentFrom = -1;
      std::memcpy(buffer, Slot(0), kRawSectorSize);
      reportedType = static_cast<uint8_t>(CacheStatus[0]);
      return true;
    }
    if (located == TLocate::Failed) break;
    if (located == TLocate::Alone) limit = 1;
    if (offset < 0 && start <= kLbaOffset) break;
  }
  SilentFrom = answered ? -1 : address + 1;
  ClearCache();
  std::memset(buffer, 0, kRawSectorSize);
  return false;
}
