#pragma once
// Cabinet archives ("MSCF"): the header states the whole cabinet length.
#include <cstdint>

#include "plugins/Formatplugin.h"

class TCabPlugin : public TFormatPlugin {
 public:
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
};
