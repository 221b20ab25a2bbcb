#pragma once
// Geometry of the 2352-byte raw sector and the DataType / FileSystem codes.
#include <cstddef>
#include <cstdint>

constexpr size_t kRawSectorSize = 2352;
constexpr size_t kSyncSize = 12;
constexpr size_t kSubchannelSize = 96;
constexpr size_t kQFrameSize = 12;   // Q sub-channel frame as stored (with CRC)
constexpr size_t kFormattedQSize = 16;

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

// Header address of a raw sector: BcdToBin of bytes 12, 13, 14 as minute, second, frame.
int64_t GetHeaderAddress(const uint8_t* sector);
