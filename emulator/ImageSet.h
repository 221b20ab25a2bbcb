#pragma once
// Image sets on disk: NAME.ccd (TOC entries and tracks, CloneCD layout), NAME.img
// (raw 2352-byte sectors from LBA 0), NAME.sub (96 bytes a sector, de-interleaved
// P..W) and the optional NAME.flt (drive profile, true layout and faults).
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

#include "emulator/Disc.h"

namespace emu {

// Loads the set named by its .ccd (or any of its files). The .img and .sub are mapped,
// not read. False with a message on a missing or malformed file.
bool LoadImageSet(const std::filesystem::path& path, Disc& disc, std::string& error);

// Writes NAME.ccd and NAME.flt for a disc whose .img and .sub are written separately.
bool WriteControlFile(const std::filesystem::path& ccdPath, const Disc& disc, std::string& error);
bool WriteFaultFile(const std::filesystem::path& fltPath, const Disc& disc, std::string& error);
// Writes all four files of an in-memory disc.
bool SaveImageSet(const std::filesystem::path& ccdPath, const Disc& disc, std::string& error);

// NAME.img and NAME.sub mapped read-only. A .sub shorter than the .img serves the
// sectors it covers; without a .sub no sub-channel is served.
class MappedSectorStore : public SectorStore {
  class Mapping {
   public:
    Mapping() = default;
    Mapping(const uint8_t* data, size_t size) : Data(data), Size(size) {}
    Mapping(Mapping&& other) noexcept;
    Mapping& operator=(Mapping&& other) noexcept;
    ~Mapping();
    const uint8_t* Data = nullptr;
    size_t Size = 0;
  };
  static bool MapFile(const std::filesystem::path& path, Mapping& mapping, std::string& error);

 public:
  // Null with a message when the .img is missing, unreadable or not whole sectors.
  // An empty subPath, or one that does not exist, means no sub-channel.
  static std::shared_ptr<const MappedSectorStore> Open(const std::filesystem::path& imgPath,
                                                       const std::filesystem::path& subPath,
                                                       std::string& error);
  MappedSectorStore(Mapping main, Mapping sub);

  int32_t SectorCount() const override { return Count; }
  const uint8_t* Main(int32_t lba) const override;
  const uint8_t* Sub(int32_t lba) const override;

 private:
  Mapping MainMap;
  Mapping SubMap;
  int32_t Count = 0;
  int32_t SubCount = 0;
};

}  // namespace emu
