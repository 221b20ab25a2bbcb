#include "tests/plugins/support/PluginModule.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

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

// The data the host sees: the file's sectors, the last one padded with zeros as on a disc.
class SectorStream {
 public:
  SectorStream(const std::vector<unsigned char>& file, unsigned sectorSize) : File(file), Size(sectorSize) {}

  size_t SectorCount() const { return (File.size() + Size - 1) / Size; }

  // Appends sector `index`; false when the sector lies past the data.
  bool Append(size_t index, std::vector<unsigned char>& out) const {
    if (index >= SectorCount()) return false;
    const size_t begin = index * Size;
    const size_t end = std::min(File.size(), begin + Size);
    out.insert(out.end(), File.begin() + static_cast<std::ptrdiff_t>(begin), File.begin() + static_cast<std::ptrdiff_t>(end));
    out.resize(out.size() + (begin + Size - end), 0);
    return true;
  }

 private:
  const std::vector<unsigned char>& File;
  unsigned Size;
};

}  // namespace

long long CarvedLength(TFormatPlugin& plugin, const std::vector<unsigned char>& file, unsigned sectorSize) {
  if (sectorSize == 0) return -1;
  const SectorStream stream(file, sectorSize);
  std::vector<unsigned char> window;
  if (!stream.Append(0, window)) return -1;

  plugin.Reset();
  {
    // An exact-size copy, so that a read past the data shows under the sanitizers.
    const std::vector<unsigned char> first(window);
    if (plugin.Detect(first.data(), static_cast<unsigned>(first.size())) == 0) return -1;
  }

  size_t currentSector = 0;  // the last sector whose data is in the window or was skipped over
  unsigned long long total = 0;
  bool endFound = false;
  while (!endFound) {
    const std::vector<unsigned char> shown(window);
    const unsigned available = static_cast<unsigned>(shown.size());
    const unsigned m = plugin.FindEnd(shown.data(), available, &endFound);
    if (m == 0) return total == 0 ? -1 : static_cast<long long>(total);
    if (m <= available) {
      total += m;
      window.erase(window.begin(), window.begin() + m);
    } else {
      // The next structure lies beyond the window: the host copies the skipped sectors
      // without showing them, and the remainder of the last one starts the next window.
      total += m;
      const unsigned beyond = m - available;
      const size_t whole = beyond / sectorSize;
      const unsigned rest = beyond % sectorSize;
      window.clear();
      currentSector += whole;
      if (rest != 0) {
        ++currentSector;
        std::vector<unsigned char> sector;
        if (!stream.Append(currentSector, sector)) return -1;
        window.assign(sector.begin() + rest, sector.end());
      }
    }
    if (!endFound && window.size() < sectorSize) {
      ++currentSector;
      if (!stream.Append(currentSector, window)) return -1;
    }
  }
  if (total > file.size()) return -1;
  return static_cast<long long>(total);
}

std::vector<unsigned char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
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

void PutLe32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

void ExpectModuleIdentity(const PluginModule& module) {
  EXPECT_EQ(module.Text(&TFormatPlugin::GetVersion), "1.00.1");
  const std::string copyright = module.Text(&TFormatPlugin::GetCopyright);
  EXPECT_NE(copyright.find("2003"), std::string::npos);
  EXPECT_NE(copyright.find("Ostrel"), std::string::npos);
  EXPECT_EQ(module->GetPluginType(), 1);
  EXPECT_EQ(module->GetReserved(), 0);
}

}  // namespace plugin_test
