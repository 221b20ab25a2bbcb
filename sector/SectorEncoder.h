#pragma once
// Builds raw 2352-byte sectors from user data (the inverse of the corrector), and
// Q sub-channel frames. The emulated drive, the disc builder and the tests use it.
#include <cstddef>
#include <cstdint>

// Writes sync and BCD header (frame address, mode byte).
void WriteSectorHeader(uint8_t* sector, int64_t frameAddress, uint8_t mode);
// Mode 1: header, 2048 bytes user data, EDC, zero, P and Q parity.
void EncodeMode1Sector(uint8_t* sector, int64_t frameAddress, const uint8_t* userData2048);
// Mode 2 Form 1: header, subheader (written twice; submode bit 5 cleared), 2048 bytes, EDC, P, Q.
void EncodeMode2Form1Sector(uint8_t* sector, int64_t frameAddress, const uint8_t subheader[4],
                            const uint8_t* userData2048);
// Mode 2 Form 2: header, subheader (submode bit 5 set), 2324 bytes, EDC or 0 in the last 4.
void EncodeMode2Form2Sector(uint8_t* sector, int64_t frameAddress, const uint8_t subheader[4],
                            const uint8_t* userData2324, bool withEdc);
// Mode 2 formless: header and 2336 bytes.
void EncodeMode2FormlessSector(uint8_t* sector, int64_t frameAddress, const uint8_t* userData2336);
// Recomputes P and Q parity of a sector whose bytes 12..2075 (Mode 1) are set.
// For Mode 2 Form 1 the header is taken as zero, as ECMA-130 requires.
void ComputeEccParity(uint8_t* sector, bool mode2);

// Q sub-channel, ADR 1: control (4 bits), track number (binary 1..99, or 0xAA for the
// lead-out), index, relative and absolute frame counts; all written in BCD, CRC at 10..11.
void EncodeQFrame(uint8_t q[12], uint8_t control, uint8_t trackNo, uint8_t index, int64_t relativeFrames,
                  int64_t absoluteFrames);
// CRC-16 CCITT (0x1021, initial 0) over bytes 0..9, inverted, as stored big-endian at 10..11.
uint16_t QFrameCrc(const uint8_t q[12]);
void SetQFrameCrc(uint8_t q[12]);
bool IsQFrameCrcValid(const uint8_t q[12]);
