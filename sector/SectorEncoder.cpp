#include "sector/SectorEncoder.h"

#include <array>
#include <cstring>

#include "sector/Address.h"
#include "sector/Bytes.h"
#include "sector/Datasector.h"
#include "sector/Kredc.h"

namespace {

// Word w of the parity-protected area is bytes 12 + 2w (low plane) and 13 + 2w (high).
constexpr size_t kWordBase = 12;
constexpr int kPCodewords = 43;
constexpr int kPDataSymbols = 24;
constexpr int kQCodewords = 26;
constexpr int kQDataSymbols = 43;
constexpr int kQWordSpan = 1118;   // words covered by Q data symbols (header .. P parity)
constexpr int kPParityWord = kPCodewords * kPDataSymbols;  // 1032, first P parity word

struct TGfTables {
  std::array<uint8_t, 512> Exp{};
  std::array<uint8_t, 256> Log{};
};

constexpr TGfTables MakeGfTables() {
  TGfTables t;
  uint32_t x = 1;
  for (int i = 0; i < 255; ++i) {
    t.Exp[i] = static_cast<uint8_t>(x);
    t.Log[x] = static_cast<uint8_t>(i);
    x <<= 1;
    if (x & 0x100) x ^= 0x11D;
  }
  for (int i = 255; i < 512; ++i) t.Exp[i] = t.Exp[i - 255];
  return t;
}

constexpr TGfTables kGf = MakeGfTables();

// s * alpha^power, power in 0..255.
inline uint8_t MulAlphaPow(uint8_t s, int power) { return s ? kGf.Exp[kGf.Log[s] + power] : 0; }

// The two parity symbols of a codeword whose checks are S0 = sum s_pos and
// S1 = sum s_pos * alpha^(W - pos), the parity sitting at positions W - 1 and W.
// With a = sum of data, b = weighted sum of data: First * (alpha + 1) = a + b, Second = a + First.
struct TParity {
  uint8_t First;   // position W - 1
  uint8_t Second;  // position W
};

inline TParity SolveParity(uint8_t sum, uint8_t weighted) {
  constexpr int kLogAlphaPlus1 = kGf.Log[3];
  const uint8_t ab = static_cast<uint8_t>(sum ^ weighted);
  const uint8_t first = ab ? kGf.Exp[kGf.Log[ab] + 255 - kLogAlphaPlus1] : 0;
  return {first, static_cast<uint8_t>(sum ^ first)};
}

constexpr std::array<uint16_t, kQCodewords * kQDataSymbols> MakeQWordTable() {
  std::array<uint16_t, kQCodewords * kQDataSymbols> t{};
  for (int i = 0; i < kQCodewords; ++i)
    for (int j = 0; j < kQDataSymbols; ++j)
      t[i * kQDataSymbols + j] = static_cast<uint16_t>((44 * j + 43 * i) % kQWordSpan);
  return t;
}

constexpr std::array<uint16_t, kQCodewords * kQDataSymbols> kQWords = MakeQWordTable();

const TKrEdc& Edc() {
  static const TKrEdc edc;
  return edc;
}

void WriteSubheaders(uint8_t* sector, const uint8_t subheader[4], bool form2) {
  uint8_t sub[4];
  std::memcpy(sub, subheader, 4);
  sub[2] = static_cast<uint8_t>(form2 ? (sub[2] | kSubmodeForm2) : (sub[2] & ~kSubmodeForm2));
  std::memcpy(sector + kSubheaderOffset, sub, kSubheaderSize);
  std::memcpy(sector + kSubheaderOffset + kSubheaderSize, sub, kSubheaderSize);
}

}  // namespace

void WriteSectorHeader(uint8_t* sector, int64_t frameAddress, uint8_t mode) {
  std::memcpy(sector, kSyncPattern.data(), kSyncSize);
  const TPackedMsf msf = FramesToMsf(frameAddress);
  uint8_t* header = sector + kHeaderOffset;
  header[0] = BinToBcd(PackedMsfMinute(msf));
  header[1] = BinToBcd(PackedMsfSecond(msf));
  header[2] = BinToBcd(PackedMsfFrame(msf));
  sector[kModeOffset] = mode;
}

void ComputeEccParity(uint8_t* sector, bool mode2) {
  // Mode 2 parity is computed as if the four header bytes were zero.
  uint8_t header[4];
  std::memcpy(header, sector + 12, 4);
  if (mode2) std::memset(sector + 12, 0, 4);

  uint8_t* words = sector + kWordBase;
  for (int plane = 0; plane < 2; ++plane) {
    for (int k = 0; k < kPCodewords; ++k) {
      uint8_t sum = 0, weighted = 0;
      for (int l = 0; l < kPDataSymbols; ++l) {
        const uint8_t s = words[2 * (43 * l + k) + plane];
        sum ^= s;
        weighted ^= MulAlphaPow(s, 25 - l);
      }
      const TParity p = SolveParity(sum, weighted);
      words[2 * (kPParityWord + k) + plane] = p.First;
      words[2 * (kPParityWord + kPCodewords + k) + plane] = p.Second;
    }
    for (int i = 0; i < kQCodewords; ++i) {
      uint8_t sum = 0, weighted = 0;
      for (int j = 0; j < kQDataSymbols; ++j) {
        const uint8_t s = words[2 * kQWords[i * kQDataSymbols + j] + plane];
        sum ^= s;
        weighted ^= MulAlphaPow(s, 44 - j);
      }
      const TParity p = SolveParity(sum, weighted);
      words[2 * (kQWordSpan + i) + plane] = p.First;
      words[2 * (kQWordSpan + kQCodewords + i) + plane] = p.Second;
    }
  }
  if (mode2) std::memcpy(sector + 12, header, 4);
}

void EncodeMode1Sector(uint8_t* sector, int64_t frameAddress, const uint8_t* userData2048) {
  WriteSectorHeader(sector, frameAddress, 1);
  std::memcpy(sector + kMode1UserOffset, userData2048, kUserDataSize);
  PutLe32(sector + kMode1EdcOffset, Edc().CalcRange(sector, kMode1EdcOffset));
  std::memset(sector + kMode1EdcOffset + 4, 0, 8);
  ComputeEccParity(sector, /*mode2=*/false);
}

void EncodeMode2Form1Sector(uint8_t* sector, int64_t frameAddress, const uint8_t subheader[4],
                            const uint8_t* userData2048) {
  WriteSectorHeader(sector, frameAddress, 2);
  WriteSubheaders(sector, subheader, /*form2=*/false);
  std::memcpy(sector + kMode2UserOffset, userData2048, kUserDataSize);
  PutLe32(sector + kForm1EdcOffset, Edc().CalcRange(sector + kSubheaderOffset, kForm1EdcOffset - kSubheaderOffset));
  ComputeEccParity(sector, /*mode2=*/true);
}

void EncodeMode2Form2Sector(uint8_t* sector, int64_t frameAddress, const uint8_t subheader[4],
                            const uint8_t* userData2324, bool withEdc) {
  WriteSectorHeader(sector, frameAddress, 2);
  WriteSubheaders(sector, subheader, /*form2=*/true);
  std::memcpy(sector + kMode2UserOffset, userData2324, kForm2UserSize);
  const size_t covered = kForm2EdcOffset - kSubheaderOffset;
  PutLe32(sector + kForm2EdcOffset, withEdc ? Edc().CalcRange(sector + kSubheaderOffset, covered) : 0);
}

void EncodeMode2FormlessSector(uint8_t* sector, int64_t frameAddress, const uint8_t* userData2336) {
  WriteSectorHeader(sector, frameAddress, 2);
  std::memcpy(sector + kMode1UserOffset, userData2336, kFormlessUserSize);
}

void EncodeQFrame(uint8_t q[12], uint8_t control, uint8_t trackNo, uint8_t index, int64_t relativeFrames,
                  int64_t absoluteFrames) {
  q[0] = static_cast<uint8_t>(((control & 0x0F) << 4) | 0x01);
  q[1] = trackNo == 0xAA ? 0xAA : BinToBcd(trackNo);
  q[2] = BinToBcd(index);
  const TPackedMsf rel = FramesToMsf(relativeFrames);
  q[3] = BinToBcd(PackedMsfMinute(rel));
  q[4] = BinToBcd(PackedMsfSecond(rel));
  q[5] = BinToBcd(PackedMsfFrame(rel));
  q[6] = 0;
  const TPackedMsf abs = FramesToMsf(absoluteFrames);
  q[7] = BinToBcd(PackedMsfMinute(abs));
  q[8] = BinToBcd(PackedMsfSecond(abs));
  q[9] = BinToBcd(PackedMsfFrame(abs));
  SetQFrameCrc(q);
}

uint16_t QFrameCrc(const uint8_t q[12]) {
  uint16_t crc = 0;
  for (int i = 0; i < 10; ++i) {
    crc = static_cast<uint16_t>(crc ^ (uint16_t{q[i]} << 8));
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>((crc & 0x8000) ? ((crc << 1) ^ 0x1021) : (crc << 1));
  }
  return static_cast<uint16_t>(~crc);
}

void SetQFrameCrc(uint8_t q[12]) {
  const uint16_t crc = QFrameCrc(q);
  q[10] = static_cast<uint8_t>(crc >> 8);
  q[11] = static_cast<uint8_t>(crc);
}

bool IsQFrameCrcValid(const uint8_t q[12]) {
  return QFrameCrc(q) == ((uint16_t{q[10]} << 8) | q[11]);
}
