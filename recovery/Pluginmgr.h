#pragma once
// Owns the file-type plug-ins loaded from one folder, the order in which the recovery
// scan asks them and an enabled flag for each.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "plugins/Formatplugin.h"

// Hands a plug-in object back to the module that made it. Without a destroy export the
// object cannot be freed safely and is left alone.
struct TPluginDestroyer {
  TDestroyPluginModule Destroy = nullptr;
  void operator()(TFormatPlugin* plugin) const noexcept;
};

class TPluginManager {
 public:
  struct TPluginEntry {
    // Declared before Plugin so that the object is destroyed while its module is loaded.
    std::unique_ptr<platform::DynamicLibrary> Module;
    std::unique_ptr<TFormatPlugin, TPluginDestroyer> Plugin;
    std::string FileName;
    int PluginType = 0;
    std::string Name;
    std::string Version;
    std::string Description;
    std::string Copyright;
    bool Enabled = true;
  };

  TPluginManager() = default;
  ~TPluginManager();
  TPluginManager(const TPluginManager&) = delete;
  TPluginManager& operator=(const TPluginManager&) = delete;

  // Unloads everything, then loads every "*.fpi" module of `directory` in name order.
  int LoadPlugins(const std::string& directory);
  bool UnloadPlugins();

  unsigned GetCount() const { return static_cast<unsigned>(Entries.size()); }
  TFormatPlugin* GetPlugin(unsigned index) const;
  std::string GetFileName(unsigned index) const;
  std::string GetName(unsigned index) const;
  std::string GetVersion(unsigned index) const;
  std::string GetDescription(unsigned index) const;
  std::string GetCopyright(unsigned index) const;
  bool GetEnabled(unsigned index) const;
  bool SetEnabled(unsigned index, bool enabled);
  const std::string& GetDirectory() const { return Directory; }

  // Moves one entry to `to`, keeping the relative order of the others.
  bool Move(unsigned from, unsigned to);
  bool MoveByFileName(const std::string& fileName, unsigned to);

  // Puts the named plug-ins first, in the given order and with the given flags. Names that
  // are not loaded, or already placed, are skipped; the rest keep their order behind and
  // stay enabled. Returns how many were placed.
  unsigned ApplyOrder(const std::vector<std::pair<std::string, bool>>& order);

 private:
  const TPluginEntry* Entry(unsigned index) const;

  std::vector<TPluginEntry> Entries;
  std::string Directory;
};
