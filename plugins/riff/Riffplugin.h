#pragma once
// RIFF files (WAVE, AVI, RMP3, ACON and any other form): the first chunk states the
// whole file length.
#include <cstdint>

#include "plugins/Formatplugin.h"

class TRiffPlugin : public TFormatPlugin {
 public:
  // RiffForm values; 0 until a Detect succeeds.
  enum : uint8_t { rfNone = 0, rfWave = 1, rfAvi = 2, rfRmp3 = 3, rfAcon = 4, rfOther = 255 };

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
  uint8_t RiffForm = rfNone;
};
