#pragma once
// Drive identity and per-drive reading options, copied by value through the system.
#include <array>
#include <cstdint>
#include <string>
#include <variant>

class TKrCdRom {
 public:
  uint8_t HaId = 0;
  uint8_t Target = 0;
  uint8_t Lun = 0;
  uint8_t Reserved = 0;
  std::string Name;
  std::array<uint8_t, 256> Inquiry{};

  TKrCdRom() = default;
  TKrCdRom(uint8_t haId, uint8_t target, uint8_t lun);
  explicit TKrCdRom(const std::string& name);
  TKrCdRom(const TKrCdRom& other);
  bool operator=(const TKrCdRom& other);

  // Copies length bytes to the start of Inquiry; the rest keeps its bytes.
  void SetInquiryData(const uint8_t* data, uint8_t length);
  // INQUIRY bytes 8..15, 16..31 and 32..35, cut at the first NUL, not trimmed.
  std::string GetVendor() const;
  std::string GetProduct() const;
  std::string GetRevision() const;
  // ANSI version 0: the drive takes the 10-byte MODE commands.
  bool IsAtapi() const;
  // The vendor, blanks removed and upper-cased, is "PLEXTOR": the drive gets that maker's
  // presets and reports its Q subchannel in binary.
  bool IsPlextor() const;
  std::string GetDriveName() const;
};

struct TAvailMode {
  uint8_t HasLetter = 0;
  uint8_t Spti = 0;
  uint8_t Aspi = 0;
};

// DataReadCmd and ExtReadCmd: the command the sector reader reads with.
enum : uint32_t { rcReadCdUser = 0, rcReadCdTyped = 1, rcReadCdRaw = 2, rcReadCdda = 3 };
// DaeCmd: the command the ripper reads audio with.
enum : uint32_t { daeReadCd = 0, daeReadCdTyped = 1, daeReadCdda = 2, daeRead10 = 3 };
// SubChCmd: the command of the TOC search's Q samples; any other value reads as sqReadCd.
enum : uint32_t { sqReadCd = 0, sqReadCdda = 1 };

struct TDriveSetting {
  uint8_t UseSpti = 0;
  uint8_t UseBCD = 0;
  uint32_t SubChCmd = 0;
  uint32_t Interval = 0;
  int32_t ModeForm = 0;
  uint8_t SetReadSpeed = 0;
  uint32_t ReadSpeed = 0;
  uint32_t DataReadCmd = 0;
  uint32_t DataReadAtOnce = 0;
  uint32_t ExtReadCmd = 0;
  uint32_t ExtReadAtOnce = 0;
  uint8_t ExtReadAsAudio = 0;
  uint8_t ForceType = 0;
  uint32_t DaeCmd = 0;
  uint32_t CdgMode = 0;
  uint32_t ReadAtOnce = 0;
  uint32_t Overlaps = 0;
  uint32_t Compares = 0;
  int32_t OffsetSamples = 0;
  uint8_t FastErrorSkip = 0;
  uint8_t TransferBlock = 0;
  uint8_t RetryCountEnabled = 0;
  uint32_t RetryCount = 0;
  uint8_t SoftEccEnabled = 0;
  uint32_t SoftEccRetryCount = 0;
};

// Sectors one read command of the reader or the ripper asks for at most.
constexpr uint32_t kMaxSectorsAtOnce = 27;

// The range of each stored field of TDriveSetting: what the drive settings dialog lets
// the user set, what a settings file is held to, and what the engines work with.
using TSettingField = std::variant<uint8_t TDriveSetting::*, uint32_t TDriveSetting::*, int32_t TDriveSetting::*>;
// What a value outside its field's range is taken as.
enum class TOutside : uint8_t {
  Nearest,  // the nearer end of the range
  Zero,     // 0, the command or mode the field starts from
  Kept,     // itself: the reader refuses an unknown strategy; nothing sends ReadSpeed
};
struct TSettingRange {
  const char* Name;  // the field's name, also its Drive.ini key
  TSettingField Field;
  int64_t Low, High;
  TOutside Outside;
};
// Every field Drive.ini stores, in the file's order (ModeForm is not stored).
extern const std::array<TSettingRange, 24> kDriveSettingRanges;
// The entry of a field of the table.
const TSettingRange& RangeOf(TSettingField field);
// The record with every field of the table held to its range.
TDriveSetting Bounded(TDriveSetting setting);
