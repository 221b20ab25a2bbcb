#pragma once
#include <cstdint>
#include <memory>

// Finds where an overlapping audio block continues the previous one, so that a drive's
// read jitter leaves no gap or repeat. Positions are stereo sample frames of 4 bytes.
class TSynchronizer {
 public:
  static constexpr unsigned SampleBytes = 4;
  static constexpr unsigned SamplesPerSector = 588;

  // Results of Sync.
  static constexpr uint8_t ssNoCompare = 0;   // no compare buffer
  static constexpr uint8_t ssFirst = 1;       // nothing held: taken from the expected place
  static constexpr uint8_t ssLater = 2;       // found at or after the expected place
  static constexpr uint8_t ssEarlier = 3;     // found before the expected place
  static constexpr uint8_t ssNotFound = 15;   // taken from the expected place
  static constexpr uint8_t ssTooShort = 255;  // the block ends before the expected place

  TSynchronizer() = default;
  ~TSynchronizer() { Clear(); }
  TSynchronizer(const TSynchronizer&) = delete;
  TSynchronizer& operator=(const TSynchronizer&) = delete;

  void Clear();
  bool SetCompareSectors(int sectors);
  void Reset() { HeldSamples = 0; }

  // block holds n samples; skip is where the previous block's data ended. The caller
  // writes count samples starting head samples into the block.
  uint8_t Sync(const uint8_t* block, unsigned n, unsigned skip, unsigned& head, unsigned& count);

  int GetCompareSectors() const { return CompareSectors; }
  int GetHeldSamples() const { return HeldSamples; }

 private:
  bool HeldAt(const uint8_t* block, int64_t p) const;
  void KeepTail(const uint8_t* block, unsigned n);

  std::unique_ptr<uint8_t[]> CompareBuffer;
  int CompareSectors = 0;
  int HeldSamples = 0;
};
