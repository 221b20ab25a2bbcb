#pragma once
// GIF87a and GIF89a images: the walk follows colour tables, image descriptors,
// extensions and data sub-blocks up to the trailer byte.
#include <cstdint>

#include "plugins/Formatplugin.h"

class TGifPlugin : public TFormatPlugin {
 public:
  enum : uint8_t { gvUnknown = 0, gvNotGif = 1, gv87a = 2, gv89a = 3 };
  enum : uint8_t { bsFirstCall = 0, bsIntroducer = 2, bsSubBlocks = 3 };

  TGifPlugin() noexcept;

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
  uint8_t GifVersion = gvUnknown;
  uint8_t BlockState = bsFirstCall;
};
