// Arbitrary sector user data to the directory-record readers the recovery scan runs on
// every sector: the directory-sector test, the name-encoding tests, record copies and names.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "recovery/Dirsectortest.h"
#include "recovery/Iso9660ex.h"
#include "recovery/Iso9660util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t unit = data[0] % 4 == 0 ? 2048 : data[0];
  // Exactly as long as the input, so a lying length would run off the end.
  const std::vector<uint8_t> sector(data + 1, data + size);
  const uint32_t length = static_cast<uint32_t>(sector.size());
  IsDirectorySector(sector.data(), length);
  uint32_t n = 0;
  CheckTailZero(sector.data(), length, data[0], n);
  IsUcs2Directory(sector.data(), sector.size(), unit);
  NameCodeOf(sector.data(), sector.size(), unit);
  for (size_t pos = 0; pos < sector.size(); pos += sector[pos] ? sector[pos] : 1) {
    TKrDirRecord record;
    record.Assign(sector.data() + pos, sector.size() - pos);
    record.GetExtent(true);
    record.GetDataLength(false);
    IsoDateToString(record.GetRecordingDate());
    Ucs2BeToUtf8(record.GetFileIdentifier());
    NarrowNameToUtf8(record.GetFileIdentifier());
  }
  return 0;
}
