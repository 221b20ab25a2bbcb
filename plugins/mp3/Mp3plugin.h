#pragma once
// Recognises MPEG audio streams (MPEG-1, MPEG-2 and MPEG 2.5, Layers I to III), with or
// without a leading ID3v2 tag, and walks them frame by frame to the first byte that is
// not a frame or just past an ID3v1 tag.
#include <cstdint>

#include "plugins/Formatplugin.h"

class TMp3Plugin : public TFormatPlugin {
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
  std::uint8_t DetectCalled = 0;
  std::uint8_t FirstCall = 0;
};
