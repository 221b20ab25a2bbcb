#pragma once
// Small discs built in memory for tests: real encoded sectors (EDC/ECC), Q sub-channel
// with CRC, a full TOC; plus helpers to run CDBs on an emulated drive.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "emulator/Disc.h"
#include "emulator/EmulatedDrive.h"

namespace emu::test {

struct TrackSpec {
  SectorKind Kind = SectorKind::Mode1;
  int32_t Sectors = 50;  // from index 1 to the end of the track
  int32_t Pregap = 0;    // index-0 sectors before it, recorded with the track's kind
  bool PreEmphasis = false;
};

struct DiscSpec {
  std::vector<std::vector<TrackSpec>> Sessions;  // tracks are numbered from 1 across sessions
  int32_t SessionGap = 20;       // unrecorded frames between sessions (kept short)
  int32_t RecordedBeyond = 0;    // sectors recorded after the last TOC lead-out
};

// The disc of `spec`, first track at LBA 0. Returned mutable so a test can set the
// profile and faults before giving it to a drive.
std::shared_ptr<Disc> BuildDisc(const DiscSpec& spec);

// One session, one Mode 1 track of `sectors` sectors.
DiscSpec Mode1Disc(int32_t sectors);
// Session 1: Mode 1 (30), audio (20, pregap 5), audio with pre-emphasis (20);
// session 2: Form 1 (15), Form 2 (15). Their first LBAs are listed below.
DiscSpec MixedDisc();
struct MixedLbas {
  static constexpr int32_t Mode1 = 0, Audio = 35, AudioPregap = 30, PreEmphasis = 55, LeadOut1 = 75;
  static constexpr int32_t Form1 = 95, Form2 = 110, LeadOut2 = 125;
};

// The bytes the builder writes as user data (and as audio samples) of sector lba.
uint8_t PatternByte(int32_t lba, size_t index);
// The sub-mode byte the builder gives Form 1 and Form 2 sectors.
constexpr uint8_t kForm1Submode = 0x08, kForm2Submode = 0x20;

struct Reply {
  ScsiResult Result;
  std::vector<uint8_t> Data;  // the whole buffer given to the drive
};

Reply DataIn(EmulatedDrive& drive, std::initializer_list<uint8_t> cdb, size_t bufferSize);
Reply DataIn(EmulatedDrive& drive, const std::vector<uint8_t>& cdb, size_t bufferSize);
Reply DataOut(EmulatedDrive& drive, std::initializer_list<uint8_t> cdb, std::vector<uint8_t> data);
ScsiResult NoData(EmulatedDrive& drive, std::initializer_list<uint8_t> cdb);

std::vector<uint8_t> ReadCdCdb(int32_t lba, uint32_t count, uint8_t flags, uint8_t sub = 0, uint8_t type = 0);
std::vector<uint8_t> ReadCddaCdb(int32_t lba, uint32_t count, uint8_t subCode);
std::vector<uint8_t> Read10Cdb(int32_t lba, uint16_t count);

// The host's way of changing page 01 (10-byte form): read the default values, change
// byte 2 (and byte 3 when retryCount >= 0), clear MDL and PS, and select them.
ScsiResult SetErrorRecovery(EmulatedDrive& drive, uint8_t value, int retryCount = -1);
// MODE SELECT(10) of a block descriptor with density 0x82 and the given block length.
ScsiResult SetBlockLength(EmulatedDrive& drive, uint32_t length);

// Bytes [begin, end) of a sector or a reply.
inline std::vector<uint8_t> Slice(const uint8_t* p, size_t begin, size_t end) { return {p + begin, p + end}; }
inline std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t begin, size_t end) {
  return Slice(v.data(), begin, end);
}

// The information field of fixed-format sense, big-endian.
int32_t SenseInfo(const ScsiResult& r);

}  // namespace emu::test
