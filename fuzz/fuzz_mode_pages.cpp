// Arbitrary MODE SENSE answers to the page operations, in both command forms. MODE
// SELECT lists are read back in full, so a list longer than its buffer is caught.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "drive/Cdbbuild.h"

namespace {

const uint8_t* gData = nullptr;
size_t gSize = 0;
volatile uint8_t gSink = 0;

TCommandResult AnswerFromInput(const TKrCdRom&, const uint8_t*, uint8_t, void* data, uint32_t length,
                               uint8_t direction, uint32_t) {
  TCommandResult good;
  good.Scsi = platform::ScsiResult{};
  auto* bytes = static_cast<uint8_t*>(data);
  if (direction == 0x10) {
    uint8_t sum = 0;
    for (uint32_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
    gSink = sum;
    return good;
  }
  std::memcpy(bytes, gData, std::min<size_t>(gSize, length));
  return good;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int form = data[0] & 0x03;
  const uint8_t ansi = data[1] & 0x07;
  const uint32_t count = data[2];
  gData = data + 3;
  gSize = size - 3;

  TKrCdRom drive;
  drive.SetInquiryData(std::vector<uint8_t>{5, 0x80, ansi}.data(), 3);
  const TScsiExec exec = &AnswerFromInput;
  uint8_t value = 0, write = 0, read = 0;
  CdbGetErrorRecovery(exec, drive, form, &value, &write, &read);
  CdbSetErrorRecovery(exec, drive, {.Value = data[1], .Mask = data[2], .ReadRetry = 4, .WriteRetry = 3}, form);
  CdbResetErrorRecovery(exec, drive, form);
  std::vector<uint8_t> page(count);
  CdbGetCapabilitiesPage(exec, drive, form, count, page.data());
  return 0;
}
