#include "plugins/zip/Zipplugin.h"

#include <cstring>
#include <memory>

namespace {

constexpr uint32_t kLocalHeader = 0x04034B50;
constexpr uint32_t kCentralHeader = 0x02014B50;
constexpr uint32_t kEndRecord = 0x06054B50;
constexpr uint32_t kDataDescriptor = 0x08074B50;
constexpr uint32_t kZip64EndRecord = 0x06064B50;
constexpr uint32_t kZip64EndLocator = 0x07064B50;
constexpr uint32_t kDigitalSignature = 0x05054B50;

constexpr unsigned kLocalHeaderSize = 30;
constexpr unsigned kCentralHeaderSize = 46;
constexpr unsigned kEndRecordSize = 22;
constexpr unsigned kDescriptorSize = 16;
constexpr unsigned kZip64DescriptorSize = 24;
constexpr unsigned kUnsignedDescriptorSize = 12;  // a descriptor written without its signature
constexpr unsigned kZip64EndRecordHead = 12;       // signature and the u64 size of the rest
constexpr unsigned kZip64EndLocatorSize = 20;
constexpr unsigned kDigitalSignatureHead = 6;
constexpr uint16_t kSizesFollowData = 0x0008;
constexpr uint32_t kZip64Size = 0xFFFFFFFFu;
constexpr uint64_t kLargestResult = 0xFFFFFFFFu;

uint16_t ReadLe16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t ReadLe32(const unsigned char* p) { return uint32_t(ReadLe16(p)) | uint32_t(ReadLe16(p + 2)) << 16; }
uint64_t ReadLe64(const unsigned char* p) { return uint64_t(ReadLe32(p)) | uint64_t(ReadLe32(p + 4)) << 32; }

bool IsRecordSignature(uint32_t signature) {
  switch (signature) {
    case kLocalHeader:
    case kCentralHeader:
    case kEndRecord:
    case kDataDescriptor:
    case kZip64EndRecord:
    case kZip64EndLocator:
    case kDigitalSignature:
      return true;
    default:
      return false;
  }
}

}  // namespace

int TZipPlugin::GetPluginType() noexcept { return 1; }

void TZipPlugin::Reset() noexcept {
  InEntryData = 0;
  EntryDataWalked = 0;
}

int TZipPlugin::GetHeaderSize() noexcept { return 54; }

int TZipPlugin::Detect(const void* data, unsigned size) noexcept {
  const auto* bytes = static_cast<const unsigned char*>(data);
  return bytes != nullptr && size >= 4 && ReadLe32(bytes) == kLocalHeader ? 1 : 0;
}

// The data ends at a descriptor whose compressed size equals the bytes walked (with or
// without its signature, 32- or 64-bit sizes). Matching the size keeps a stray "PK" in
// the compressed data from ending the entry.
TZipPlugin::TScanResult TZipPlugin::ScanEntryData(const unsigned char* bytes, unsigned size,
                                                  uint64_t start) noexcept {
  uint64_t j = start;
  while (j + 4 <= size) {
    const void* found = std::memchr(bytes + j, 'P', size - j - 3);
    if (found == nullptr) {
      j = size - 3;
      break;
    }
    j = static_cast<uint64_t>(static_cast<const unsigned char*>(found) - bytes);
    const uint32_t signature = ReadLe32(bytes + j);
    const uint64_t walked = EntryDataWalked + (j - start);
    if (signature == kDataDescriptor) {
      if (j + kZip64DescriptorSize + 4 > size) break;  // decided when more data is shown
      const bool sizes32 = ReadLe32(bytes + j + 8) == static_cast<uint32_t>(walked);
      const bool sizes64 = ReadLe64(bytes + j + 8) == walked;
      // Small sizes fit both forms; the record that follows tells them apart.
      if (sizes32 && (!sizes64 || IsRecordSignature(ReadLe32(bytes + j + kDescriptorSize))))
        return {true, j + kDescriptorSize};
      if (sizes64) return {true, j + kZip64DescriptorSize};
    } else if ((signature == kLocalHeader || signature == kCentralHeader) && j >= kUnsignedDescriptorSize &&
               walked >= kUnsignedDescriptorSize &&
               ReadLe32(bytes + j - 8) == static_cast<uint32_t>(walked - kUnsignedDescriptorSize)) {
      return {true, j};
    }
    ++j;
  }
  // Keep the last bytes for the next call, so that a record found there still has the
  // unsigned descriptor before it in view.
  const uint64_t resume = j > start + kUnsignedDescriptorSize ? j - kUnsignedDescriptorSize : start;
  EntryDataWalked += resume - start;
  return {false, resume};
}

unsigned TZipPlugin::FindEnd(const void* data, unsigned size, bool* endFound) noexcept {
  bool ignored = false;
  bool& end = endFound != nullptr ? *endFound : ignored;
  end = false;
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (bytes == nullptr) return 0;
  uint64_t pos = 0;
  const auto endAt = [&end](uint64_t at) {
    end = true;
    return static_cast<unsigned>(at);
  };
  for (;;) {
    if (InEntryData != 0) {
      const TScanResult scan = ScanEntryData(bytes, size, pos);
      if (!scan.Ended) return static_cast<unsigned>(scan.Position);
      InEntryData = 0;
      pos = scan.Position;
    }
    if (pos + 4 >= size) break;
    const unsigned char* record = bytes + pos;
    uint64_t next = 0;
    switch (ReadLe32(record)) {
      case kCentralHeader:
        if (pos + kCentralHeaderSize > size) return static_cast<unsigned>(pos);
        next = pos + kCentralHeaderSize + ReadLe16(record + 28) + ReadLe16(record + 30) + ReadLe16(record + 32);
        break;
      case kLocalHeader: {
        if (pos + kLocalHeaderSize > size) return static_cast<unsigned>(pos);
        const uint32_t compressed = ReadLe32(record + 18);
        const uint64_t dataStart = pos + kLocalHeaderSize + ReadLe16(record + 26) + ReadLe16(record + 28);
        if ((ReadLe16(record + 6) & kSizesFollowData) != 0 && (compressed == 0 || compressed == kZip64Size)) {
          if (dataStart > kLargestResult) return endAt(pos);
          InEntryData = 1;
          EntryDataWalked = 0;
          if (dataStart > size) return static_cast<unsigned>(dataStart);
          pos = dataStart;
          continue;
        }
        next = dataStart + compressed;
        break;
      }
      case kDataDescriptor:
        // After an entry that gave its sizes in the header as well; 64-bit sizes make it
        // 8 bytes longer, which shows in where the next record starts.
        if (pos + kZip64DescriptorSize + 4 > size) return static_cast<unsigned>(pos);
        next = pos + (IsRecordSignature(ReadLe32(record + kDescriptorSize)) ? kDescriptorSize : kZip64DescriptorSize);
        break;
      case kZip64EndRecord: {
        if (pos + kZip64EndRecordHead > size) return static_cast<unsigned>(pos);
        const uint64_t rest = ReadLe64(record + 4);
        if (rest > kLargestResult) return endAt(pos);
        next = pos + kZip64EndRecordHead + rest;
        break;
      }
      case kZip64EndLocator:
        next = pos + kZip64EndLocatorSize;
        break;
      case kDigitalSignature:
        if (pos + kDigitalSignatureHead > size) return static_cast<unsigned>(pos);
        next = pos + kDigitalSignatureHead + ReadLe16(record + 4);
        break;
      case kEndRecord:
        if (pos + kEndRecordSize > size) return static_cast<unsigned>(pos);
        return endAt(pos + kEndRecordSize + ReadLe16(record + 20));
      default:
        return endAt(pos);
    }
    // A damaged size, or the 64-bit placeholder 0xFFFFFFFF, would send the walk past 4 GiB
    // (and in 32 bits wrap it backwards): the archive ends at that record.
    if (next > kLargestResult) return endAt(pos);
    pos = next;
  }
  return static_cast<unsigned>(pos);
}

int TZipPlugin::GetTypeName(int bufSize, char* buf) noexcept {
  return CopyPluginText("PK Zipped archive", bufSize, buf);
}

int TZipPlugin::GetExtension(int bufSize, char* buf) noexcept { return CopyPluginText(".zip", bufSize, buf); }

int TZipPlugin::GetName(int bufSize, char* buf) noexcept { return CopyPluginText("PKZIP Plug-in", bufSize, buf); }

int TZipPlugin::GetVersion(int bufSize, char* buf) noexcept { return CopyPluginText("1.00.1", bufSize, buf); }

int TZipPlugin::GetDescription(int bufSize, char* buf) noexcept {
  return CopyPluginText("This supports PK Zipped archives.", bufSize, buf);
}

int TZipPlugin::GetCopyright(int bufSize, char* buf) noexcept {
  return CopyPluginText("Copyright (C) 2003 Ostrel", bufSize, buf);
}

int TZipPlugin::GetReserved() noexcept { return 0; }

QUARNEL_PLUGIN_MODULE(TZipPlugin)
