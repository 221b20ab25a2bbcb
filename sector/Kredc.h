#pragma once
#include <cstdint>
#include <memory>

// EDC of ECMA-130 (reflected CRC-32, polynomial 0xD8018001, no final XOR).
class TKrEdc {
 public:
  TKrEdc();
  // EDC of bytes 0..2063 of a Mode 1 sector.
  uint32_t Calc(const uint8_t* sector) const;
  // EDC of any byte range (Mode 2 Form 1 covers 16..2071, Form 2 16..2347).
  uint32_t CalcRange(const uint8_t* data, size_t length) const;
  const uint32_t* Table() const { return Tables.get(); }

 private:
  void MakeTable();
  // 256 entries of the byte table, followed by the tables that let Calc take
  // several bytes a step (still one look-up per byte).
  std::unique_ptr<uint32_t[]> Tables;
};
