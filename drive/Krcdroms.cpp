#include "drive/Krcdroms.h"

#include <algorithm>

#include "drive/Getdriveindexfromletter.h"
#include "drive/Kraspi.h"
#include "drive/Kraspiex.h"
#include "drive/Krspti.h"
#include "drive/Krsptiex.h"

namespace {

constexpr uint8_t kCdRomDeviceType = 5;
constexpr uint32_t kAspiSupportOk = 0x01;
constexpr uint32_t kAspiSupportNoAdapters = 0xE8;

}  // namespace

uint32_t EnumAspiCdRoms(std::vector<TKrCdRom>& list) {
  list.clear();
  const uint32_t support = AspiGetSupportInfo();
  const uint32_t status = (support >> 8) & 0xFF;
  if (status != kAspiSupportOk && status != kAspiSupportNoAdapters) return 0;
  const uint32_t adapters = support & 0xFF;
  for (uint32_t ha = 0; ha < adapters; ++ha) {
    SRB_HAInquiry inquiry;
    inquiry.SRB_HaId = static_cast<uint8_t>(ha);
    AspiSendCommand(&inquiry);
    if (inquiry.SRB_Status != kSrbStatusDone) continue;
    const uint32_t targets = inquiry.HA_Unique[3] == 0 ? 8 : inquiry.HA_Unique[3];
    for (uint32_t target = 0; target < targets; ++target) {
      for (uint32_t lun = 0; lun < 8 && list.size() < kMaxCdRoms; ++lun) {
        SRB_GDEVBlock device;
        device.SRB_HaId = static_cast<uint8_t>(ha);
        device.SRB_Target = static_cast<uint8_t>(target);
        device.SRB_Lun = static_cast<uint8_t>(lun);
        AspiSendCommand(&device);
        if (device.SRB_Status != kSrbStatusDone || device.SRB_DeviceType != kCdRomDeviceType) continue;
        TKrCdRom drive(static_cast<uint8_t>(ha), static_cast<uint8_t>(target), static_cast<uint8_t>(lun));
        if (AspiInquiry(drive)) list.push_back(drive);
      }
    }
  }
  return static_cast<uint32_t>(list.size());
}

uint32_t EnumSptiCdRoms(std::vector<TKrCdRom>& list, bool sptiUsable) {
  list.clear();
  std::vector<std::string> letters;
  ListCdDriveLetters(letters);
  for (const std::string& letter : letters) {
    if (list.size() >= kMaxCdRoms) break;
    TKrCdRom drive(letter);
    if (sptiUsable && !SptiInquiry(drive)) continue;
    list.push_back(drive);
  }
  return static_cast<uint32_t>(list.size());
}

uint32_t EnumLetterCdRoms(std::vector<TKrCdRom>& list) {
  list.clear();
  std::vector<std::string> letters;
  ListCdDriveLetters(letters);
  for (const std::string& letter : letters) {
    if (list.size() >= kMaxCdRoms) break;
    list.emplace_back(letter);
  }
  return static_cast<uint32_t>(list.size());
}

void TKrCdRoms::Add(const TKrCdRom& drive, TAvailMode mode) {
  if (CdRoms.size() >= kMaxCdRoms) return;
  CdRoms.push_back(drive);
  AvailModes.push_back(mode);
}

uint32_t TKrCdRoms::Enumerate(int mode, bool includeUnlettered) {
  Clear();
  std::vector<TKrCdRom> letters;
  if (mode == 5) {
    SptiUsable = 0;
    AspiLoaded = 0;
    EnumLetterCdRoms(letters);
    for (const TKrCdRom& drive : letters) Add(drive, {1, 0, 0});
    return GetCount();
  }
  if (mode < 0 || mode > 5) return 0;

  SptiUsable = mode == 1 ? 0 : IsSptiUsable();
  AspiLoaded = mode == 2 ? 0 : LoadAspi();
  const bool missing = (mode == 1 && !AspiLoaded) || (mode == 2 && !SptiUsable) ||
                       (mode == 3 && (!SptiUsable || !AspiLoaded)) || (mode == 4 && !SptiUsable && !AspiLoaded);
  if (missing) return 0;

  if (mode == 1) {
    EnumLetterCdRoms(letters);
  } else {
    EnumSptiCdRoms(letters, SptiUsable);
  }

  if (!AspiLoaded) {
    for (const TKrCdRom& drive : letters) Add(drive, {1, SptiUsable, 0});
    return GetCount();
  }

  std::vector<TKrCdRom> devices;
  EnumAspiCdRoms(devices);
  std::vector<bool> taken(devices.size(), false);
  for (const TKrCdRom& letter : letters) {
    const int k = GetDriveIndexFromLetter(letter.Name, devices, taken);
    if (k >= 0) {
      TKrCdRom drive(devices[static_cast<size_t>(k)]);
      drive.Name = letter.Name;
      Add(drive, {1, SptiUsable, 1});
    } else if (mode == 0 || ((mode == 2 || mode == 4) && SptiUsable)) {
      Add(letter, {1, SptiUsable, 0});
    }
  }

  if (includeUnlettered) {
    uint32_t number = 0;
    for (size_t k = 0; k < devices.size(); ++k) {
      if (taken[k]) continue;
      TKrCdRom drive(devices[k]);
      drive.Name = std::to_string(number++) + ":";
      Add(drive, {0, 0, 1});
    }
  }
  return GetCount();
}

void TKrCdRoms::Clear() {
  CdRoms.clear();
  AvailModes.clear();
}

uint32_t TKrCdRoms::GetCount() const {
  return static_cast<uint32_t>(std::min(CdRoms.size(), AvailModes.size()));
}

const TKrCdRom* TKrCdRoms::GetCdRom(uint32_t index) const {
  return index < GetCount() ? &CdRoms[index] : nullptr;
}

bool TKrCdRoms::IsSptiAvailable(uint32_t index) const { return GetAvailMode(index).Spti != 0; }

bool TKrCdRoms::IsAspiAvailable(uint32_t index) const { return GetAvailMode(index).Aspi != 0; }

TAvailMode TKrCdRoms::GetAvailMode(uint32_t index) const {
  return index < GetCount() ? AvailModes[index] : TAvailMode{};
}
