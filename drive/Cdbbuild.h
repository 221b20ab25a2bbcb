#pragma once
// The drive commands, each built once and run through the transport the caller passes:
// TransportFor(setting) (Transport.h), or AspiExecute / SptiExecute directly (the
// Kraspiex.h and Krsptiex.h twins pin one).
//
// Every command refuses, without sending, a frame address that FramesToLba cannot
// convert (for a read: the address of any sector it covers), and treats any answer
// whose lengths do not fit its buffer as a failure.
//
// The read commands return the whole TCommandResult: test it as a bool (GOOD status),
// and on failure read its sense, e.g. FailingFrame() for the first block a MEDIUM
// ERROR names, to count the sectors that arrived before it. They send `count` sectors
// of the size their selector gives into the caller's buffer and wait timeoutMs (the
// sector reader and the ripper pass kReadTimeoutMs). Example:
//   const TCommandResult r = CdbReadCdda(TransportFor(setting), drive, head, count,
//                                        /*subCode=*/0, buffer, kReadTimeoutMs);
//   if (!r) good = r.FailingFrame() ? *r.FailingFrame() - head : 0;
#include <cstdint>
#include <optional>

#include "drive/Disctoc.h"
#include "drive/Krcdrom.h"
#include "drive/Subq.h"
#include "drive/Transport.h"

constexpr uint32_t kCommandTimeoutMs = 15000;
// What the sector reads of the reader and the ripper wait.
constexpr uint32_t kReadTimeoutMs = 30000;
constexpr uint32_t kInquiryLength = 100;
constexpr uint32_t kModeBufferSize = 255;

// Bytes a sector for each selector; 0 for a selector the command does not know.
uint32_t ReadCdSectorSize(uint8_t subChannel);
uint32_t ReadCddaSectorSize(uint8_t subCode);
uint32_t ReadCdExSectorSize(bool userData, uint8_t subChannel);

// Form argument: 1 the 6-byte MODE commands, 2 the 10-byte ones, anything else by
// TKrCdRom::IsAtapi (true: 10-byte).
bool UsesTenByteMode(const TKrCdRom& drive, int form);
// Offset of the page in a MODE SENSE answer of `valid` bytes, or -1 when the header and
// block descriptor lengths put the page (its first minPageBytes) outside those bytes or
// the page there has another code.
int LocateModePage(const uint8_t* answer, uint32_t valid, bool tenByte, uint8_t pageCode,
                   uint32_t minPageBytes);

bool CdbInquiry(TScsiExec exec, TKrCdRom& drive);
bool CdbReadRawToc(TScsiExec exec, const TKrCdRom& drive, uint8_t session, bool convertBcd, uint8_t* buffer);
bool CdbReadToc(TScsiExec exec, const TKrCdRom& drive, bool convertBcd, TDiscToc& toc);
// READ CD of user data (byte 9 0x10), any sector type; subChannel 0, 1, 2 or 4.
TCommandResult CdbReadCd(TScsiExec exec, const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t subChannel,
                         void* buffer, uint32_t timeoutMs = kCommandTimeoutMs);
// READ CDDA (0xD8); subCode 0 (2352 bytes), 1 (+16 Q), 2 (+96 P-W) or 3 (96 only).
TCommandResult CdbReadCdda(TScsiExec exec, const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t subCode,
                           void* buffer, uint32_t timeoutMs = kCommandTimeoutMs);
// READ CD with chosen fields: sectorType (GetExpectedSectorType bits, 0 any) in byte 1;
// byte 9 = flagsBase | 0x80 sync | 0x10 user data | 0x08 EDC/ECC; subChannel as CdbReadCd.
TCommandResult CdbReadCdEx(TScsiExec exec, const TKrCdRom& drive, int64_t frame, uint32_t count,
                           uint8_t sectorType, bool sync, bool edcEcc, bool userData, uint8_t flagsBase,
                           uint8_t subChannel, void* buffer, uint32_t timeoutMs = kCommandTimeoutMs);
// READ(10) of `count` 2352-byte blocks: the caller has set that block length first
// (CdbSetBlockLength with density 0x82).
TCommandResult CdbRead10(TScsiExec exec, const TKrCdRom& drive, int64_t frame, uint16_t count, void* buffer,
                         uint32_t timeoutMs = kCommandTimeoutMs);
bool CdbModeSense6(TScsiExec exec, const TKrCdRom& drive, uint8_t page, void* buffer, uint8_t length);
bool CdbModeSense10(TScsiExec exec, const TKrCdRom& drive, uint8_t page, void* buffer, uint16_t length);
bool CdbModeSelect6(TScsiExec exec, const TKrCdRom& drive, bool savePages, const void* buffer, uint8_t length);
bool CdbModeSelect10(TScsiExec exec, const TKrCdRom& drive, bool savePages, const void* buffer,
                     uint16_t length);
bool CdbSetCdSpeed(TScsiExec exec, const TKrCdRom& drive, uint16_t readSpeed);
bool CdbPreventAllow(TScsiExec exec, const TKrCdRom& drive, bool prevent);

// Bits of the error-recovery byte (page 01 byte 2).
constexpr uint8_t kErrorRecoveryDcr = 0x01;            // no correction: errors are skipped fast
constexpr uint8_t kErrorRecoveryTransferBlock = 0x20;  // the failing block is sent too
// What a write of the error-recovery page changes; everything else keeps the drive's
// default values.
struct TErrorRecoveryFields {
  uint8_t Value = 0;  // the bits of Mask in the error-recovery byte
  uint8_t Mask = 0xFF;
  std::optional<uint8_t> ReadRetry;   // page byte 3
  std::optional<uint8_t> WriteRetry;  // page byte 8
};

bool CdbGetErrorRecovery(TScsiExec exec, const TKrCdRom& drive, int form, uint8_t* errorRecovery,
                         uint8_t* writeRetry, uint8_t* readRetry);
// The page rebuilt from the drive's defaults with `fields`, never from its current values.
bool CdbSetErrorRecovery(TScsiExec exec, const TKrCdRom& drive, const TErrorRecoveryFields& fields, int form);
// The fields from the transports' positional form: a retry count goes in only where its
// flag is set.
TErrorRecoveryFields ErrorRecoveryFields(uint8_t value, uint8_t mask, bool setWriteRetry, uint8_t writeRetry,
                                         bool setReadRetry, uint8_t readRetry);
bool CdbResetErrorRecovery(TScsiExec exec, const TKrCdRom& drive, int form);
bool CdbSetBlockLength(TScsiExec exec, const TKrCdRom& drive, uint8_t density, uint32_t blockLength, int form);
// The density code and block length of the drive's current block descriptor; false when
// the drive sends no descriptor.
bool CdbGetBlockLength(TScsiExec exec, const TKrCdRom& drive, int form, uint8_t& density, uint32_t& blockLength);
bool CdbGetCapabilitiesPage(TScsiExec exec, const TKrCdRom& drive, int form, uint32_t count, uint8_t* buffer);

// The Q sample of the frame; `command` (when given) receives how the read command ended.
bool CdbReadSubQ(TScsiExec exec, const TKrCdRom& drive, int64_t frame, TSubQSector& sample,
                 TCommandResult* command = nullptr);
bool CdbReadSubQCdda(TScsiExec exec, const TKrCdRom& drive, int64_t frame, TSubQSector& sample,
                     TCommandResult* command = nullptr);
