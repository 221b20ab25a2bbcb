#pragma once
// Loads a plug-in module from the build's Plugin folder the way the program does
// (dlopen, the two exports with or without the underscore) and owns its object.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "plugins/Formatplugin.h"
#include "tests/support/Files.h"
#include "tests/support/RandomBytes.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tools.h"

namespace plugin_test {

class PluginModule {
 public:
  // `file` is the module's file name, e.g. "Png.fpi"; an absolute path is taken as is.
  explicit PluginModule(const std::string& file);
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  bool Loaded() const { return Object != nullptr; }
  const std::string& Error() const { return Message; }
  TFormatPlugin& operator*() const { return *Object; }
  TFormatPlugin* operator->() const { return Object; }

  // The text an operation gives with a buffer of `size` bytes.
  std::string Text(int (TFormatPlugin::*op)(int, char*), int size = 1024) const;

 private:
  void* Handle = nullptr;
  TDestroyPluginModule Destroy = nullptr;
  TFormatPlugin* Object = nullptr;
  std::string Message;
};

// What every module reports alike: version "1.00.1", a 2003 copyright line of the maker,
// plug-in type 1 and reserved value 0.
void ExpectModuleIdentity(const PluginModule& module);

using Bytes = std::vector<unsigned char>;

// Walks `file` as the recovery scan carves: Reset, Detect on the first `sectorSize`
// bytes, then FindEnd as the host calls it, with at least one sector of data each
// time. Returns the length FindEnd reports as the file's end, or -1 when Detect
// refuses, FindEnd gives 0 first, or no end is found within `file`.
long long CarvedLength(TFormatPlugin& plugin, const Bytes& file, unsigned sectorSize = 2048);

// One file cut out by a scan: its sectors, the bytes the host would write and the
// extension the plug-in gave.
struct Carve {
  size_t FirstSector = 0;
  size_t LastSector = 0;  // where the scan goes on after it (the next sector)
  Bytes Data;
  std::string Extension;
  bool RanOffTheDisc = true;  // the carve wanted sectors past the end of the data
};

// Offers every sector of `disc` not yet carved to the plug-ins in `order` (Reset, Detect)
// and carves with the first that accepts, as the recovery scan does.
std::vector<Carve> ScanDisc(const std::vector<TFormatPlugin*>& order, const Bytes& disc, unsigned sectorSize = 2048);

using test_support::HaveTool;
using test_support::RandomBytes;
using test_support::ReadFile;
using test_support::Shell;
using test_support::WriteFile;

Bytes Concat(Bytes a, const Bytes& b);
Bytes Concat(std::initializer_list<Bytes> parts);
// The file padded with zeros to a whole number of sectors, then `next`.
Bytes OnDisc(const Bytes& file, const Bytes& next, unsigned sectorSize);
void PutLe16(Bytes& b, size_t at, uint16_t v);
void PutLe32(Bytes& b, size_t at, uint32_t v);

// A temporary folder whose paths come as text, ready for the command lines of the tools
// that make the test files.
class TempDir : public test_support::TempDir {
 public:
  TempDir() : test_support::TempDir("qnl-plugin") {}
  std::string operator/(const std::string& name) const { return (Path / name).string(); }
  std::string Dir() const { return Path.string(); }
};

}  // namespace plugin_test
