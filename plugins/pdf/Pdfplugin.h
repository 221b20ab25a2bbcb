#pragma once
// PDF documents: a document ends at an "%%EOF" line that is followed by the zero bytes
// that pad a file's last sector; an "%%EOF" followed by more text (an incremental
// update) does not end it.
#include <cstdint>

#include "plugins/Formatplugin.h"

class TPdfPlugin : public TFormatPlugin {
 public:
  TPdfPlugin() noexcept = default;

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
  uint8_t AfterEofMarker = 1;  // no line end met since the last "%%EOF" (or the start)
};
