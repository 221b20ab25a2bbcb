#include "recovery/Pluginmgr.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

namespace {

constexpr int TextBufferSize = 1024;

// The suffix is matched without regard to case: "Png.FPI" is a module too.
bool IsModuleName(const std::string& name) {
  static constexpr char Suffix[] = ".fpi";
  constexpr size_t SuffixLength = sizeof(Suffix) - 1;
  if (name.size() < SuffixLength) return false;
  for (size_t i = 0; i < SuffixLength; ++i) {
    char c = name[name.size() - SuffixLength + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != Suffix[i]) return false;
  }
  return true;
}

// Sorted, so that the default order does not depend on how the file system lists a folder.
std::vector<std::string> ListModules(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code error;
  std::filesystem::directory_iterator it(directory, error);
  for (const std::filesystem::directory_iterator end; !error && it != end; it.increment(error)) {
    std::string name = it->path().filename().string();
    if (IsModuleName(name)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A module may export each entry point with or without the leading underscore.
template <class Function>
Function FindExport(const platform::DynamicLibrary& module, const char* underscoredName) {
  void* symbol = module.Symbol(underscoredName);
  if (symbol == nullptr) symbol = module.Symbol(underscoredName + 1);
  return reinterpret_cast<Function>(symbol);
}

// Reads one information text; the buffer is terminated here as well, whatever the plug-in did.
std::string ReadText(TFormatPlugin& plugin, int (TFormatPlugin::*operation)(int, char*)) {
  std::array<char, TextBufferSize> buffer{};
  const int length = (plugin.*operation)(TextBufferSize, buffer.data());
  buffer.back() = '\0';
  return length != 0 ? std::string(buffer.data()) : std::string();
}

}  // namespace

void TPluginDestroyer::operator()(TFormatPlugin* plugin) const noexcept {
  if (plugin == nullptr || Destroy == nullptr) return;
  try {
    Destroy(plugin);
  } catch (...) {
    // Nothing more can be done for this object; the module is freed all the same.
  }
}

TPluginManager::~TPluginManager() { UnloadPlugins(); }

int TPluginManager::LoadPlugins(const std::string& directory) {
  UnloadPlugins();
  Directory = directory;
  for (const std::string& fileName : ListModules(directory)) {
    std::string loadError;
    auto module = platform::DynamicLibrary::Load(std::filesystem::path(directory) / fileName, loadError);
    if (!module) continue;
    const auto create = FindExport<TCreatePluginModule>(*module, "_CreatePluginModule");
    if (create == nullptr) continue;
    TFormatPlugin* object = nullptr;
    try {
      object = create();
    } catch (...) {
      continue;
    }
    if (object == nullptr) continue;

    TPluginEntry entry;
    entry.Module = std::move(module);
    entry.Plugin = {object, TPluginDestroyer{FindExport<TDestroyPluginModule>(*entry.Module, "_DestroyPluginModule")}};
    entry.FileName = fileName;
    try {
      entry.Name = ReadText(*object, &TFormatPlugin::GetName);
      entry.Version = ReadText(*object, &TFormatPlugin::GetVersion);
      entry.Description = ReadText(*object, &TFormatPlugin::GetDescription);
      entry.Copyright = ReadText(*object, &TFormatPlugin::GetCopyright);
      entry.PluginType = object->GetPluginType();
    } catch (...) {
      continue;  // the entry hands the object back to its module, then frees the module
    }
    entry.Enabled = true;
    Entries.push_back(std::move(entry));
  }
  return static_cast<int>(GetCount());
}

bool TPluginManager::UnloadPlugins() {
  for (TPluginEntry& entry : Entries) {
    entry.Plugin.reset();
    entry.Module.reset();
  }
  Entries.clear();
  return true;
}

const TPluginManager::TPluginEntry* TPluginManager::Entry(unsigned index) const {
  return index < GetCount() ? &Entries[index] : nullptr;
}

TFormatPlugin* TPluginManager::GetPlugin(unsigned index) const {
  const TPluginEntry* entry = Entry(index);
  return entry != nullptr ? entry->Plugin.get() : nullptr;
}

std::string TPluginManager::GetFileName(unsigned index) const {
  const TPluginEntry* entry = Entry(index);
  return entry != nullptr ? entry->FileName : std::string();
}

std::string TPluginManager::GetName(unsigned index) const {
  const TPluginEntry* entry = Entry(index);
  return entry != nullptr ? entry->Name : std::string();
}

std::string TPluginManager::GetVersion(unsigned index) const {
  const TPluginEntry* entry = Entry(index);
  return entry != nullptr ? entry->Version : std::string();
}

std::string TPluginManager::GetDescription(unsigned index) const {
  const TPluginEntry* entry = Entry(index);
  return entry != nullptr ? entry->Description : std::string();
}

std::string TPluginManager::GetCopyright(unsigned index) const {
  const TPluginEntry* entry = Entry(index);
  return entry != nullptr ? entry->Copyright : std::string();
}

bool TPluginManager::GetEnabled(unsigned index) const {
  const TPluginEntry* entry = Entry(index);
  return entry != nullptr && entry->Enabled;
}

bool TPluginManager::SetEnabled(unsigned index, bool enabled) {
  if (index >= GetCount()) return false;
  Entries[index].Enabled = enabled;
  return true;
}

bool TPluginManager::Move(unsigned from, unsigned to) {
  if (from >= GetCount() || to >= GetCount()) return false;
  const auto begin = Entries.begin();
  if (from < to)
    std::rotate(begin + from, begin + from + 1, begin + to + 1);
  else if (from > to)
    std::rotate(begin + to, begin + from, begin + from + 1);
  return true;
}

bool TPluginManager::MoveByFileName(const std::string& fileName, unsigned to) {
  const auto found = std::find_if(Entries.begin(), Entries.end(),
                                  [&](const TPluginEntry& entry) { return entry.FileName == fileName; });
  if (found == Entries.end()) return false;
  return Move(static_cast<unsigned>(found - Entries.begin()), to);
}

unsigned TPluginManager::ApplyOrder(const std::vector<std::pair<std::string, bool>>& order) {
  unsigned position = 0;
  for (const auto& [fileName, enabled] : order) {
    if (position >= GetCount()) break;
    // Only entries not yet placed are searched: a name given twice must not pull an
    // entry back out of the place it already has.
    const auto found = std::find_if(Entries.begin() + position, Entries.end(),
                                    [&](const TPluginEntry& entry) { return entry.FileName == fileName; });
    if (found == Entries.end()) continue;
    Move(static_cast<unsigned>(found - Entries.begin()), position);
    SetEnabled(position, enabled);
    ++position;
  }
  return position;
}
