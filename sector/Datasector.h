#pragma once
// Geometry of the 2352-byte raw sector and the DataType / FileSystem codes.
#include <array>
#include <cstddef>
#include <cstdint>

constexpr size_t kRawSectorSize = 2352;
constexpr size_t kSyncSize = 12;
constexpr size_t kSubchannelSize = 96;
constexpr size_t kQFrameSize = 12;   // Q sub-channel frame as stored (with CRC)
constexpr size_t kFormattedQSize = 16;
// A raw sector with the formatted Q, or with all 96 sub-channel bytes, behind it.
constexpr size_t kRawWithQSize = kRawSectorSize + kFormattedQSize;
constexpr size_t kRawWithSubchannelSize = kRawSectorSize + kSubchannelSize;

// The 12 bytes that open every data sector.
inline constexpr std::array<uint8_t, kSyncSize> kSyncPattern = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                                0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
bool HasSyncPattern(const uint8_t* sector);

// Where the fields of a raw data sector lie.
constexpr size_t kHeaderOffset = 12;     // BCD minute, second, frame, then the mode byte
constexpr size_t kModeOffset = 15;
constexpr size_t kSubheaderOffset = 16;  // Mode 2: the 4-byte subheader, written twice
constexpr size_t kSubheaderSize = 4;
constexpr size_t kSubmodeOffset = 18;
constexpr uint8_t kSubmodeForm2 = 0x20;
constexpr size_t kMode1UserOffset = 16;
constexpr size_t kMode2UserOffset = 24;
constexpr size_t kUserDataSize = 2048;   // Mode 1 and Form 1
constexpr size_t kForm2UserSize = 2324;
constexpr size_t kFormlessUserSize = 2336;
// EDC: the 4 bytes little-endian after the range they cover.
constexpr size_t kMode1EdcOffset = 2064;   // covers bytes 0..2063
constexpr size_t kForm1EdcOffset = 2072;   // covers bytes 16..2071
constexpr size_t kForm2EdcOffset = 2348;   // covers bytes 16..2347; 0 when none is recorded

// DataType codes.
enum : uint8_t {
  dtUnknown = 0,
  dtAudio = 1,
  dtMode1 = 2,
  dtMode2Form1 = 3,
  dtMode2Form2 = 4,
  dtMode2Formless = 5,
  dtData = 6,
};

// A DataType that names a data sector's mode (Mode 1, Form 1, Form 2, formless).
constexpr bool IsDataMode(uint8_t dataType) { return dataType >= dtMode1 && dataType <= dtMode2Formless; }

// FileSystem codes.
enum : uint8_t {
  fsUnknown = 0,
  fsCdda = 1,
  fsCddaEmph = 2,
  fsIso9660 = 3,
};

// "AUDIO", "MODE1", "MODE2FORM1", "MODE2FORM2", "DATA"; "UNKNOWN" for every other code.
const char* DataTypeText(uint8_t dataType);
// The code of a text; 0 for "UNKNOWN" and any text that is not one of the above.
uint8_t DataTypeFromText(const char* text);
// "CDDA", "CDDA(EMPH)", "ISO9660"; "UNKNOWN" for every other code.
const char* FileSystemText(uint8_t fileSystem);
uint8_t FileSystemFromText(const char* text);

// READ CD byte-1 expected-sector-type bits (0 for codes outside 1..5).
uint8_t GetExpectedSectorType(uint8_t dataType);
// Same value; size and offset of the user data where the pointers are given.
uint8_t GetUserDataLayout(uint8_t dataType, uint32_t* size, uint32_t* offset);

// DataType of a raw, descrambled data sector by its mode byte and subheader. A Mode 2
// sector whose two subheader copies differ is formless when tellFormless is set (the
// copies came from the sector itself), else classified by its first copy. A sector of
// another mode is `otherwise`.
struct TClassifyOptions {
  bool TellFormless = true;
  uint8_t Otherwise = dtUnknown;
};
uint8_t ClassifySector(const uint8_t* sector, const TClassifyOptions& options = {});

// Header address of a raw sector: BcdToBin of bytes 12, 13, 14 as minute, second, frame.
int64_t GetHeaderAddress(const uint8_t* sector);
