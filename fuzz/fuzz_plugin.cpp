// Arbitrary sectors to one file-type plug-in, called as the recovery scan calls it: the
// object lives as long as the module, each sector not yet carved gets Reset and Detect,
// and an accepted one is carved with FindEnd over the host's two-sector window (the rest
// of one sector and one whole sector), with the texts asked for before and after. The
// first input byte picks the user-data size the scan offers (2048, 2324 or 2336 bytes).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "plugins/Formatplugin.h"

extern "C" TFormatPlugin* _CreatePluginModule();

namespace {

constexpr unsigned kSectorSizes[] = {2048, 2324, 2336};

class Disc {
 public:
  Disc(const uint8_t* data, size_t size, unsigned sectorSize) : Data(data), Size(size), SectorSize(sectorSize) {}

  size_t Sectors() const { return (Size + SectorSize - 1) / SectorSize; }

  // Appends the user data of sector `index`, zeros where the input ends; false past the disc.
  bool Append(size_t index, std::vector<uint8_t>& out) const {
    if (index >= Sectors()) return false;
    const size_t begin = index * SectorSize;
    const size_t length = Size - begin < SectorSize ? Size - begin : SectorSize;
    out.insert(out.end(), Data + begin, Data + begin + length);
    out.resize(out.size() + (SectorSize - length), 0);
    return true;
  }

  const uint8_t* Data;
  size_t Size;
  unsigned SectorSize;
};

void CheckText(int length, const char* buffer, int bufferSize) {
  if (length < 0 || length >= bufferSize || buffer[bufferSize - 1] != '\0' ||
      std::strlen(buffer) != static_cast<size_t>(length))
    __builtin_trap();
}

void AskTexts(TFormatPlugin& plugin) {
  char name[1024];
  CheckText(plugin.GetTypeName(sizeof name, name), name, sizeof name);
  char extension[16] = {};
  CheckText(plugin.GetExtension(sizeof extension, extension), extension, sizeof extension);
}

// Carves from sector `first` and returns the last sector the host would take; the carve
// stops at the end of the disc as a cancel would.
size_t Carve(TFormatPlugin& plugin, const Disc& disc, size_t first) {
  std::vector<uint8_t> window;
  disc.Append(first, window);
  size_t current = first;
  size_t last = first;
  bool end = false;
  while (!end) {
    // Exactly as long as what is shown, so a read past it shows under the sanitizers.
    const std::vector<uint8_t> shown(window);
    const auto available = static_cast<unsigned>(shown.size());
    const unsigned m = plugin.FindEnd(shown.data(), available, &end);
    if (m == 0) break;
    if (m <= available) {
      window.erase(window.begin(), window.begin() + m);
      last = end && window.size() >= disc.SectorSize ? current - 1 : current;
    } else {
      const uint64_t beyond = uint64_t(m) - available;
      window.clear();
      current += beyond / disc.SectorSize;
      if (current >= disc.Sectors()) return disc.Sectors() - 1;
      if (beyond % disc.SectorSize != 0) {
        std::vector<uint8_t> sector;
        if (!disc.Append(++current, sector)) return disc.Sectors() - 1;
        window.assign(sector.begin() + static_cast<std::ptrdiff_t>(beyond % disc.SectorSize), sector.end());
      }
      last = current;
    }
    if (!end && window.size() < disc.SectorSize && !disc.Append(++current, window)) return disc.Sectors() - 1;
  }
  AskTexts(plugin);
  return last;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TFormatPlugin* const plugin = _CreatePluginModule();
  if (plugin == nullptr) __builtin_trap();
  if (size < 2) return 0;
  const Disc disc(data + 1, size - 1, kSectorSizes[data[0] % 3]);
  for (size_t i = 0; i < disc.Sectors(); ++i) {
    std::vector<uint8_t> sector;
    disc.Append(i, sector);
    plugin->Reset();
    if (plugin->Detect(sector.data(), disc.SectorSize) == 0) continue;
    char name[1024];
    CheckText(plugin->GetTypeName(sizeof name, name), name, sizeof name);
    i = Carve(*plugin, disc, i);
  }
  return 0;
}
