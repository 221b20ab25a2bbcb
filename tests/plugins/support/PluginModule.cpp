#include "tests/plugins/support/PluginModule.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstring>

#include "sector/Bytes.h"

namespace plugin_test {

namespace {

void* FindExport(void* handle, const char* name) {
  if (void* symbol = dlsym(handle, name)) return symbol;
  return name[0] == '_' ? dlsym(handle, name + 1) : nullptr;
}

}  // namespace

PluginModule::PluginModule(const std::string& file) {
  const std::string path = !file.empty() && file[0] == '/' ? file : std::string(QNL_PLUGIN_DIR) + "/" + file;
  Handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (Handle == nullptr) {
    const char* why = dlerror();
    Message = why != nullptr ? why : "cannot load " + path;
    return;
  }
  auto create = reinterpret_cast<TCreatePluginModule>(FindExport(Handle, "_CreatePluginModule"));
  Destroy = reinterpret_cast<TDestroyPluginModule>(FindExport(Handle, "_DestroyPluginModule"));
  if (create == nullptr || Destroy == nullptr) {
    Message = "missing export in " + path;
    return;
  }
  Object = create();
  if (Object == nullptr) Message = "module created no object: " + path;
}

PluginModule::~PluginModule() {
  if (Object != nullptr && Destroy != nullptr) Destroy(Object);
  if (Handle != nullptr) dlclose(Handle);
}

std::string PluginModule::Text(int (TFormatPlugin::*op)(int, char*), int size) const {
  if (Object == nullptr || size <= 0) return {};
  std::vector<char> buffer(static_cast<size_t>(size), '\x7f');
  const int length = (Object->*op)(size, buffer.data());
  buffer.back() = '\0';
  std::string text(buffer.data());
  if (length != static_cast<int>(text.size())) return "<length " + std::to_string(length) + " for \"" + text + "\">";
  return text;
}

namespace {

// One sector of `disc` padded with zeros as a disc pads its last sector; false past the end.
bool AppendSector(const Bytes& disc, size_t index, unsigned sectorSize, Bytes& out) {
  const size_t begin = index * sectorSize;
  if (begin >= disc.size()) return false;
  const size_t end = std::min(disc.size(), begin + sectorSize);
  out.insert(out.end(), disc.begin() + static_cast<std::ptrdiff_t>(begin), disc.begin() + static_cast<std::ptrdiff_t>(end));
  out.resize(out.size() + (begin + sectorSize - end), 0);
  return true;
}

// The rest of a carve once Detect has accepted sector `first`, as the host runs it: the
// window holds at most the rest of one sector and one whole sector, a count beyond the
// window copies the sectors in between unseen, and the carve ends at the end flag or a 0.
Carve CarveFrom(TFormatPlugin& plugin, const Bytes& disc, size_t first, unsigned sectorSize) {
  Carve carve;
  carve.FirstSector = carve.LastSector = first;
  Bytes window;
  AppendSector(disc, first, sectorSize, window);
  size_t current = first;
  bool end = false;
  while (!end) {
    // An exact-size copy, so that a read past the data shows under the sanitizers.
    const Bytes shown(window);
    const auto available = static_cast<unsigned>(shown.size());
    const unsigned m = plugin.FindEnd(shown.data(), available, &end);
    if (m == 0) break;
    if (m <= available) {
      carve.Data.insert(carve.Data.end(), shown.begin(), shown.begin() + m);
      window.erase(window.begin(), window.begin() + m);
      carve.LastSector = end && window.size() >= sectorSize ? current - 1 : current;
    } else {
      carve.Data.insert(carve.Data.end(), shown.begin(), shown.end());
      const unsigned beyond = m - available;
      window.clear();
      for (unsigned s = 0; s < beyond / sectorSize; ++s)
        if (!AppendSector(disc, ++current, sectorSize, carve.Data)) return carve;
      if (beyond % sectorSize != 0) {
        Bytes sector;
        if (!AppendSector(disc, ++current, sectorSize, sector)) return carve;
        const auto rest = static_cast<std::ptrdiff_t>(beyond % sectorSize);
        carve.Data.insert(carve.Data.end(), sector.begin(), sector.begin() + rest);
        window.assign(sector.begin() + rest, sector.end());
      }
      carve.LastSector = current;
    }
    if (!end && window.size() < sectorSize && !AppendSector(disc, ++current, sectorSize, window)) return carve;
  }
  carve.RanOffTheDisc = false;
  char extension[16] = {};
  plugin.GetExtension(sizeof extension, extension);
  carve.Extension = extension;
  return carve;
}

}  // namespace

std::vector<Carve> ScanDisc(const std::vector<TFormatPlugin*>& order, const Bytes& disc, unsigned sectorSize) {
  std::vector<Carve> carves;
  const size_t sectors = (disc.size() + sectorSize - 1) / sectorSize;
  for (size_t i = 0; i < sectors; ++i) {
    Bytes sector;
    AppendSector(disc, i, sectorSize, sector);
    for (TFormatPlugin* plugin : order) {
      plugin->Reset();
      if (plugin->Detect(sector.data(), sectorSize) == 0) continue;
      carves.push_back(CarveFrom(*plugin, disc, i, sectorSize));
      i = carves.back().LastSector;
      break;
    }
    if (!carves.empty() && carves.back().RanOffTheDisc) break;
  }
  return carves;
}

long long CarvedLength(TFormatPlugin& plugin, const Bytes& file, unsigned sectorSize) {
  if (sectorSize == 0 || file.empty()) return -1;
  plugin.Reset();
  {
    Bytes first;
    AppendSector(file, 0, sectorSize, first);
    if (plugin.Detect(first.data(), sectorSize) == 0) return -1;
  }
  const Carve carve = CarveFrom(plugin, file, 0, sectorSize);
  if (carve.RanOffTheDisc || carve.Data.empty() || carve.Data.size() > file.size()) return -1;
  return static_cast<long long>(carve.Data.size());
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes OnDisc(const Bytes& file, const Bytes& next, unsigned sectorSize) {
  Bytes disc(file);
  disc.resize((file.size() + sectorSize - 1) / sectorSize * sectorSize, 0);
  return Concat(disc, next);
}

void PutLe16(Bytes& b, size_t at, uint16_t v) { ::PutLe16(b.data() + at, v); }
void PutLe32(Bytes& b, size_t at, uint32_t v) { ::PutLe32(b.data() + at, v); }

}  // namespace plugin_test
