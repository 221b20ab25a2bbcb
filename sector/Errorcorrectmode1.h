#pragma once
#include <cstdint>

class TKrEdc;

// Mode 1 P/Q corrector: repairs single-symbol errors per codeword and accepts its
// work only when the EDC matches. The tables are shared by all instances: built by the
// first, freed with the last. Correctors may be built, used and destroyed on several
// threads at once (one thread per corrector); a correction running while FreeTables
// is called finishes with the tables it started with.
class TMode1ErrorCorrect {
 public:
  TMode1ErrorCorrect();
  ~TMode1ErrorCorrect();
  TMode1ErrorCorrect(const TMode1ErrorCorrect&) = delete;
  TMode1ErrorCorrect& operator=(const TMode1ErrorCorrect&) = delete;

  static bool InitTables();
  static void FreeTables();

  // Corrects a raw Mode 1 sector in place; true when the EDC matches at the end.
  // A false result leaves the sector as the passes changed it.
  bool Correct(uint8_t* sector, uint32_t passCount);
  // Same, but a false result restores the sector exactly as it was given, so that
  // no miscorrection is passed on.
  bool CorrectOrRestore(uint8_t* sector, uint32_t passCount);
};
