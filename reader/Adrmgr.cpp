#include "reader/Adrmgr.h"

#include <unistd.h>

#include <filesystem>

#include "sector/Address.h"

namespace {

// Reserves a unique "adr" file in the temporary folder; "" when that cannot be done.
std::string ReserveTempFile() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  if (error) return {};
  std::string pattern = (folder / "adrXXXXXX").string();
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return {};
  close(fd);
  return pattern;
}

}  // namespace

TAddressManager::~TAddressManager() { Clear(); }

bool TAddressManager::Allocate(int64_t start, int64_t end) {
  Clear();
  // No track spans more frames than a disc has addresses; a larger range comes from a
  // damaged TOC or track list and would only claim memory.
  if (end < start || static_cast<uint64_t>(end) - static_cast<uint64_t>(start) > kLeadInEndFrame) return false;
  std::string name = ReserveTempFile();
  if (name.empty()) return false;
  TempFileName = std::move(name);
  try {
    // Unsigned difference: well defined for any end >= start, even across the whole range.
    const uint64_t size = static_cast<uint64_t>(end) - static_cast<uint64_t>(start);
    Map.emplace(size, kNotHandled);
  } catch (...) {
    Clear();
    return false;
  }
  Base = start;
  return true;
}

std::optional<size_t> TAddressManager::OffsetOf(int64_t address) const {
  if (!Map || address < Base) return std::nullopt;
  const uint64_t offset = static_cast<uint64_t>(address) - static_cast<uint64_t>(Base);
  if (offset >= Map->size()) return std::nullopt;
  return static_cast<size_t>(offset);
}

uint8_t TAddressManager::GetStatus(int64_t address) const {
  if (!Map) return kNotHandled;
  const auto offset = OffsetOf(address);
  return offset ? (*Map)[*offset] : kOutside;
}

bool TAddressManager::SetStatus(int64_t address, uint8_t status) {
  const auto offset = OffsetOf(address);
  if (!offset) return false;
  (*Map)[*offset] = status;
  return true;
}

void TAddressManager::Clear() {
  Map.reset();
  if (!TempFileName.empty()) {
    unlink(TempFileName.c_str());  // already gone is fine
    TempFileName.clear();
  }
  Base = 0;
}
