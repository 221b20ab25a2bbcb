#pragma once
// Frame addresses: a signed count of frames from MSF 00:00:00, 75 a second.
//
// FramesToLba and LbaToFrames give 0 for an address outside the convertible ranges,
// and LBA 0 is a real sector (frame 150). Every command builder must therefore check
// the range itself (IsConvertibleFrame) and refuse such an address rather than
// silently reading LBA 0.
#include <cstdint>
#include <string>

// Packed MSF: byte 0 (lowest) ignored/0, byte 1 minute, byte 2 second, byte 3 frame,
// all binary; byte i of the value is (v >> 8*i) & 0xFF, as it lies in memory on x86.
using TPackedMsf = uint32_t;

constexpr int64_t kFramesPerSecond = 75;
constexpr int64_t kFramesPerMinute = 4500;
constexpr int64_t kLbaOffset = 150;
constexpr int64_t kLeadInFirstFrame = 405000;  // 90:00:00
constexpr int64_t kLeadInEndFrame = 450000;    // first frame after 99:59:74
constexpr int64_t kLastFrame = kLeadInEndFrame - 1;  // 99:59:74, the last a command can address

TPackedMsf MakeMsf(uint8_t minute, uint8_t second, uint8_t frame);
uint8_t PackedMsfMinute(TPackedMsf msf);
uint8_t PackedMsfSecond(TPackedMsf msf);
uint8_t PackedMsfFrame(TPackedMsf msf);

int64_t MsfToFrames(uint8_t minute, uint8_t second, uint8_t frame);
int64_t PackedMsfToFrames(TPackedMsf msf);
TPackedMsf FramesToMsf(int64_t frames);
int32_t FramesToLba(int64_t frames);
int64_t LbaToFrames(int32_t lba);
// True for frame addresses 0..449999, the ones FramesToLba really converts.
bool IsConvertibleFrame(int64_t frames);
uint8_t BcdToBin(uint8_t bcd);
uint8_t BinToBcd(uint8_t bin);  // 0..99
// "%.2d:%.2d:%.2d" of the frame address itself (no 150 offset).
std::string FramesToMsfText(int64_t frames);
