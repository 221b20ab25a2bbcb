// Arbitrary READ TOC answers: the shape check, the BCD conversion and the parse, both on
// an answer of the input's own length and through the command path with its 2820-byte
// buffer (legacy form, then the MMC form).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "drive/Cdbbuild.h"

namespace {

const uint8_t* gData = nullptr;
size_t gSize = 0;

TCommandResult AnswerFromInput(const TKrCdRom&, const uint8_t* cdb, uint8_t, void* data, uint32_t length, uint8_t,
                               uint32_t) {
  // The second form gets the input a second time, shifted, so both paths are reached.
  const size_t skip = cdb[2] == 0x02 && gSize > 1 ? 1 : 0;
  std::memcpy(data, gData + skip, std::min<size_t>(gSize - skip, length));
  TCommandResult good;
  good.Scsi = platform::ScsiResult{};
  return good;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool bcd = (data[0] & 1) != 0;
  // Exactly as long as the input, so a lying length would run off the end.
  std::vector<uint8_t> answer(data + 1, data + size);
  TDiscToc toc;
  if (IsFullTocShape(answer.data(), answer.size())) {
    if (bcd) ConvertRawTocBcd(answer.data(), answer.size());
    ParseRawToc(answer.data(), answer.size(), toc);
  }
  ParseRawToc(answer.data(), answer.size(), toc);

  gData = data + 1;
  gSize = size - 1;
  TKrCdRom drive;
  if (gSize > 0) CdbReadToc(&AnswerFromInput, drive, bcd, toc);
  return 0;
}
