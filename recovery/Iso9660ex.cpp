#include "recovery/Iso9660ex.h"

#include <algorithm>
#include <cstring>

#include "recovery/Iso9660util.h"

TKrDirRecord::TKrDirRecord() = default;

void TKrDirRecord::Assign(const uint8_t* record, size_t available) {
  if (record == nullptr) return;
  Buffer.fill(0);
  const size_t n = std::min<size_t>(record[0], available);
  std::memcpy(Buffer.data(), record, n);
}

uint32_t TKrDirRecord::GetExtentLsb() const { return BothEndian32Lsb(Buffer.data() + 2); }
uint32_t TKrDirRecord::GetExtentMsb() const { return BothEndian32Msb(Buffer.data() + 2); }
uint32_t TKrDirRecord::GetDataLengthLsb() const { return BothEndian32Lsb(Buffer.data() + 10); }
uint32_t TKrDirRecord::GetDataLengthMsb() const { return BothEndian32Msb(Buffer.data() + 10); }

uint32_t TKrDirRecord::GetExtent(bool littleEndian) const {
  return littleEndian ? GetExtentLsb() : GetExtentMsb();
}

uint32_t TKrDirRecord::GetDataLength(bool littleEndian) const {
  return littleEndian ? GetDataLengthLsb() : GetDataLengthMsb();
}

TIsoDate TKrDirRecord::GetRecordingDate() const {
  TIsoDate d;
  std::copy_n(Buffer.begin() + 18, d.size(), d.begin());
  return d;
}

uint8_t TKrDirRecord::GetFileFlags() const { return Buffer[kFileFlagsOffset]; }

int TKrDirRecord::IsDirectory() const { return IsDirectoryRecord(Buffer.data()) ? 1 : 0; }

std::span<const uint8_t> TKrDirRecord::GetFileIdentifier() const {
  const size_t recordLength = Buffer[0];
  if (recordLength <= 33) return {};
  const size_t n = std::min<size_t>(Buffer[32], recordLength - 33);
  return {Buffer.data() + 33, n};
}
