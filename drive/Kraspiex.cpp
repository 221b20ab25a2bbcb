#include "drive/Kraspiex.h"

#include "drive/Kraspi.h"

bool AspiInquiry(TKrCdRom& drive) { return CdbInquiry(AspiExecScsiCmd, drive); }

bool AspiReadRawToc(const TKrCdRom& drive, uint8_t session, bool convertBcd, uint8_t* buffer) {
  return CdbReadRawToc(AspiExecScsiCmd, drive, session, convertBcd, buffer);
}

bool AspiReadToc(const TKrCdRom& drive, bool convertBcd, TDiscToc& toc) {
  return CdbReadToc(AspiExecScsiCmd, drive, convertBcd, toc);
}

bool AspiReadCd(const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t subChannel, void* buffer) {
  return CdbReadCd(AspiExecScsiCmd, drive, frame, count, subChannel, buffer);
}

bool AspiReadCdda(const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t subCode, void* buffer) {
  return CdbReadCdda(AspiExecScsiCmd, drive, frame, count, subCode, buffer);
}

bool AspiReadCdEx(const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t sectorType, bool sync, bool edcEcc,
                  bool userData, uint8_t flagsBase, uint8_t subChannel, void* buffer) {
  return CdbReadCdEx(AspiExecScsiCmd, drive, frame, count, sectorType, sync, edcEcc, userData, flagsBase, subChannel,
                     buffer);
}

bool AspiModeSense6(const TKrCdRom& drive, uint8_t page, void* buffer, uint8_t length) {
  return CdbModeSense6(AspiExecScsiCmd, drive, page, buffer, length);
}

bool AspiModeSense10(const TKrCdRom& drive, uint8_t page, void* buffer, uint16_t length) {
  return CdbModeSense10(AspiExecScsiCmd, drive, page, buffer, length);
}

bool AspiModeSelect6(const TKrCdRom& drive, bool savePages, const void* buffer, uint8_t length) {
  return CdbModeSelect6(AspiExecScsiCmd, drive, savePages, buffer, length);
}

bool AspiModeSelect10(const TKrCdRom& drive, bool savePages, const void* buffer, uint16_t length) {
  return CdbModeSelect10(AspiExecScsiCmd, drive, savePages, buffer, length);
}

bool AspiSetCdSpeed(const TKrCdRom& drive, uint16_t readSpeed) {
  return CdbSetCdSpeed(AspiExecScsiCmd, drive, readSpeed);
}

bool AspiGetErrorRecovery(const TKrCdRom& drive, int form, uint8_t* errorRecovery, uint8_t* writeRetry,
                          uint8_t* readRetry) {
  return CdbGetErrorRecovery(AspiExecScsiCmd, drive, form, errorRecovery, writeRetry, readRetry);
}

bool AspiSetErrorRecovery(const TKrCdRom& drive, uint8_t value, uint8_t mask, int form, bool setWriteRetry,
                          uint8_t writeRetry, bool setReadRetry, uint8_t readRetry) {
  return CdbSetErrorRecovery(AspiExecScsiCmd, drive, value, mask, form, setWriteRetry, writeRetry, setReadRetry,
                             readRetry);
}

bool AspiResetErrorRecovery(const TKrCdRom& drive, int form) {
  return CdbResetErrorRecovery(AspiExecScsiCmd, drive, form);
}

bool AspiSetBlockLength(const TKrCdRom& drive, uint8_t density, uint32_t blockLength, int form) {
  return CdbSetBlockLength(AspiExecScsiCmd, drive, density, blockLength, form);
}

bool AspiGetCapabilitiesPage(const TKrCdRom& drive, int form, uint32_t count, uint8_t* buffer) {
  return CdbGetCapabilitiesPage(AspiExecScsiCmd, drive, form, count, buffer);
}

bool AspiReadSubQ(const TKrCdRom& drive, int64_t frame, TSubQSector& sample) {
  return CdbReadSubQ(AspiExecScsiCmd, drive, frame, sample);
}

bool AspiReadSubQCdda(const TKrCdRom& drive, int64_t frame, TSubQSector& sample) {
  return CdbReadSubQCdda(AspiExecScsiCmd, drive, frame, sample);
}

bool AspiPreventAllow(const TKrCdRom& drive, bool prevent) { return CdbPreventAllow(AspiExecScsiCmd, drive, prevent); }
