#pragma once
// Cabinet archives ("MSCF"): the header states the whole cabinet length.
#include <cstdint>

#include "plugins/Formatplugin.h"

inline constexpr TPluginTexts kCabTexts{
    "Windows Cabinet file",
    ".cab",
    "Windows Cabinet Plug-in",
    "1.00.1",
    "This supports Windows Cabinet files.",
    "Copyright (C) 2003 Ostrel"};

class TCabPlugin : public TPluginWithTexts<kCabTexts> {
 public:
  int GetPluginType() noexcept override;
  void Reset() noexcept override;
  int GetHeaderSize() noexcept override;
  int Detect(const void* data, unsigned size) noexcept override;
  unsigned FindEnd(const void* data, unsigned size, bool* endFound) noexcept override;

 private:
  uint8_t Detected = 0;
};
