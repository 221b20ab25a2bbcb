#pragma once
// The drive commands over ASPI; the same bytes as their Spti twins (Krsptiex.h).
#include <cstdint>

#include "drive/Cdbbuild.h"

bool AspiInquiry(TKrCdRom& drive);
bool AspiReadRawToc(const TKrCdRom& drive, uint8_t session, bool convertBcd, uint8_t* buffer);
bool AspiReadToc(const TKrCdRom& drive, bool convertBcd, TDiscToc& toc);
bool AspiReadCd(const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t subChannel, void* buffer);
bool AspiReadCdda(const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t subCode, void* buffer);
bool AspiReadCdEx(const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t sectorType, bool sync, bool edcEcc,
                  bool userData, uint8_t flagsBase, uint8_t subChannel, void* buffer);
bool AspiModeSense6(const TKrCdRom& drive, uint8_t page, void* buffer, uint8_t length);
bool AspiModeSense10(const TKrCdRom& drive, uint8_t page, void* buffer, uint16_t length);
bool AspiModeSelect6(const TKrCdRom& drive, bool savePages, const void* buffer, uint8_t length);
bool AspiModeSelect10(const TKrCdRom& drive, bool savePages, const void* buffer, uint16_t length);
bool AspiSetCdSpeed(const TKrCdRom& drive, uint16_t readSpeed);
bool AspiGetErrorRecovery(const TKrCdRom& drive, int form, uint8_t* errorRecovery, uint8_t* writeRetry,
                          uint8_t* readRetry);
bool AspiSetErrorRecovery(const TKrCdRom& drive, uint8_t value, uint8_t mask, int form, bool setWriteRetry,
                          uint8_t writeRetry, bool setReadRetry, uint8_t readRetry);
bool AspiResetErrorRecovery(const TKrCdRom& drive, int form);
bool AspiSetBlockLength(const TKrCdRom& drive, uint8_t density, uint32_t blockLength, int form);
bool AspiGetCapabilitiesPage(const TKrCdRom& drive, int form, uint32_t count, uint8_t* buffer);
bool AspiReadSubQ(const TKrCdRom& drive, int64_t frame, TSubQSector& sample);
bool AspiReadSubQCdda(const TKrCdRom& drive, int64_t frame, TSubQSector& sample);
// One PREVENT/ALLOW MEDIUM REMOVAL to the drive's own LUN.
bool AspiPreventAllow(const TKrCdRom& drive, bool prevent);
