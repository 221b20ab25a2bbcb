#pragma once
// Recordings of data sectors played as audio, for the imaging tests: Mode 1 sectors
// from the sector encoder, scrambled as a player sends them, in a WAV file.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

#include "sector/Bytes.h"
#include "sector/Datasector.h"
#include "sector/Scramble.h"
#include "sector/SectorEncoder.h"
#include "tests/support/Files.h"
#include "tests/support/RandomBytes.h"

namespace test_support {

inline void AppendLe32(std::vector<uint8_t>& out, uint32_t v) {
  out.resize(out.size() + 4);
  PutLe32(out.data() + out.size() - 4, v);
}

// RIFF/WAVE with a fmt chunk, an odd-length LIST chunk and its pad byte, then the data
// chunk claiming `claimedDataLength` bytes.
inline std::vector<uint8_t> RecordingWav(const std::vector<uint8_t>& data, uint32_t claimedDataLength) {
  const uint8_t fmt[] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0};
  const uint8_t list[] = {'I', 'N', 'F', 'O', 'x', 0};
  std::vector<uint8_t> out = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  AppendLe32(out, sizeof fmt);
  out.insert(out.end(), fmt, fmt + sizeof fmt);
  out.insert(out.end(), {'L', 'I', 'S', 'T'});
  AppendLe32(out, 5);
  out.insert(out.end(), list, list + sizeof list);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  AppendLe32(out, claimedDataLength);
  out.insert(out.end(), data.begin(), data.end());
  PutLe32(out.data() + 4, static_cast<uint32_t>(out.size() - 8));
  return out;
}
constexpr int32_t kRecordingDataOffset = 12 + 24 + 14 + 8;

// `count` scrambled Mode 1 sectors from frame address 150 on; the sync of each sector
// listed in `hit` is damaged as noise on the recording would.
inline std::vector<uint8_t> ScrambledSectors(int count, const std::vector<int>& hit = {}) {
  std::vector<uint8_t> out(count * kRawSectorSize);
  const std::vector<uint8_t> user = RandomBytes(2048, 5);
  for (int i = 0; i < count; ++i) {
    uint8_t* sector = out.data() + i * kRawSectorSize;
    EncodeMode1Sector(sector, 150 + i, user.data());
    Descramble(sector, 0, kRawSectorSize);
  }
  for (int i : hit) out[i * kRawSectorSize + 1] = 0x7F;
  return out;
}

// `lead` bytes of noise, then the sectors, in a WAV file.
inline void WriteRecording(const std::filesystem::path& path, size_t lead, const std::vector<uint8_t>& sectors) {
  std::vector<uint8_t> data = RandomBytes(lead, 9);
  data.insert(data.end(), sectors.begin(), sectors.end());
  WriteFile(path, RecordingWav(data, static_cast<uint32_t>(data.size())));
}

}  // namespace test_support
