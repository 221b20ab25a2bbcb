#pragma once
// JFIF images: the walk follows the marker segments and steps through each
// entropy-coded scan up to the end-of-image marker.
#include <cstdint>

#include "plugins/Formatplugin.h"

inline constexpr TPluginTexts kJpegTexts{
    "JPEG file",
    ".jpg",
    "JPEG Plug-in",
    "1.00.1",
    "This supports JPEG graphics.",
    "Copyright (C) 2003 Ostrel"};

class TJpegPlugin : public TPluginWithTexts<kJpegTexts> {
 public:
  TJpegPlugin() noexcept = default;

  int GetPluginType() noexcept override;
  void Reset() noexcept override;
  int GetHeaderSize() noexcept override;
  int Detect(const void* data, unsigned size) noexcept override;
  unsigned FindEnd(const void* data, unsigned size, bool* endFound) noexcept override;

 private:
  uint8_t Detected = 0;
  uint8_t FirstCall = 0;
  uint8_t InScan = 0;  // the walk stands inside entropy-coded data
};
