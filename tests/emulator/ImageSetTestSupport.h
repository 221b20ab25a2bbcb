#pragma once
// Small helpers for the image-set tests: sectors whose bytes tell where they lie, and TOC entries.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/Disc.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace emu::test {

using TempDir = test_support::TempDir;

using test_support::ReadText;
using test_support::WriteFile;

// Raw bytes whose every position tells where it came from: sector lba, byte i.
inline uint8_t PatternByte(int32_t lba, size_t i, uint8_t salt = 0) {
  return static_cast<uint8_t>((lba * 31 + i * 7 + salt) & 0xFF);
}

inline std::string PatternSectors(int32_t count, size_t bytes, uint8_t salt = 0) {
  std::string data(static_cast<size_t>(count) * bytes, '\0');
  for (int32_t lba = 0; lba < count; ++lba)
    for (size_t i = 0; i < bytes; ++i) data[lba * bytes + i] = static_cast<char>(PatternByte(lba, i, salt));
  return data;
}

inline TocDescriptor Descriptor(uint8_t session, uint8_t adr, uint8_t control, uint8_t point, uint8_t pmin, uint8_t psec,
                                uint8_t pframe) {
  TocDescriptor d;
  d.Session = session;
  d.AdrControl = static_cast<uint8_t>(adr << 4 | control);
  d.Point = point;
  d.PMin = pmin;
  d.PSec = psec;
  d.PFrame = pframe;
  return d;
}

}  // namespace emu::test
