#pragma once
// GIF87a and GIF89a images: the walk follows colour tables, image descriptors,
// extensions and data sub-blocks up to the trailer byte.
#include <cstdint>

#include "plugins/Formatplugin.h"

inline constexpr TPluginTexts kGifTexts{
    "GIF file",
    ".gif",
    "GIF Plug-in",
    "1.00.1",
    "This supports GIF graphics.",
    "Copyright (C) 2003 Ostrel"};

class TGifPlugin : public TPluginWithTexts<kGifTexts> {
 public:
  enum : uint8_t { gvUnknown = 0, gvNotGif = 1, gv87a = 2, gv89a = 3 };
  enum : uint8_t { bsFirstCall = 0, bsIntroducer = 2, bsSubBlocks = 3 };

  TGifPlugin() noexcept;

  int GetPluginType() noexcept override;
  void Reset() noexcept override;
  int GetHeaderSize() noexcept override;
  int Detect(const void* data, unsigned size) noexcept override;
  unsigned FindEnd(const void* data, unsigned size, bool* endFound) noexcept override;

 private:
  uint8_t GifVersion = gvUnknown;
  uint8_t BlockState = bsFirstCall;
};
