#pragma once
// Recognises LHA archives (.lzh), LZS archives (.lzs) and LHA self-extractors (.exe) and
// walks their chain of member headers to the archive's end mark.
#include <cstdint>

#include "plugins/Formatplugin.h"

class TLzhPlugin : public TFormatPlugin {
 public:
  int GetPluginType() override;
  void Reset() override;
  int GetHeaderSize() override;
  int Detect(const void* data, unsigned size) override;
  unsigned FindEnd(const void* data, unsigned size, bool* endFound) override;
  int GetTypeName(int bufSize, char* buf) override;
  int GetExtension(int bufSize, char* buf) override;
  int GetName(int bufSize, char* buf) override;
  int GetVersion(int bufSize, char* buf) override;
  int GetDescription(int bufSize, char* buf) override;
  int GetCopyright(int bufSize, char* buf) override;
  int GetReserved() override;

 private:
  std::uint8_t Detected = 0;
  std::uint8_t Kind = 0;  // 0 archive, 1 LZS archive, 2 self-extractor
  std::uint8_t SfxSearch = 0;
};
