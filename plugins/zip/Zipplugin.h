#pragma once
// ZIP archives: the walk steps from record to record (local file headers with their
// data, central directory headers, end of central directory). Every record states its
// own length, so nothing is kept between calls. An entry whose sizes follow its data
// (general-purpose flag bit 3) states no length: the walk meets its data and the
// archive ends there.
#include <cstdint>

#include "plugins/Formatplugin.h"

inline constexpr TPluginTexts kZipTexts{
    "PK Zipped archive",
    ".zip",
    "PKZIP Plug-in",
    "1.00.1",
    "This supports PK Zipped archives.",
    "Copyright (C) 2003 Ostrel"};

class TZipPlugin : public TPluginWithTexts<kZipTexts> {
 public:
  TZipPlugin() noexcept = default;

  int GetPluginType() noexcept override;
  void Reset() noexcept override;
  int GetHeaderSize() noexcept override;
  int Detect(const void* data, unsigned size) noexcept override;
  unsigned FindEnd(const void* data, unsigned size, bool* endFound) noexcept override;
};
