#pragma once
// ZIP archives: the walk steps from record to record (local file headers with their
// data, central directory headers, end of central directory). An entry whose sizes
// follow its data (a data descriptor) is crossed by searching for that descriptor.
#include <cstdint>

#include "plugins/Formatplugin.h"

class TZipPlugin : public TFormatPlugin {
 public:
  TZipPlugin() noexcept = default;

  int GetPluginType() noexcept override;
  void Reset() noexcept override;
  int GetHeaderSize() noexcept override;
  int Detect(const void* data, unsigned size) noexcept override;
  unsigned FindEnd(const void* data, unsigned size, bool* endFound) noexcept override;
  int GetTypeName(int bufSize, char* buf) noexcept override;
  int GetExtension(int bufSize, char* buf) noexcept override;
  int GetName(int bufSize, char* buf) noexcept override;
  int GetVersion(int bufSize, char* buf) noexcept override;
  int GetDescription(int bufSize, char* buf) noexcept override;
  int GetCopyright(int bufSize, char* buf) noexcept override;
  int GetReserved() noexcept override;

 private:
  struct TScanResult {
    bool Ended;     // the entry's data and its descriptor end at Position
    uint64_t Position;
  };
  // Searches data[start..] for the end of an entry whose size is not in its header.
  TScanResult ScanEntryData(const unsigned char* bytes, unsigned size, uint64_t start) noexcept;

  uint8_t InEntryData = 0;
  uint64_t EntryDataWalked = 0;  // bytes of that entry's data before the current data[0]
};
