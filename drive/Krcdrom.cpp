#include "drive/Krcdrom.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "sector/Trim.h"

namespace {

std::string InquiryText(const std::array<uint8_t, 256>& inquiry, size_t first, size_t count) {
  const auto begin = inquiry.begin() + static_cast<std::ptrdiff_t>(first);
  const auto end = std::find(begin, begin + static_cast<std::ptrdiff_t>(count), uint8_t{0});
  return std::string(begin, end);
}

using S = TDriveSetting;
constexpr TOutside kNearest = TOutside::Nearest, kZero = TOutside::Zero, kKept = TOutside::Kept;

template <typename T>
T HeldTo(T value, const TSettingRange& range) {
  const int64_t v = value;
  if (v >= range.Low && v <= range.High) return value;
  if (range.Outside == TOutside::Kept) return value;
  if (range.Outside == TOutside::Zero) return 0;
  return static_cast<T>(std::clamp(v, range.Low, range.High));
}

}  // namespace

const std::array<TSettingRange, 24> kDriveSettingRanges = {{
    {"UseSpti", &S::UseSpti, 0, 1, kNearest},
    {"UseBCD", &S::UseBCD, 0, 1, kNearest},
    {"SubChCmd", &S::SubChCmd, sqReadCd, sqReadCdda, kZero},
    {"Interval", &S::Interval, 0, 1000, kNearest},
    {"DataReadCmd", &S::DataReadCmd, rcReadCdUser, rcReadCdda, kKept},
    {"DataReadAtOnce", &S::DataReadAtOnce, 1, kMaxSectorsAtOnce, kNearest},
    {"ExtReadCmd", &S::ExtReadCmd, rcReadCdUser, rcReadCdda, kKept},
    // Beyond the lead-out a batch of two still holds a whole sector when the answer is
    // shifted by some bytes.
    {"ExtReadAtOnce", &S::ExtReadAtOnce, 2, kMaxSectorsAtOnce, kNearest},
    {"ExtReadAsAudio", &S::ExtReadAsAudio, 0, 1, kNearest},
    {"DaeCmd", &S::DaeCmd, daeReadCd, daeRead10, kZero},
    {"CdgMode", &S::CdgMode, 0, 2, kZero},
    {"ReadAtOnce", &S::ReadAtOnce, 1, kMaxSectorsAtOnce, kNearest},
    {"Overlaps", &S::Overlaps, 0, 13, kNearest},
    {"Compares", &S::Compares, 0, 13, kNearest},
    {"OffsetSamples", &S::OffsetSamples, -10000, 10000, kNearest},
    {"FastErrorSkip", &S::FastErrorSkip, 0, 1, kNearest},
    {"TransferBlock", &S::TransferBlock, 0, 1, kNearest},
    {"RetryCountEnabled", &S::RetryCountEnabled, 0, 1, kNearest},
    {"RetryCount", &S::RetryCount, 0, 12, kNearest},
    {"SoftEccEnabled", &S::SoftEccEnabled, 0, 1, kNearest},
    {"SoftEccRetryCount", &S::SoftEccRetryCount, 0, 12, kNearest},
    {"ForceType", &S::ForceType, 0, 1, kNearest},
    {"SetReadSpeed", &S::SetReadSpeed, 0, 1, kNearest},
    {"ReadSpeed", &S::ReadSpeed, 1, 0xFFFF, kKept},
}};

const TSettingRange& RangeOf(TSettingField field) {
  return *std::find_if(kDriveSettingRanges.begin(), kDriveSettingRanges.end(),
                       [&](const TSettingRange& r) { return r.Field == field; });
}

TDriveSetting Bounded(TDriveSetting setting) {
  for (const TSettingRange& range : kDriveSettingRanges)
    std::visit([&](auto member) { setting.*member = HeldTo(setting.*member, range); }, range.Field);
  return setting;
}

TKrCdRom::TKrCdRom(uint8_t haId, uint8_t target, uint8_t lun) : HaId(haId), Target(target), Lun(lun) {}

TKrCdRom::TKrCdRom(const std::string& name) : Name(name) {}

TKrCdRom::TKrCdRom(const TKrCdRom& other)
    : HaId(other.HaId), Target(other.Target), Lun(other.Lun), Reserved(0), Name(other.Name),
      Inquiry(other.Inquiry) {}

bool TKrCdRom::operator=(const TKrCdRom& other) {
  HaId = other.HaId;
  Target = other.Target;
  Lun = other.Lun;
  Reserved = 0;
  Name = other.Name;
  Inquiry = other.Inquiry;
  return true;
}

void TKrCdRom::SetInquiryData(const uint8_t* data, uint8_t length) {
  if (data != nullptr && length > 0) std::memcpy(Inquiry.data(), data, length);
}

std::string TKrCdRom::GetVendor() const { return InquiryText(Inquiry, 8, 8); }
std::string TKrCdRom::GetProduct() const { return InquiryText(Inquiry, 16, 16); }
std::string TKrCdRom::GetRevision() const { return InquiryText(Inquiry, 32, 4); }
bool TKrCdRom::IsAtapi() const { return (Inquiry[2] & 0x07) == 0; }

bool TKrCdRom::IsPlextor() const {
  std::string vendor(Trim(GetVendor()));
  std::transform(vendor.begin(), vendor.end(), vendor.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return vendor == "PLEXTOR";
}

std::string TKrCdRom::GetDriveName() const { return Name; }
