#pragma once
// Loads a plug-in module from the build's Plugin folder the way the program does
// (dlopen, the two exports with or without the underscore) and owns its object.
#include <cstddef>
#include <gtest/gtest.h>

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

using Bytes = std::vector<unsigned char>;

// The user data of a sector in each mode a carved file may lie in.
constexpr unsigned kSectorSizes[] = {2048, 2324, 2336};

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

// A test of one module, loaded afresh for each test.
class PluginTest : public ::testing::Test {
 protected:
  explicit PluginTest(const std::string& file) : Module(file) {}
  void SetUp() override { ASSERT_TRUE(Module.Loaded()) << Module.Error(); }

  // Reset, then Detect on an exact-size copy, so that a read past the data shows under
  // the sanitizers.
  int Detect(const Bytes& data) {
    Module->Reset();
    const Bytes copy(data);
    return Module->Detect(copy.data(), static_cast<unsigned>(copy.size()));
  }
  // One FindEnd call on exactly the given bytes.
  unsigned FindEnd(const Bytes& b, bool& end) { return Module->FindEnd(b.data(), static_cast<unsigned>(b.size()), &end); }
  std::string Extension() { return Module.Text(&TFormatPlugin::GetExtension, 16); }
  // FindEnd on a file Detect took: its stated length and the end at once; asked again,
  // nothing more and still the end.
  void ExpectEndOnce(const Bytes& file, unsigned length) {
    bool end = false;
    EXPECT_EQ(FindEnd(file, end), length);
    EXPECT_TRUE(end);
    end = false;
    EXPECT_EQ(FindEnd(file, end), 0u);
    EXPECT_TRUE(end);
  }

  // The carve with byte `at` of `disc` set to each of `values`: no end found, or an end
  // within the data shown (the sanitizers watch the reads).
  void ExpectDamageStaysWithin(const Bytes& disc, size_t at, std::initializer_list<unsigned char> values) {
    for (unsigned char value : values) {
      Bytes damaged = disc;
      damaged[at] = value;
      const long long length = CarvedLength(*Module, damaged);
      EXPECT_TRUE(length == -1 || (length > 0 && length <= static_cast<long long>(damaged.size())))
          << "byte " << at << " = " << int(value) << " gave " << length;
    }
  }
  // FindEnd on each start of `file` shorter than `sizes` bytes, in a buffer of exactly that
  // size, after a Reset: an end it reports lies within the data.
  void ExpectShortStartsEndWithin(const Bytes& file, size_t sizes) {
    bool end = false;
    for (size_t size = 0; size < sizes; ++size) {
      Module->Reset();
      const Bytes part(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size));
      const unsigned m = FindEnd(part, end);
      EXPECT_TRUE(!end || m <= size) << size;
    }
  }

  PluginModule Module;
};

// A temporary folder whose paths come as text, ready for the command lines of the tools
// that make the test files.
class TempDir : public test_support::TempDir {
 public:
  TempDir() : test_support::TempDir("qnl-plugin") {}
  std::string operator/(const std::string& name) const { return (Path / name).string(); }
  std::string Dir() const { return Path.string(); }
};

}  // namespace plugin_test
