#pragma once
// RIFF files (WAVE, AVI, RMP3, ACON and any other form): the first chunk states the
// whole file length.
#include <cstdint>

#include "plugins/Formatplugin.h"

inline constexpr TPluginTexts kRiffTexts{
    "RIFF format file",
    nullptr,
    "RIFF Format Plug-in",
    "1.00.1",
    "This supports WAV, AVI, RMP, ANI and other RIFF format files.",
    "Copyright (C) 2003 Ostrel"};

class TRiffPlugin : public TPluginWithTexts<kRiffTexts> {
 public:
  // RiffForm values; 0 until a Detect succeeds.
  enum : uint8_t { rfNone = 0, rfWave = 1, rfAvi = 2, rfRmp3 = 3, rfAcon = 4, rfOther = 255 };

  int GetPluginType() noexcept override;
  void Reset() noexcept override;
  int GetHeaderSize() noexcept override;
  int Detect(const void* data, unsigned size) noexcept override;
  unsigned FindEnd(const void* data, unsigned size, bool* endFound) noexcept override;
  int GetExtension(int bufSize, char* buf) noexcept override;

 private:
  uint8_t Detected = 0;
  uint8_t RiffForm = rfNone;
};
