#pragma once
// The drive commands over SCSI pass-through; the same bytes as their Aspi twins
// (Kraspiex.h). SptiPreventAllow lives with the transport (Krspti.h).
#include <cstdint>

#include "drive/Cdbbuild.h"

bool SptiInquiry(TKrCdRom& drive);
bool SptiReadRawToc(const TKrCdRom& drive, uint8_t session, bool convertBcd, uint8_t* buffer);
bool SptiReadToc(const TKrCdRom& drive, bool convertBcd, TDiscToc& toc);
bool SptiReadCd(const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t subChannel, void* buffer);
bool SptiReadCdda(const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t subCode, void* buffer);
bool SptiReadCdEx(const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t sectorType, bool sync, bool edcEcc,
                  bool userData, uint8_t flagsBase, uint8_t subChannel, void* buffer);
bool SptiModeSense6(const TKrCdRom& drive, uint8_t page, void* buffer, uint8_t length);
bool SptiModeSense10(const TKrCdRom& drive, uint8_t page, void* buffer, uint16_t length);
bool SptiModeSelect6(const TKrCdRom& drive, bool savePages, const void* buffer, uint8_t length);
bool SptiModeSelect10(const TKrCdRom& drive, bool savePages, const void* buffer, uint16_t length);
bool SptiSetCdSpeed(const TKrCdRom& drive, uint16_t readSpeed);
bool SptiGetErrorRecovery(const TKrCdRom& drive, int form, uint8_t* errorRecovery, uint8_t* writeRetry,
                          uint8_t* readRetry);
bool SptiSetErrorRecovery(const TKrCdRom& drive, uint8_t value, uint8_t mask, int form, bool setWriteRetry,
                          uint8_t writeRetry, bool setReadRetry, uint8_t readRetry);
bool SptiResetErrorRecovery(const TKrCdRom& drive, int form);
bool SptiSetBlockLength(const TKrCdRom& drive, uint8_t density, uint32_t blockLength, int form);
bool SptiGetCapabilitiesPage(const TKrCdRom& drive, int form, uint32_t count, uint8_t* buffer);
bool SptiReadSubQ(const TKrCdRom& drive, int64_t frame, TSubQSector& sample);
bool SptiReadSubQCdda(const TKrCdRom& drive, int64_t frame, TSubQSector& sample);
