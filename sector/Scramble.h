#pragma once
#include <cstddef>
#include <cstdint>

// The ECMA-130 scrambler sequence over one 2352-byte sector (bytes 0..11 are 0).
const uint8_t* ScramblerTable();

// First position of the 12-byte sync pattern in buf[0..count); -1 when there is none.
int32_t FindSync(const uint8_t* buf, int32_t count);
// True when bit 7 of the header second (byte 13) is set: the header is still scrambled.
bool IsScrambled(const uint8_t* sector);
// XORs buffer[0..len) with table[pos..pos+len); false (nothing changed) outside the table.
bool Descramble(uint8_t* buffer, uint32_t pos, uint32_t len);
