#include "plugins/lzh/Lzhplugin.h"

#include <cstring>
#include <memory>

namespace {

constexpr const char* TypeName = "Lzh archive file";
constexpr const char* Name = "LZH Plug-in";
constexpr const char* Version = "1.00.1";
constexpr const char* Description =
    "This supports .LZH/.LZS archives. It supports self-extracting executable files with LHA's SFX too.";
constexpr const char* Copyright = "Copyright (C) 2003 Ostrel";

// Bytes of a member header needed before its fields can be read.
constexpr std::uint64_t HeaderFieldsSize = 22;
// Header sizes below these cannot hold the fields every member header has.
constexpr unsigned MinShortHeaderSize = 22;  // levels 0 and 1: bytes after the first two
constexpr unsigned MinLevel2HeaderSize = 26;
// No archive member on a CD is this large; a bigger size is garbage, not a member.
constexpr std::uint32_t MaxCompressedSize = 0x80000000u;

constexpr unsigned SfxMarkOffset = 0x24;
constexpr char SfxMark[] = "LHA's SFX";
constexpr unsigned SfxMarkLength = sizeof(SfxMark) - 1;

std::uint32_t U16(const unsigned char* p) { return p[0] | (p[1] << 8); }
std::uint32_t U32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool IsLhaMethodId(const unsigned char* id) { return id[0] == '-' && id[4] == '-'; }

enum class HeaderCheck { Valid, Invalid, Incomplete };

// Checks the member header at data[pos] as far as `size` allows; on Valid, `next` is the
// offset of the following header.
HeaderCheck CheckHeader(const unsigned char* data, std::uint64_t size, std::uint64_t pos, std::uint64_t& next) {
  if (pos + HeaderFieldsSize > size) return HeaderCheck::Incomplete;
  const unsigned char* h = data + pos;
  const unsigned level = h[20];
  if (level > 2 || !IsLhaMethodId(h + 2)) return HeaderCheck::Invalid;
  const std::uint32_t compressed = U32(h + 7);
  if (compressed >= MaxCompressedSize) return HeaderCheck::Invalid;
  std::uint64_t headerLength;
  if (level == 2) {
    headerLength = U16(h);
    if (headerLength < MinLevel2HeaderSize) return HeaderCheck::Invalid;
  } else {
    const unsigned headerSize = h[0];
    if (headerSize < MinShortHeaderSize) return HeaderCheck::Invalid;
    if (pos + 2 + headerSize > size) return HeaderCheck::Incomplete;
    unsigned sum = 0;
    for (unsigned i = 0; i < headerSize; ++i) sum += h[2 + i];
    if ((sum & 0xFF) != h[1]) return HeaderCheck::Invalid;
    headerLength = headerSize + 2;
  }
  next = pos + headerLength + compressed;
  if (next > UINT32_MAX) return HeaderCheck::Invalid;
  return HeaderCheck::Valid;
}

}  // namespace

int TLzhPlugin::GetPluginType() { return 1; }

void TLzhPlugin::Reset() {
  Detected = 0;
  Kind = 0;
  SfxSearch = 0;
}

int TLzhPlugin::GetHeaderSize() { return 54; }

int TLzhPlugin::Detect(const void* data, unsigned size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (bytes == nullptr) {
    Detected = 0;
    return 0;
  }
  if (size >= SfxMarkOffset + SfxMarkLength && bytes[0] == 'M' && bytes[1] == 'Z' &&
      std::memcmp(bytes + SfxMarkOffset, SfxMark, SfxMarkLength) == 0) {
    SfxSearch = 1;
    Detected = 1;
    Kind = 2;
    return 1;
  }
  Kind = 0;
  std::uint64_t next = 0;
  if (CheckHeader(bytes, size, 0, next) != HeaderCheck::Valid) {
    Detected = 0;
    return 0;
  }
  if (bytes[3] == 'l' && bytes[4] == 'z') Kind = 1;
  Detected = 1;
  return 1;
}

unsigned TLzhPlugin::FindEnd(const void* data, unsigned size, bool* endFound) {
  bool ignored = false;
  bool& end = endFound != nullptr ? *endFound : ignored;
  end = false;
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (bytes == nullptr) return 0;
  std::uint64_t pos = 0;
  std::uint64_t next = 0;

  if (SfxSearch != 0) {
    // The stub may hold strings that look like a method id; only a whole, consistent
    // header counts as the archive's start.
    bool found = false;
    for (std::uint64_t i = 2; i + 5 <= size; ++i) {
      if (!IsLhaMethodId(bytes + i)) continue;
      const HeaderCheck check = CheckHeader(bytes, size, i - 2, next);
      if (check == HeaderCheck::Incomplete) return static_cast<unsigned>(i - 2);  // looked at again with more data
      if (check == HeaderCheck::Valid) {
        pos = i - 2;
        found = true;
        break;
      }
    }
    if (!found) return size > 6 ? size - 6 : 0;  // the last bytes may hold the start of an id
    SfxSearch = 0;
  }

  while (pos < size) {
    if (bytes[pos] == 0) {
      end = true;
      return static_cast<unsigned>(pos + 1);
    }
    switch (CheckHeader(bytes, size, pos, next)) {
      case HeaderCheck::Incomplete:
        return static_cast<unsigned>(pos);
      case HeaderCheck::Invalid:
        end = true;
        return static_cast<unsigned>(pos);
      case HeaderCheck::Valid:
        pos = next;
        break;
    }
  }
  return static_cast<unsigned>(pos);
}

int TLzhPlugin::GetTypeName(int bufSize, char* buf) { return CopyPluginText(TypeName, bufSize, buf); }

int TLzhPlugin::GetExtension(int bufSize, char* buf) {
  const char* extension = Kind == 1 ? ".lzs" : Kind == 2 ? ".exe" : ".lzh";
  return CopyPluginText(extension, bufSize, buf);
}

int TLzhPlugin::GetName(int bufSize, char* buf) { return CopyPluginText(Name, bufSize, buf); }
int TLzhPlugin::GetVersion(int bufSize, char* buf) { return CopyPluginText(Version, bufSize, buf); }
int TLzhPlugin::GetDescription(int bufSize, char* buf) { return CopyPluginText(Description, bufSize, buf); }
int TLzhPlugin::GetCopyright(int bufSize, char* buf) { return CopyPluginText(Copyright, bufSize, buf); }
int TLzhPlugin::GetReserved() { return 0; }

QUARNEL_PLUGIN_MODULE(TLzhPlugin)
