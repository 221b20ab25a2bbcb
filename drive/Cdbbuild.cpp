#include "drive/Cdbbuild.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "platform/ScsiCodes.h"
#include "sector/Address.h"
#include "sector/Bytes.h"
#include "sector/Datasector.h"
#include "sector/Krbuffer.h"

namespace {

constexpr uint8_t kModeSelectPf = 0x10;
using scsi::kPageCapabilities;
using scsi::kPageErrorRecovery;
constexpr uint8_t kPageErrorRecoveryDefaults = kPageErrorRecovery | scsi::kPageControlDefault;
constexpr uint32_t kErrorRecoveryRoom = 24;  // asked for beyond the header
constexpr uint32_t kMaxReadCdCount = 0xFFFF;

uint8_t LunBits(const TKrCdRom& drive) { return static_cast<uint8_t>((drive.Lun & 0x07) << 5); }

TCommandResult Execute(TScsiExec exec, const TKrCdRom& drive, const uint8_t* cdb, uint8_t cdbLength, void* data,
                       uint32_t dataLength, uint8_t direction, uint32_t timeoutMs) {
  return exec(drive, cdb, cdbLength, data, dataLength, direction, timeoutMs);
}

bool Run(TScsiExec exec, const TKrCdRom& drive, const uint8_t* cdb, uint8_t cdbLength, void* data,
         uint32_t dataLength, uint8_t direction) {
  return Execute(exec, drive, cdb, cdbLength, data, dataLength, direction, kCommandTimeoutMs).Good();
}

// Every frame of the read converts to consecutive LBAs.
bool IsReadableRun(int64_t frame, uint32_t count) {
  return IsConvertibleFrame(frame) && (count == 0 || IsConvertibleFrame(frame + count - 1));
}

void PutLba(uint8_t* cdb, int64_t frame) { PutBe32(cdb + 2, static_cast<uint32_t>(FramesToLba(frame))); }

uint32_t HeaderSize(bool tenByte) { return tenByte ? 8 : 4; }

uint32_t ModeDataLength(const uint8_t* answer, bool tenByte) {
  return tenByte ? GetBe16(answer) : answer[0];
}

void ClearModeDataLength(uint8_t* answer, bool tenByte) {
  answer[0] = 0;
  if (tenByte) answer[1] = 0;
}

bool ModeSense(TScsiExec exec, const TKrCdRom& drive, bool tenByte, uint8_t page, uint8_t* buffer,
               uint32_t length) {
  return tenByte ? CdbModeSense10(exec, drive, page, buffer, static_cast<uint16_t>(length))
                 : CdbModeSense6(exec, drive, page, buffer, static_cast<uint8_t>(length));
}

bool ModeSelect(TScsiExec exec, const TKrCdRom& drive, bool tenByte, const uint8_t* buffer, uint32_t length) {
  return tenByte ? CdbModeSelect10(exec, drive, /*savePages=*/false, buffer, static_cast<uint16_t>(length))
                 : CdbModeSelect6(exec, drive, /*savePages=*/false, buffer, static_cast<uint8_t>(length));
}

// Where page 01 lies in an answer and how long the echo of it is; -1 offset when the
// answer's own lengths do not describe a page 01 inside the bytes asked for.
struct TErrorRecoveryAnswer {
  int Offset = -1;
  uint32_t ListLength = 0;
};

TErrorRecoveryAnswer LocateErrorRecovery(const uint8_t* answer, bool tenByte) {
  const uint32_t allocation = HeaderSize(tenByte) + kErrorRecoveryRoom;
  TErrorRecoveryAnswer result;
  const int offset = LocateModePage(answer, allocation, tenByte, kPageErrorRecovery, 4);
  if (offset < 0) return result;
  const uint32_t listLength = static_cast<uint32_t>(offset) + answer[offset + 1] + 2u;
  const uint32_t claimed = ModeDataLength(answer, tenByte) + (tenByte ? 2u : 1u);
  if (listLength > allocation || listLength > claimed) return result;
  result.Offset = offset;
  result.ListLength = listLength;
  return result;
}

// Reads the drive's default page 01, lets `edit` change it, and writes it back.
template <typename Edit>
bool RewriteErrorRecoveryDefaults(TScsiExec exec, const TKrCdRom& drive, int form, Edit edit) {
  const bool tenByte = UsesTenByteMode(drive, form);
  TKrParagraphBoundaryBuffer area(kModeBufferSize);
  uint8_t* answer = area.GetBuffer();
  if (answer == nullptr) return false;
  std::memset(answer, 0, kModeBufferSize);
  if (!ModeSense(exec, drive, tenByte, kPageErrorRecoveryDefaults, answer,
                 HeaderSize(tenByte) + kErrorRecoveryRoom))
    return false;
  const TErrorRecoveryAnswer located = LocateErrorRecovery(answer, tenByte);
  if (located.Offset < 0) return false;
  uint8_t* page = answer + located.Offset;
  ClearModeDataLength(answer, tenByte);
  page[0] &= 0x7F;  // PS is reserved in MODE SELECT
  edit(page, located.ListLength - static_cast<uint32_t>(located.Offset));
  return ModeSelect(exec, drive, tenByte, answer, located.ListLength);
}

}  // namespace

uint32_t ReadCdSectorSize(uint8_t subChannel) {
  switch (subChannel) {
    case 0: return kRawSectorSize;
    case 1: return kRawWithSubchannelSize;
    case 2: return kRawWithQSize;
    case 4: return kRawWithSubchannelSize;
    default: return 0;
  }
}

uint32_t ReadCddaSectorSize(uint8_t subCode) {
  switch (subCode) {
    case 0: return kRawSectorSize;
    case 1: return kRawWithQSize;
    case 2: return kRawWithSubchannelSize;
    case 3: return kSubchannelSize;
    default: return 0;
  }
}

uint32_t ReadCdExSectorSize(bool userData, uint8_t subChannel) {
  const uint32_t size = ReadCdSectorSize(subChannel);
  if (size == 0) return 0;
  return userData ? size : size - static_cast<uint32_t>(kRawSectorSize);
}

bool UsesTenByteMode(const TKrCdRom& drive, int form) {
  if (form == 1) return false;
  if (form == 2) return true;
  return drive.IsAtapi();
}

int LocateModePage(const uint8_t* answer, uint32_t valid, bool tenByte, uint8_t pageCode, uint32_t minPageBytes) {
  const uint32_t header = HeaderSize(tenByte);
  if (valid < header) return -1;
  const uint32_t descriptors = tenByte ? GetBe16(answer + 6) : answer[3];
  const uint64_t offset = uint64_t{header} + descriptors;
  if (offset + std::max<uint32_t>(minPageBytes, 2) > valid) return -1;
  if ((answer[offset] & 0x3F) != pageCode) return -1;
  return static_cast<int>(offset);
}

bool CdbInquiry(TScsiExec exec, TKrCdRom& drive) {
  TKrParagraphBoundaryBuffer area(kInquiryLength);
  uint8_t* data = area.GetBuffer();
  if (data == nullptr) return false;
  std::memset(data, 0, kInquiryLength);
  const uint8_t cdb[6] = {scsi::kOpInquiry, 0x00, 0x00, 0x00, static_cast<uint8_t>(kInquiryLength), 0x00};
  if (!Run(exec, drive, cdb, sizeof cdb, data, kInquiryLength, kDirIn)) return false;
  drive.SetInquiryData(data, static_cast<uint8_t>(kInquiryLength));
  return true;
}

bool CdbReadRawToc(TScsiExec exec, const TKrCdRom& drive, uint8_t session, bool convertBcd, uint8_t* buffer) {
  const uint8_t allocHigh = static_cast<uint8_t>(kRawTocSize >> 8);
  const uint8_t allocLow = static_cast<uint8_t>(kRawTocSize & 0xFF);
  // Older drives take the format from the control byte; a drive that ignores it may
  // answer GOOD with another format, so the answer's shape decides, not the status.
  const uint8_t legacy[10] = {scsi::kOpReadToc, 0x00, 0x00, 0x00, 0x00, 0x00, session, allocHigh, allocLow, 0x80};
  const uint8_t mmc[10] = {scsi::kOpReadToc, 0x00, 0x02, 0x00, 0x00, 0x00, session, allocHigh, allocLow, 0x00};
  bool ok = false;
  for (const uint8_t* cdb : {legacy, mmc}) {
    std::memset(buffer, 0, kRawTocSize);
    if (Run(exec, drive, cdb, 10, buffer, kRawTocSize, kDirIn) && IsFullTocShape(buffer, kRawTocSize)) {
      ok = true;
      break;
    }
  }
  if (!ok) return false;
  if (convertBcd) ConvertRawTocBcd(buffer, kRawTocSize);
  return true;
}

bool CdbReadToc(TScsiExec exec, const TKrCdRom& drive, bool convertBcd, TDiscToc& toc) {
  TKrParagraphBoundaryBuffer area(kRawTocSize);
  uint8_t* raw = area.GetBuffer();
  if (raw == nullptr) return false;
  if (!CdbReadRawToc(exec, drive, 1, convertBcd, raw)) return false;
  return ParseRawToc(raw, kRawTocSize, toc);
}

TCommandResult CdbReadCd(TScsiExec exec, const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t subChannel,
                         void* buffer, uint32_t timeoutMs) {
  const uint32_t size = ReadCdSectorSize(subChannel);
  if (size == 0 || count > kMaxReadCdCount || !IsReadableRun(frame, count)) return {};
  uint8_t cdb[12] = {scsi::kOpReadCd, LunBits(drive), 0, 0, 0, 0, 0, static_cast<uint8_t>(count >> 8),
                     static_cast<uint8_t>(count), 0x10, subChannel, 0x00};
  PutLba(cdb, frame);
  return Execute(exec, drive, cdb, sizeof cdb, buffer, count * size, kDirIn, timeoutMs);
}

TCommandResult CdbReadCdda(TScsiExec exec, const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t subCode,
                           void* buffer, uint32_t timeoutMs) {
  const uint32_t size = ReadCddaSectorSize(subCode);
  if (size == 0 || !IsReadableRun(frame, count)) return {};
  const uint64_t bytes = uint64_t{count} * size;
  if (bytes > UINT32_MAX) return {};
  uint8_t cdb[12] = {scsi::kOpReadCdda, LunBits(drive), 0, 0, 0, 0, static_cast<uint8_t>(count >> 24),
                     static_cast<uint8_t>(count >> 16), static_cast<uint8_t>(count >> 8),
                     static_cast<uint8_t>(count), subCode, 0x00};
  PutLba(cdb, frame);
  return Execute(exec, drive, cdb, sizeof cdb, buffer, static_cast<uint32_t>(bytes), kDirIn, timeoutMs);
}

TCommandResult CdbReadCdEx(TScsiExec exec, const TKrCdRom& drive, int64_t frame, uint32_t count,
                           uint8_t sectorType, bool sync, bool edcEcc, bool userData, uint8_t flagsBase,
                           uint8_t subChannel, void* buffer, uint32_t timeoutMs) {
  if (ReadCdSectorSize(subChannel) == 0 || count > kMaxReadCdCount || !IsReadableRun(frame, count)) return {};
  const uint32_t size = ReadCdExSectorSize(userData, subChannel);
  uint8_t flags = flagsBase;
  if (sync) flags |= 0x80;
  if (userData) flags |= 0x10;
  if (edcEcc) flags |= 0x08;
  uint8_t cdb[12] = {scsi::kOpReadCd, static_cast<uint8_t>(LunBits(drive) | (sectorType & 0x1C)), 0, 0, 0, 0, 0,
                     static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count), flags, subChannel, 0x00};
  PutLba(cdb, frame);
  return Execute(exec, drive, cdb, sizeof cdb, buffer, count * size, kDirIn, timeoutMs);
}

TCommandResult CdbRead10(TScsiExec exec, const TKrCdRom& drive, int64_t frame, uint16_t count, void* buffer,
                         uint32_t timeoutMs) {
  if (!IsReadableRun(frame, count)) return {};
  uint8_t cdb[10] = {scsi::kOpRead10, LunBits(drive), 0, 0, 0, 0, 0, static_cast<uint8_t>(count >> 8),
                     static_cast<uint8_t>(count), 0x00};
  PutLba(cdb, frame);
  return Execute(exec, drive, cdb, sizeof cdb, buffer, uint32_t{count} * kRawSectorSize, kDirIn, timeoutMs);
}

bool CdbModeSense6(TScsiExec exec, const TKrCdRom& drive, uint8_t page, void* buffer, uint8_t length) {
  std::memset(buffer, 0, length);
  const uint8_t cdb[6] = {scsi::kOpModeSense6, LunBits(drive), page, 0x00, length, 0x00};
  return Run(exec, drive, cdb, sizeof cdb, buffer, length, kDirIn);
}

bool CdbModeSense10(TScsiExec exec, const TKrCdRom& drive, uint8_t page, void* buffer, uint16_t length) {
  std::memset(buffer, 0, length);
  const uint8_t cdb[10] = {scsi::kOpModeSense10, LunBits(drive), page, 0, 0, 0, 0, static_cast<uint8_t>(length >> 8),
                           static_cast<uint8_t>(length), 0x00};
  return Run(exec, drive, cdb, sizeof cdb, buffer, length, kDirIn);
}

bool CdbModeSelect6(TScsiExec exec, const TKrCdRom& drive, bool savePages, const void* buffer, uint8_t length) {
  const uint8_t byte1 = static_cast<uint8_t>(LunBits(drive) | kModeSelectPf | (savePages ? 1 : 0));
  const uint8_t cdb[6] = {scsi::kOpModeSelect6, byte1, 0x00, 0x00, length, 0x00};
  return Run(exec, drive, cdb, sizeof cdb, const_cast<void*>(buffer), length, kDirOut);
}

bool CdbModeSelect10(TScsiExec exec, const TKrCdRom& drive, bool savePages, const void* buffer,
                     uint16_t length) {
  const uint8_t byte1 = static_cast<uint8_t>(LunBits(drive) | kModeSelectPf | (savePages ? 1 : 0));
  const uint8_t cdb[10] = {scsi::kOpModeSelect10, byte1, 0, 0, 0, 0, 0, static_cast<uint8_t>(length >> 8),
                           static_cast<uint8_t>(length), 0x00};
  return Run(exec, drive, cdb, sizeof cdb, const_cast<void*>(buffer), length, kDirOut);
}

bool CdbSetCdSpeed(TScsiExec exec, const TKrCdRom& drive, uint16_t readSpeed) {
  const uint8_t cdb[12] = {scsi::kOpSetCdSpeed, LunBits(drive), static_cast<uint8_t>(readSpeed >> 8),
                           static_cast<uint8_t>(readSpeed), 0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
  return Run(exec, drive, cdb, sizeof cdb, nullptr, 0, kDirIn);
}

bool CdbPreventAllow(TScsiExec exec, const TKrCdRom& drive, bool prevent) {
  const uint8_t cdb[6] = {scsi::kOpPreventAllow, LunBits(drive), 0x00, 0x00, static_cast<uint8_t>(prevent ? 1 : 0), 0x00};
  return Run(exec, drive, cdb, sizeof cdb, nullptr, 0, kDirOut);
}

bool CdbGetErrorRecovery(TScsiExec exec, const TKrCdRom& drive, int form, uint8_t* errorRecovery,
                         uint8_t* writeRetry, uint8_t* readRetry) {
  const bool tenByte = UsesTenByteMode(drive, form);
  TKrParagraphBoundaryBuffer area(kModeBufferSize);
  uint8_t* answer = area.GetBuffer();
  if (answer == nullptr) return false;
  std::memset(answer, 0, kModeBufferSize);
  if (!ModeSense(exec, drive, tenByte, kPageErrorRecovery, answer, HeaderSize(tenByte) + kErrorRecoveryRoom))
    return false;
  const int offset = LocateErrorRecovery(answer, tenByte).Offset;
  if (offset < 0) return false;
  const uint8_t* page = answer + offset;
  if (errorRecovery) *errorRecovery = page[2];
  if (writeRetry) *writeRetry = page[8];
  if (readRetry) *readRetry = page[3];
  return true;
}

TErrorRecoveryFields ErrorRecoveryFields(uint8_t value, uint8_t mask, bool setWriteRetry, uint8_t writeRetry,
                                         bool setReadRetry, uint8_t readRetry) {
  TErrorRecoveryFields fields;
  fields.Value = value;
  fields.Mask = mask;
  if (setReadRetry) fields.ReadRetry = readRetry;
  if (setWriteRetry) fields.WriteRetry = writeRetry;
  return fields;
}

bool CdbSetErrorRecovery(TScsiExec exec, const TKrCdRom& drive, const TErrorRecoveryFields& fields, int form) {
  return RewriteErrorRecoveryDefaults(exec, drive, form, [&](uint8_t* page, uint32_t pageLength) {
    page[2] = static_cast<uint8_t>((page[2] & ~fields.Mask) | (fields.Value & fields.Mask));
    if (fields.ReadRetry) page[3] = *fields.ReadRetry;
    if (fields.WriteRetry && pageLength > 8) page[8] = *fields.WriteRetry;
  });
}

bool CdbResetErrorRecovery(TScsiExec exec, const TKrCdRom& drive, int form) {
  return RewriteErrorRecoveryDefaults(exec, drive, form, [](uint8_t*, uint32_t) {});
}

bool CdbSetBlockLength(TScsiExec exec, const TKrCdRom& drive, uint8_t density, uint32_t blockLength, int form) {
  if (blockLength > 0xFFFFFF) return false;
  const bool tenByte = UsesTenByteMode(drive, form);
  TKrParagraphBoundaryBuffer area(kModeBufferSize);
  uint8_t* list = area.GetBuffer();
  if (list == nullptr) return false;
  std::memset(list, 0, kModeBufferSize);
  const uint32_t header = HeaderSize(tenByte);
  if (tenByte) {
    list[7] = 8;
  } else {
    list[3] = 8;
  }
  uint8_t* descriptor = list + header;
  descriptor[0] = density;
  PutBe24(descriptor + 5, blockLength);
  return ModeSelect(exec, drive, tenByte, list, header + 8);
}

bool CdbGetBlockLength(TScsiExec exec, const TKrCdRom& drive, int form, uint8_t& density, uint32_t& blockLength) {
  const bool tenByte = UsesTenByteMode(drive, form);
  TKrParagraphBoundaryBuffer area(kModeBufferSize);
  uint8_t* answer = area.GetBuffer();
  if (answer == nullptr) return false;
  const uint32_t header = HeaderSize(tenByte);
  if (!ModeSense(exec, drive, tenByte, kPageErrorRecovery, answer, header + 8 + kErrorRecoveryRoom)) return false;
  const uint32_t descriptors = tenByte ? (uint32_t{answer[6]} << 8) | answer[7] : answer[3];
  if (descriptors < 8) return false;
  const uint8_t* descriptor = answer + header;
  density = descriptor[0];
  blockLength = uint32_t{descriptor[5]} << 16 | uint32_t{descriptor[6]} << 8 | descriptor[7];
  return true;
}

bool CdbGetCapabilitiesPage(TScsiExec exec, const TKrCdRom& drive, int form, uint32_t count, uint8_t* buffer) {
  const bool tenByte = UsesTenByteMode(drive, form);
  TKrParagraphBoundaryBuffer area(kModeBufferSize);
  uint8_t* answer = area.GetBuffer();
  if (answer == nullptr) return false;
  std::memset(answer, 0, kModeBufferSize);
  if (!ModeSense(exec, drive, tenByte, kPageCapabilities, answer, kModeBufferSize)) return false;
  const int offset = LocateModePage(answer, kModeBufferSize, tenByte, kPageCapabilities, 2);
  if (offset < 0) return false;
  const uint32_t copied = std::min<uint32_t>(count, kModeBufferSize - static_cast<uint32_t>(offset));
  if (copied > 0) std::memcpy(buffer, answer + offset, copied);
  return true;
}

bool CdbReadSubQ(TScsiExec exec, const TKrCdRom& drive, int64_t frame, TSubQSector& sample,
                 TCommandResult* command) {
  sample = TSubQSector{};
  TKrParagraphBoundaryBuffer area(kFormattedQSize);
  uint8_t* q = area.GetBuffer();
  if (q == nullptr) return false;
  std::memset(q, 0, kFormattedQSize);
  // The status is not trusted either way: a rejected read leaves the zeroed area.
  const TCommandResult r =
      CdbReadCdEx(exec, drive, frame, 1, 0, /*sync=*/false, /*edcEcc=*/false, /*userData=*/false, 0, 2, q);
  if (command != nullptr) *command = r;
  return DecodeSubQ(q, drive.IsPlextor(), sample);
}

bool CdbReadSubQCdda(TScsiExec exec, const TKrCdRom& drive, int64_t frame, TSubQSector& sample,
                     TCommandResult* command) {
  sample = TSubQSector{};
  TKrParagraphBoundaryBuffer area(kRawWithQSize);
  uint8_t* data = area.GetBuffer();
  if (data == nullptr) return false;
  std::memset(data, 0, kRawWithQSize);
  const TCommandResult r = CdbReadCdda(exec, drive, frame, 1, /*subCode=*/1, data);
  if (command != nullptr) *command = r;
  return DecodeSubQ(data + kRawSectorSize, /*plainValues=*/false, sample);
}
