#pragma once
// Drive identity and per-drive reading options, copied by value through the system.
#include <array>
#include <cstdint>
#include <string>

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
