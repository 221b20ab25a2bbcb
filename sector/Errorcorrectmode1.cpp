#include "sector/Errorcorrectmode1.h"

#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "sector/Bytes.h"
#include "sector/Datasector.h"
#include "sector/Kredc.h"

namespace {

constexpr int kExpSize = 301;
constexpr int kLogSize = 256;
constexpr int kQCodewords = 26;
constexpr int kQSymbols = 45;
constexpr int kPCodewords = 43;
constexpr int kPSymbols = 26;
constexpr size_t kWordBase = 12;

constexpr int kSymbolOffsetCount = kQCodewords * kQSymbols + kPCodewords * kPSymbols;

}  // namespace

// Built once, never changed: a corrector that holds them may read them on any thread.
struct TMode1Tables {
  std::array<uint16_t, kExpSize> Exp{};
  std::array<uint8_t, kLogSize> Log{};
  TKrEdc Edc;
  // Byte offsets of the low-plane symbol of every Q, then every P, codeword position.
  std::array<uint16_t, kSymbolOffsetCount> SymbolOffsets{};
};

namespace {

// Alive from the first construction of a corrector to the last destruction (or an
// explicit FreeTables). Correctors and scans run on worker threads, so the count and
// the pointer change only under the lock, and a correction works on its own reference:
// tables freed meanwhile stay alive until it ends.
struct TSharedTables {
  std::mutex Lock;
  int RefCount = 0;
  std::shared_ptr<const TMode1Tables> Tables;
};

// Made on first use, so that a corrector which is itself a program-wide object finds the
// tables alive until its own destruction, whatever the order of the units.
TSharedTables& Shared() {
  static TSharedTables tables;
  return tables;
}

std::shared_ptr<const TMode1Tables> CurrentTables() {
  TSharedTables& shared = Shared();
  std::lock_guard lock(shared.Lock);
  return shared.Tables;
}

uint32_t StoredEdc(const uint8_t* sector) { return GetLe32(sector + kMode1EdcOffset); }

// Repairs one plane of a codeword from its syndromes. The only position whose weight
// alpha^(W - pos) equals S1 / S0 is pos = W - (log S1 - log S0) mod 255, when that lies
// in 0..W; no other position can match, so this is the first match of a scan in order.
void RepairPlane(uint8_t* sector, const uint8_t* log, const uint16_t* offsets, int w, uint8_t s0, uint8_t s1,
                 int plane) {
  if (s0 == 0 || s1 == 0) return;
  int d = log[s1] - log[s0];
  if (d < 0) d += 255;
  if (d > w) return;
  sector[offsets[w - d] + plane] ^= s0;
}

void CorrectCodeword(const TMode1Tables& tables, uint8_t* sector, const uint16_t* offsets, int symbols) {
  const uint16_t* exp = tables.Exp.data();
  const uint8_t* log = tables.Log.data();
  const int w = symbols - 1;
  uint8_t s0Low = 0, s0High = 0, s1Low = 0, s1High = 0;
  for (int pos = 0; pos < symbols; ++pos) {
    const uint8_t* symbol = sector + offsets[pos];
    const uint8_t low = symbol[0];
    const uint8_t high = symbol[1];
    s0Low ^= low;
    s0High ^= high;
    if (low) s1Low ^= static_cast<uint8_t>(exp[log[low] + w - pos]);
    if (high) s1High ^= static_cast<uint8_t>(exp[log[high] + w - pos]);
  }
  RepairPlane(sector, log, offsets, w, s0High, s1High, 1);
  RepairPlane(sector, log, offsets, w, s0Low, s1Low, 0);
}

void RunPass(const TMode1Tables& tables, uint8_t* sector) {
  const uint16_t* offsets = tables.SymbolOffsets.data();
  for (int i = 0; i < kQCodewords; ++i, offsets += kQSymbols) CorrectCodeword(tables, sector, offsets, kQSymbols);
  for (int k = 0; k < kPCodewords; ++k, offsets += kPSymbols) CorrectCodeword(tables, sector, offsets, kPSymbols);
}

void FillTables(uint16_t* exp, uint8_t* log, uint16_t* offsets) {
  exp[0] = 1;
  for (int j = 1; j < kExpSize; ++j)
    exp[j] = static_cast<uint16_t>((exp[j - 1] << 1) ^ ((exp[j - 1] & 0x80) ? 0x11D : 0));
  log[0] = 0;
  for (int i = 0; i < 255; ++i) log[exp[i]] = static_cast<uint8_t>(i);

  for (int i = 0; i < kQCodewords; ++i) {
    for (int j = 0; j < 43; ++j) *offsets++ = static_cast<uint16_t>(kWordBase + 2 * ((44 * j + 43 * i) % 1118));
    *offsets++ = static_cast<uint16_t>(kWordBase + 2 * (1118 + i));
    *offsets++ = static_cast<uint16_t>(kWordBase + 2 * (1144 + i));
  }
  for (int k = 0; k < kPCodewords; ++k)
    for (int l = 0; l < kPSymbols; ++l) *offsets++ = static_cast<uint16_t>(kWordBase + 2 * (43 * l + k));
}

// Builds the tables unless they exist; false (and none) when memory runs out.
bool BuildTablesLocked(TSharedTables& shared) {
  if (shared.Tables) return true;
  try {
    auto tables = std::make_shared<TMode1Tables>();
    FillTables(tables->Exp.data(), tables->Log.data(), tables->SymbolOffsets.data());
    shared.Tables = std::move(tables);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

TMode1ErrorCorrect::TMode1ErrorCorrect() {
  TSharedTables& shared = Shared();
  std::lock_guard lock(shared.Lock);
  ++shared.RefCount;
  BuildTablesLocked(shared);
}

TMode1ErrorCorrect::~TMode1ErrorCorrect() {
  TSharedTables& shared = Shared();
  std::lock_guard lock(shared.Lock);
  if (--shared.RefCount == 0) shared.Tables.reset();
}

bool TMode1ErrorCorrect::InitTables() {
  TSharedTables& shared = Shared();
  std::lock_guard lock(shared.Lock);
  return BuildTablesLocked(shared);
}

void TMode1ErrorCorrect::FreeTables() {
  TSharedTables& shared = Shared();
  std::lock_guard lock(shared.Lock);
  shared.Tables.reset();
}

bool TMode1ErrorCorrect::Correct(uint8_t* sector, uint32_t passCount) {
  // Without tables nothing can be checked; the sector stays as given.
  const std::shared_ptr<const TMode1Tables> tables = CurrentTables();
  if (!tables) return false;
  uint32_t edc = tables->Edc.Calc(sector);
  if (edc == StoredEdc(sector)) return true;
  uint32_t previous = edc;
  for (uint32_t pass = 0; pass < passCount; ++pass) {
    RunPass(*tables, sector);
    edc = tables->Edc.Calc(sector);
    if (edc == StoredEdc(sector)) return true;
    if (edc == previous) return false;
    previous = edc;
  }
  return false;
}

bool TMode1ErrorCorrect::CorrectOrRestore(uint8_t* sector, uint32_t passCount) {
  std::array<uint8_t, kRawSectorSize> original;
  std::memcpy(original.data(), sector, kRawSectorSize);
  if (Correct(sector, passCount)) return true;
  std::memcpy(sector, original.data(), kRawSectorSize);
  return false;
}
