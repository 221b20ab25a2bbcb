#include "drive/Kraspiex.h"

#include "drive/Kraspi.h"

bool AspiInquiry(TKrCdRom& drive) { return CdbInquiry(AspiExecute, drive); }

bool AspiReadRawToc(const TKrCdRom& drive, uint8_t session, bool convertBcd, uint8_t* buffer) {
  return CdbReadRawToc(AspiExecute, drive, session, convertBcd, buffer);
}

bool AspiReadToc(const TKrCdRom& drive, bool convertBcd, TDiscToc& toc) {
  return CdbReadToc(AspiExecute, drive, convertBcd, toc);
}

bool AspiReadCd(const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t subChannel, void* buffer) {
  return CdbReadCd(AspiExecute, drive, frame, count, subChannel, buffer).Good();
}

bool AspiReadCdda(const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t subCode, void* buffer) {
  return CdbReadCdda(AspiExecute, drive, frame, count, subCode, buffer).Good();
}

bool AspiReadCdEx(const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t sectorType, bool sync, bool edcEcc,
                  bool userData, uint8_t flagsBase, uint8_t subChannel, void* buffer) {
  return CdbReadCdEx(AspiExecute, drive, frame, count, sectorType, sync, edcEcc, userData, flagsBase, subChannel,
                     buffer).Good();
}

bool AspiModeSense6(const TKrCdRom& drive, uint8_t page, void* buffer, uint8_t length) {
  return CdbModeSense6(AspiExecute, drive, page, buffer, length);
}

bool AspiModeSense10(const TKrCdRom& drive, uint8_t page, void* buffer, uint16_t length) {
  return CdbModeSense10(AspiExecute, drive, page, buffer, length);
}

bool AspiModeSelect6(const TKrCdRom& drive, bool savePages, const void* buffer, uint8_t length) {
  return CdbModeSelect6(AspiExecute, drive, savePages, buffer, length);
}

bool AspiModeSelect10(const TKrCdRom& drive, bool savePages, const void* buffer, uint16_t length) {
  return CdbModeSelect10(AspiExecute, drive, savePages, buffer, length);
}

bool AspiSetCdSpeed(const TKrCdRom& drive, uint16_t readSpeed) {
  return CdbSetCdSpeed(AspiExecute, drive, readSpeed);
}

bool AspiGetErrorRecovery(const TKrCdRom& drive, int form, uint8_t* errorRecovery, uint8_t* writeRetry,
                          uint8_t* readRetry) {
  return CdbGetErrorRecovery(AspiExecute, drive, form, errorRecovery, writeRetry, readRetry);
}

bool AspiSetErrorRecovery(const TKrCdRom& drive, uint8_t value, uint8_t mask, int form, bool setWriteRetry,
                          uint8_t writeRetry, bool setReadRetry, uint8_t readRetry) {
  const TErrorRecoveryFields fields =
      ErrorRecoveryFields(value, mask, setWriteRetry, writeRetry, setReadRetry, readRetry);
  return CdbSetErrorRecovery(AspiExecute, drive, fields, form);
}

bool AspiResetErrorRecovery(const TKrCdRom& drive, int form) {
  return CdbResetErrorRecovery(AspiExecute, drive, form);
}

bool AspiSetBlockLength(const TKrCdRom& drive, uint8_t density, uint32_t blockLength, int form) {
  return CdbSetBlockLength(AspiExecute, drive, density, blockLength, form);
}

bool AspiGetCapabilitiesPage(const TKrCdRom& drive, int form, uint32_t count, uint8_t* buffer) {
  return CdbGetCapabilitiesPage(AspiExecute, drive, form, count, buffer);
}

bool AspiReadSubQ(const TKrCdRom& drive, int64_t frame, TSubQSector& sample) {
  return CdbReadSubQ(AspiExecute, drive, frame, sample);
}

bool AspiReadSubQCdda(const TKrCdRom& drive, int64_t frame, TSubQSector& sample) {
  return CdbReadSubQCdda(AspiExecute, drive, frame, sample);
}

bool AspiPreventAllow(const TKrCdRom& drive, bool prevent) { return CdbPreventAllow(AspiExecute, drive, prevent); }
