#pragma once
// The list of CD drives the user can choose from, by letter and by ASPI address.
#include <cstdint>
#include <string>
#include <vector>

#include "drive/Krcdrom.h"

// The settings arrays have one slot per drive letter.
constexpr size_t kMaxCdRoms = 26;

class TKrCdRoms {
 public:
  uint8_t SptiUsable = 0;
  uint8_t AspiLoaded = 0;

  TKrCdRoms() = default;
  ~TKrCdRoms() { Clear(); }

  // Mode 0 any transport, 1 ASPI only, 2 pass-through only, 3 both required, 4 either,
  // 5 drive letters only. Returns the number of drives listed (never more than 26).
  uint32_t Enumerate(int mode, bool includeUnlettered);
  void Clear();
  uint32_t GetCount() const;
  // Null when the index is not below GetCount().
  const TKrCdRom* GetCdRom(uint32_t index) const;
  bool IsSptiAvailable(uint32_t index) const;
  bool IsAspiAvailable(uint32_t index) const;
  // {0, 0, 0} out of range.
  TAvailMode GetAvailMode(uint32_t index) const;

 private:
  void Add(const TKrCdRom& drive, TAvailMode mode);
  std::vector<TKrCdRom> CdRoms;
  std::vector<TAvailMode> AvailModes;
};

// Every CD device the ASPI manager reports whose INQUIRY succeeds, at most 26.
uint32_t EnumAspiCdRoms(std::vector<TKrCdRom>& list);
// One drive per CD drive letter; with sptiUsable only those that answer INQUIRY.
uint32_t EnumSptiCdRoms(std::vector<TKrCdRom>& list, bool sptiUsable);
// One drive per CD drive letter, nothing sent.
uint32_t EnumLetterCdRoms(std::vector<TKrCdRom>& list);
