#include "sector/Datasector.h"

#include <cstring>

#include "sector/Address.h"

namespace {

struct TDataTypeInfo {
  const char* Text;
  uint32_t Size;
  uint32_t Offset;
  uint8_t ExpectedType;
};

// Indexed by DataType code; code 5 has no text of its own.
constexpr TDataTypeInfo kDataTypes[] = {
    {"UNKNOWN", kRawSectorSize, 0, 0x00},
    {"AUDIO", kRawSectorSize, 0, 0x04},
    {"MODE1", kUserDataSize, kMode1UserOffset, 0x08},
    {"MODE2FORM1", kUserDataSize, kMode2UserOffset, 0x10},
    {"MODE2FORM2", kForm2UserSize + 4, kMode2UserOffset, 0x14},  // with the EDC field
    {"UNKNOWN", kFormlessUserSize, kMode1UserOffset, 0x0C},
    {"DATA", kRawSectorSize, 0, 0x00},
};
constexpr uint8_t kDataTypeCount = sizeof kDataTypes / sizeof kDataTypes[0];

constexpr const char* kFileSystemTexts[] = {"UNKNOWN", "CDDA", "CDDA(EMPH)", "ISO9660"};
constexpr uint8_t kFileSystemCount = sizeof kFileSystemTexts / sizeof kFileSystemTexts[0];

}  // namespace

const char* DataTypeText(uint8_t dataType) {
  return dataType < kDataTypeCount ? kDataTypes[dataType].Text : "UNKNOWN";
}

uint8_t DataTypeFromText(const char* text) {
  if (text == nullptr) return dtUnknown;
  for (uint8_t code = 1; code < kDataTypeCount; ++code) {
    if (code != dtMode2Formless && std::strcmp(text, kDataTypes[code].Text) == 0) return code;
  }
  return dtUnknown;
}

const char* FileSystemText(uint8_t fileSystem) {
  return fileSystem < kFileSystemCount ? kFileSystemTexts[fileSystem] : "UNKNOWN";
}

uint8_t FileSystemFromText(const char* text) {
  if (text == nullptr) return fsUnknown;
  for (uint8_t code = 1; code < kFileSystemCount; ++code) {
    if (std::strcmp(text, kFileSystemTexts[code]) == 0) return code;
  }
  return fsUnknown;
}

uint8_t GetExpectedSectorType(uint8_t dataType) {
  return dataType >= dtAudio && dataType <= dtMode2Formless ? kDataTypes[dataType].ExpectedType : 0;
}

uint8_t GetUserDataLayout(uint8_t dataType, uint32_t* size, uint32_t* offset) {
  const bool known = dataType >= dtAudio && dataType <= dtMode2Formless;
  if (size != nullptr) *size = known ? kDataTypes[dataType].Size : kRawSectorSize;
  if (offset != nullptr) *offset = known ? kDataTypes[dataType].Offset : 0;
  return GetExpectedSectorType(dataType);
}

bool HasSyncPattern(const uint8_t* sector) {
  return std::memcmp(sector, kSyncPattern.data(), kSyncSize) == 0;
}

uint8_t ClassifySector(const uint8_t* sector, const TClassifyOptions& options) {
  switch (sector[kModeOffset]) {
    case 1: return dtMode1;
    case 2: {
      const uint8_t* subheader = sector + kSubheaderOffset;
      if (options.TellFormless && std::memcmp(subheader, subheader + kSubheaderSize, kSubheaderSize) != 0)
        return dtMode2Formless;
      return (sector[kSubmodeOffset] & kSubmodeForm2) ? dtMode2Form2 : dtMode2Form1;
    }
    default: return options.Otherwise;
  }
}

int64_t GetHeaderAddress(const uint8_t* sector) {
  const uint8_t* header = sector + kHeaderOffset;
  return MsfToFrames(BcdToBin(header[0]), BcdToBin(header[1]), BcdToBin(header[2]));
}
