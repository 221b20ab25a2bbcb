#pragma once
// PNG images: the walk follows the chunk sequence up to the "IEND" chunk.
#include <cstdint>

#include "plugins/Formatplugin.h"

inline constexpr TPluginTexts kPngTexts{
    "Portable Network Graphics file",
    ".png",
    "PNG Plug-in",
    "1.00.1",
    "This supports Portable Network Graphics files.",
    "Copyright (C) 2003 Ostrel"};

class TPngPlugin : public TPluginWithTexts<kPngTexts> {
 public:
  TPngPlugin() noexcept;

  int GetPluginType() noexcept override;
  void Reset() noexcept override;
  int GetHeaderSize() noexcept override;
  int Detect(const void* data, unsigned size) noexcept override;
  unsigned FindEnd(const void* data, unsigned size, bool* endFound) noexcept override;

 private:
  uint8_t FirstCall = 1;
};
