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
constexpr unsigned LevelOffset = 20;
constexpr unsigned MethodIdOffset = 2;

constexpr unsigned SfxMarkOffset = 0x24;
constexpr char SfxMark[] = "LHA's SFX";
constexpr unsigned SfxMarkLength = sizeof(SfxMark) - 1;

std::uint32_t U16(const unsigned char* p) { return p[0] | (p[1] << 8); }
std::uint32_t U32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool IsLhaMethodId(const unsigned char* id) { return id[0] == '-' && id[4] == '-'; }

bool IsMemberHeader(const unsigned char* h) { return h[LevelOffset] <= 2 && IsLhaMethodId(h + MethodIdOffset); }

// Offset of the member after the one whose header is `h` at `pos`: levels 0 and 1 count
// the header from its third byte, level 2 counts it whole.
std::uint64_t NextMember(const unsigned char* h, std::uint64_t pos) {
  const std::uint64_t header = h[LevelOffset] == 2 ? U16(h) : h[0] + 2u;
  return pos + header + U32(h + 7);
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
  Detected = 0;
  if (bytes == nullptr) return 0;
  if (size >= SfxMarkOffset + SfxMarkLength && bytes[0] == 'M' && bytes[1] == 'Z' &&
      std::memcmp(bytes + SfxMarkOffset, SfxMark, SfxMarkLength) == 0) {
    SfxSearch = 1;
    Detected = 1;
    Kind = 2;
    return 1;
  }
  Kind = 0;
  if (size < HeaderFieldsSize || !IsMemberHeader(bytes)) return 0;
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

  if (SfxSearch != 0) {
    std::uint64_t i = 2;
    while (i + 5 <= size && !IsLhaMethodId(bytes + i)) ++i;
    if (i + 5 > size) return size > 6 ? size - 6 : 0;  // the last bytes may hold the start of an id
    pos = i - 2;  // the header begins two bytes before its id
    SfxSearch = 0;
  }

  while (pos < size) {
    if (bytes[pos] == 0) {  // the archive's end mark
      end = true;
      return static_cast<unsigned>(pos + 1);
    }
    if (pos + HeaderFieldsSize > size) return static_cast<unsigned>(pos);
    const std::uint64_t next = NextMember(bytes + pos, pos);
    // A damaged size would wrap a 32-bit walk back onto the same header (or before it).
    if (!IsMemberHeader(bytes + pos) || next > UINT32_MAX) {
      end = true;
      return static_cast<unsigned>(pos);
    }
    pos = next;
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
