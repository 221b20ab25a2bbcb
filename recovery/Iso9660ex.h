#pragma once
// One raw ISO 9660 directory record, held by value in a 256-byte buffer (the rest zero).
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// The 7-byte recording date of a directory record: years since 1900, month, day, hour,
// minute, second, offset from Greenwich in signed 15-minute units.
using TIsoDate = std::array<uint8_t, 7>;

constexpr size_t kFileFlagsOffset = 25;  // in a directory record
constexpr uint8_t kDirectoryFlag = 0x02;
// The raw directory record at `record` names a directory.
inline bool IsDirectoryRecord(const uint8_t* record) { return (record[kFileFlagsOffset] & kDirectoryFlag) != 0; }

class TKrDirRecord {
 public:
  static constexpr size_t kSize = 256;

  TKrDirRecord();

  // Copies the record that starts at `record`, as many bytes as its own length byte says
  // but never more than `available` (the bytes the caller holds from `record` on).
  // A null pointer leaves the record unchanged.
  void Assign(const uint8_t* record, size_t available);

  uint32_t GetExtentLsb() const;
  uint32_t GetExtentMsb() const;
  uint32_t GetDataLengthLsb() const;
  uint32_t GetDataLengthMsb() const;
  uint32_t GetExtent(bool littleEndian) const;
  uint32_t GetDataLength(bool littleEndian) const;
  TIsoDate GetRecordingDate() const;
  uint8_t GetFileFlags() const;
  int IsDirectory() const;  // 1 or 0

  // The file identifier bytes, cut to what the record and the buffer really hold.
  std::span<const uint8_t> GetFileIdentifier() const;

  const uint8_t* Data() const { return Buffer.data(); }
  bool operator==(const TKrDirRecord&) const = default;

 private:
  std::array<uint8_t, kSize> Buffer{};
};
