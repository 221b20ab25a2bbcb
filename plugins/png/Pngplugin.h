#pragma once
// PNG images: the walk follows the chunk sequence up to the "IEND" chunk.
#include <cstdint>

#include "plugins/Formatplugin.h"

class TPngPlugin : public TFormatPlugin {
 public:
  TPngPlugin() noexcept;

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
  uint8_t FirstCall = 1;
};
