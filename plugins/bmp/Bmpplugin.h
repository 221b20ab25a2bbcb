#pragma once
// Bitmap graphics ("BM"): the file header states the whole file length.
#include <cstdint>

#include "plugins/Formatplugin.h"

inline constexpr TPluginTexts kBmpTexts{
    "Windows Bitmap graphic",
    ".bmp",
    "Windows Bitmap Plug-in",
    "1.00.1",
    "This supports Windows Bitmap graphics.",
    "Copyright (C) 2003 Ostrel"};

class TBmpPlugin : public TPluginWithTexts<kBmpTexts> {
 public:
  int GetPluginType() noexcept override;
  void Reset() noexcept override;
  int GetHeaderSize() noexcept override;
  int Detect(const void* data, unsigned size) noexcept override;
  unsigned FindEnd(const void* data, unsigned size, bool* endFound) noexcept override;

 private:
  uint8_t Detected = 0;
};
