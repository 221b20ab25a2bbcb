#pragma once
// JFIF images: the walk follows the marker segments and steps through each
// entropy-coded scan up to the end-of-image marker.
#include <cstdint>

#include "plugins/Formatplugin.h"

class TJpegPlugin : public TFormatPlugin {
 public:
  TJpegPlugin() noexcept = default;

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
  uint8_t Detected = 0;
  uint8_t FirstCall = 0;
  uint8_t InScan = 0;  // the walk stands inside entropy-coded data
};
