#include "drive/Krcdrom.h"

#include <algorithm>
#include <cstring>

namespace {

std::string InquiryText(const std::array<uint8_t, 256>& inquiry, size_t first, size_t count) {
  const auto begin = inquiry.begin() + static_cast<std::ptrdiff_t>(first);
  const auto end = std::find(begin, begin + static_cast<std::ptrdiff_t>(count), uint8_t{0});
  return std::string(begin, end);
}

}  // namespace

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
std::string TKrCdRom::GetDriveName() const { return Name; }
