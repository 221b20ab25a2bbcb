#include "audio/Sync.h"

#include <algorithm>
#include <cstring>
#include <new>

void TSynchronizer::Clear() {
  CompareBuffer.reset();
  CompareSectors = 0;
  HeldSamples = 0;
}

bool TSynchronizer::SetCompareSectors(int sectors) {
  Clear();
  if (sectors < 0) return false;
  CompareSectors = sectors;
  if (sectors == 0) return true;
  try {
    CompareBuffer = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(sectors) *
                                                              SamplesPerSector * SampleBytes);
  } catch (const std::bad_alloc&) {
    CompareSectors = 0;
    return false;
  }
  return true;
}

bool TSynchronizer::HeldAt(const uint8_t* block, int64_t p) const {
  return std::memcmp(block + p * SampleBytes, CompareBuffer.get(),
                     static_cast<size_t>(HeldSamples) * SampleBytes) == 0;
}

void TSynchronizer::KeepTail(const uint8_t* block, unsigned n) {
  const unsigned capacity = static_cast<unsigned>(CompareSectors) * SamplesPerSector;
  const unsigned kept = std::min(n, capacity);
  std::memcpy(CompareBuffer.get(), block + static_cast<size_t>(n - kept) * SampleBytes,
              static_cast<size_t>(kept) * SampleBytes);
  HeldSamples = static_cast<int>(kept);
}

uint8_t TSynchronizer::Sync(const uint8_t* block, unsigned n, unsigned skip, unsigned& head,
                            unsigned& count) {
  // Nothing here lies past what was already written: hand back nothing, so the caller
  // never writes the overlap a second time.
  if (skip >= n) {
    head = 0;
    count = 0;
    return ssTooShort;
  }
  head = skip;
  count = n - skip;
  if (CompareSectors == 0 || !CompareBuffer) return ssNoCompare;

  uint8_t state = ssFirst;
  if (HeldSamples > 0) {
    state = ssNotFound;
    const int64_t held = HeldSamples;
    const int64_t size = n;
    const int64_t start = static_cast<int64_t>(skip) - held;
    const int64_t limit = std::max(start, static_cast<int64_t>(n - skip));
    for (int64_t i = 0; i < limit; ++i) {
      const int64_t forward = start + i;
      if (forward >= 0 && forward + held <= size && HeldAt(block, forward)) {
        state = ssLater;
        head = static_cast<unsigned>(forward + held);
        break;
      }
      const int64_t backward = start - i;
      if (backward >= 0 && backward + held <= size && HeldAt(block, backward)) {
        state = ssEarlier;
        head = static_cast<unsigned>(backward + held);
        break;
      }
    }
    count = n - head;
  }
  KeepTail(block, n);
  return state;
}
