#pragma once
// A whole Mode 1 disc held in memory (main channel only, no sub-channel) and a machine
// whose only drive "D:" is an emulated drive with that disc, reached by pass-through.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "emulator/EmulatedDrive.h"
#include "platform/EmulatedScsiDevice.h"
#include "platform/Machine.h"
#include "sector/SectorEncoder.h"

namespace bench_drive {

constexpr int64_t kFirstFrame = 150;

// Fills the 2048 user bytes of the sector at an LBA.
using TUserFill = std::function<void(int32_t lba, uint8_t* user)>;

class MainChannelStore : public emu::SectorStore {
 public:
  MainChannelStore(int32_t sectors, const TUserFill& fill) : Count(sectors), Data(size_t(sectors) * 2352) {
    std::array<uint8_t, 2048> user;
    for (int32_t lba = 0; lba < sectors; ++lba) {
      fill(lba, user.data());
      EncodeMode1Sector(Data.data() + size_t(lba) * 2352, lba + kFirstFrame, user.data());
    }
  }
  int32_t SectorCount() const override { return Count; }
  const uint8_t* Main(int32_t lba) const override {
    return lba >= 0 && lba < Count ? Data.data() + size_t(lba) * 2352 : nullptr;
  }
  const uint8_t* Sub(int32_t) const override { return nullptr; }

 private:
  int32_t Count;
  std::vector<uint8_t> Data;
};

// One Mode 1 track over the whole disc, with its lead-out in the TOC.
inline std::shared_ptr<const emu::Disc> Mode1Disc(int32_t sectors, const TUserFill& fill) {
  auto d = std::make_shared<emu::Disc>();
  d->Store = std::make_shared<MainChannelStore>(sectors, fill);
  d->Layout.push_back({0, sectors, emu::SectorKind::Mode1, 4});
  emu::TocDescriptor leadOut;
  leadOut.Session = 1;
  leadOut.AdrControl = 0x14;
  leadOut.Point = 0xA2;
  const int32_t frames = sectors + static_cast<int32_t>(kFirstFrame);
  leadOut.PMin = static_cast<uint8_t>(frames / 4500);
  leadOut.PSec = static_cast<uint8_t>(frames / 75 % 60);
  leadOut.PFrame = static_cast<uint8_t>(frames % 75);
  d->Toc.push_back(leadOut);
  return d;
}

class MachineWithDrive {
 public:
  explicit MachineWithDrive(std::shared_ptr<emu::EmulatedDrive> drive) {
    platform::MachineConfig config;
    config.SysfsRoot = "/nonexistent-sysfs-for-bench";
    config.DevRoot = "/nonexistent-dev-for-bench";
    config.ReadEnvironment = false;
    platform::VirtualDrive v;
    v.Vendor = "QUARNEL";
    v.Product = "EMULATED CD-ROM";
    v.Revision = "1.00";
    v.Device = std::make_shared<platform::EmulatedScsiDevice>(drive);
    config.VirtualDrives.push_back(v);
    Override = std::make_unique<platform::MachineOverride>(std::make_shared<platform::Machine>(config));
  }

 private:
  std::unique_ptr<platform::MachineOverride> Override;
};

}  // namespace bench_drive
