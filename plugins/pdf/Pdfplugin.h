#pragma once
// PDF documents: a document ends at an "%%EOF" line that is followed by the zero bytes
// that pad a file's last sector; an "%%EOF" followed by more text (an incremental
// update) does not end it.
#include <cstdint>

#include "plugins/Formatplugin.h"

inline constexpr TPluginTexts kPdfTexts{
    "Portable Document Format file",
    ".pdf",
    "PDF Plug-in",
    "1.00.1",
    "This supports Portable Document Format files.",
    "Copyright (C) 2003 Ostrel"};

class TPdfPlugin : public TPluginWithTexts<kPdfTexts> {
 public:
  TPdfPlugin() noexcept = default;

  int GetPluginType() noexcept override;
  void Reset() noexcept override;
  int GetHeaderSize() noexcept override;
  int Detect(const void* data, unsigned size) noexcept override;
  unsigned FindEnd(const void* data, unsigned size, bool* endFound) noexcept override;

 private:
  uint8_t AfterEofMarker = 1;  // no line end met since the last "%%EOF" (or the start)
};
