#include "emulator/Disc.h"

#include <cstddef>
#include <stdexcept>

#include "sector/Address.h"
#include "sector/Datasector.h"

namespace emu {

namespace {


bool Contains(const Extent& extent, int32_t lba) { return lba >= extent.FirstLba && lba < extent.EndLba; }

size_t CheckedCount(int32_t sectors) {
  if (sectors < 0) throw std::invalid_argument("negative sector count");
  return static_cast<size_t>(sectors);
}

}  // namespace

MemorySectorStore::MemorySectorStore(int32_t sectors)
    : Count(sectors), MainData(CheckedCount(sectors) * kRawSectorSize), SubData(CheckedCount(sectors) * kSubchannelSize) {}

const uint8_t* MemorySectorStore::Main(int32_t lba) const {
  if (lba < 0 || lba >= Count) return nullptr;
  return MainData.data() + static_cast<size_t>(lba) * kRawSectorSize;
}

const uint8_t* MemorySectorStore::Sub(int32_t lba) const {
  if (lba < 0 || lba >= Count) return nullptr;
  return SubData.data() + static_cast<size_t>(lba) * kSubchannelSize;
}

uint8_t* MemorySectorStore::MutableMain(int32_t lba) {
  if (lba < 0 || lba >= Count) return nullptr;
  return MainData.data() + static_cast<size_t>(lba) * kRawSectorSize;
}

uint8_t* MemorySectorStore::MutableSub(int32_t lba) {
  if (lba < 0 || lba >= Count) return nullptr;
  return SubData.data() + static_cast<size_t>(lba) * kSubchannelSize;
}

std::optional<SectorKind> Disc::KindAt(int32_t lba) const {
  // Layouts are normally sorted by FirstLba without overlaps: find the last extent that
  // starts at or before lba. A layout built out of order falls back to a scan.
  size_t low = 0, high = Layout.size();
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    if (Layout[mid].FirstLba <= lba)
      low = mid + 1;
    else
      high = mid;
  }
  if (low > 0 && Contains(Layout[low - 1], lba)) return Layout[low - 1].Kind;
  for (const Extent& extent : Layout)
    if (Contains(extent, lba)) return extent.Kind;
  return std::nullopt;
}

int32_t Disc::TocLeadOutLba() const {
  for (auto it = Toc.rbegin(); it != Toc.rend(); ++it) {
    if ((it->AdrControl >> 4) == 1 && it->Point == 0xA2)
      return static_cast<int32_t>(MsfToFrames(it->PMin, it->PSec, it->PFrame) - kLbaOffset);
  }
  return -1;
}

}  // namespace emu
