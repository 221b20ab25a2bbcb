#include "drive/Krsptiex.h"

#include "drive/Krspti.h"

bool SptiInquiry(TKrCdRom& drive) { return CdbInquiry(SptiExecute, drive); }

bool SptiReadRawToc(const TKrCdRom& drive, uint8_t session, bool convertBcd, uint8_t* buffer) {
  return CdbReadRawToc(SptiExecute, drive, session, convertBcd, buffer);
}

bool SptiReadToc(const TKrCdRom& drive, bool convertBcd, TDiscToc& toc) {
  return CdbReadToc(SptiExecute, drive, convertBcd, toc);
}

bool SptiReadCd(const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t subChannel, void* buffer) {
  return CdbReadCd(SptiExecute, drive, frame, count, subChannel, buffer).Good();
}

bool SptiReadCdda(const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t subCode, void* buffer) {
  return CdbReadCdda(SptiExecute, drive, frame, count, subCode, buffer).Good();
}

bool SptiReadCdEx(const TKrCdRom& drive, int64_t frame, uint32_t count, uint8_t sectorType, bool sync, bool edcEcc,
                  bool userData, uint8_t flagsBase, uint8_t subChannel, void* buffer) {
  return CdbReadCdEx(SptiExecute, drive, frame, count, sectorType, sync, edcEcc, userData, flagsBase, subChannel,
                     buffer).Good();
}

bool SptiModeSense6(const TKrCdRom& drive, uint8_t page, void* buffer, uint8_t length) {
  return CdbModeSense6(SptiExecute, drive, page, buffer, length);
}

bool SptiModeSense10(const TKrCdRom& drive, uint8_t page, void* buffer, uint16_t length) {
  return CdbModeSense10(SptiExecute, drive, page, buffer, length);
}

bool SptiModeSelect6(const TKrCdRom& drive, bool savePages, const void* buffer, uint8_t length) {
  return CdbModeSelect6(SptiExecute, drive, savePages, buffer, length);
}

bool SptiModeSelect10(const TKrCdRom& drive, bool savePages, const void* buffer, uint16_t length) {
  return CdbModeSelect10(SptiExecute, drive, savePages, buffer, length);
}

bool SptiSetCdSpeed(const TKrCdRom& drive, uint16_t readSpeed) {
  return CdbSetCdSpeed(SptiExecute, drive, readSpeed);
}

bool SptiGetErrorRecovery(const TKrCdRom& drive, int form, uint8_t* errorRecovery, uint8_t* writeRetry,
                          uint8_t* readRetry) {
  return CdbGetErrorRecovery(SptiExecute, drive, form, errorRecovery, writeRetry, readRetry);
}

bool SptiSetErrorRecovery(const TKrCdRom& drive, uint8_t value, uint8_t mask, int form, bool setWriteRetry,
                          uint8_t writeRetry, bool setReadRetry, uint8_t readRetry) {
  const TErrorRecoveryFields fields =
      ErrorRecoveryFields(value, mask, setWriteRetry, writeRetry, setReadRetry, readRetry);
  return CdbSetErrorRecovery(SptiExecute, drive, fields, form);
}

bool SptiResetErrorRecovery(const TKrCdRom& drive, int form) {
  return CdbResetErrorRecovery(SptiExecute, drive, form);
}

bool SptiSetBlockLength(const TKrCdRom& drive, uint8_t density, uint32_t blockLength, int form) {
  return CdbSetBlockLength(SptiExecute, drive, density, blockLength, form);
}

bool SptiGetCapabilitiesPage(const TKrCdRom& drive, int form, uint32_t count, uint8_t* buffer) {
  return CdbGetCapabilitiesPage(SptiExecute, drive, form, count, buffer);
}

bool SptiReadSubQ(const TKrCdRom& drive, int64_t frame, TSubQSector& sample) {
  return CdbReadSubQ(SptiExecute, drive, frame, sample);
}

bool SptiReadSubQCdda(const TKrCdRom& drive, int64_t frame, TSubQSector& sample) {
  return CdbReadSubQCdda(SptiExecute, drive, frame, sample);
}
