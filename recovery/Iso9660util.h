#pragma once
// Readers of ISO 9660 fields, the Joliet test, the UCS-2 name heuristics for found
// directories, recording dates, byte-size captions and the decoding of file identifiers.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "recovery/Iso9660ex.h"
#include "recovery/Krdateutil.h"

// Both-byte-order fields, p pointing at the start of the field.
uint32_t BothEndian32Lsb(const uint8_t* p);  // little-endian copy at p[0..3]
uint32_t BothEndian32Msb(const uint8_t* p);  // big-endian copy at p[4..7]
uint16_t BothEndian16Msb(const uint8_t* p);  // big-endian copy at p[2..3]

// descriptor: one whole 2048-byte volume descriptor.
bool IsJolietDescriptor(const uint8_t* descriptor);

bool HasZeroByte(const uint8_t* name, size_t length);
// image/size: the directory's bytes; unit: the sector payload size that records never cross.
bool IsUcs2Directory(const uint8_t* image, size_t size, size_t unit);

// What a directory's names say of their encoding by their bytes alone. Ucs2: a name holds
// a zero byte or reads only as UCS-2; Narrow: a name has an odd length, is plain ASCII or
// reads only as an 8-bit name. Unknown when every name reads as either (all-CJK UCS-2 and
// Shift-JIS names can hold the same bytes), when they disagree, or when there are none.
enum class TNameCode : uint8_t { Unknown, Narrow, Ucs2 };
TNameCode NameCodeOf(const uint8_t* image, size_t size, size_t unit);

// Recording date as a UTC file time; all zero when the date does not exist.
void IsoDateToFileTime(const TIsoDate& d, FILETIME& out);
// The date as recorded, without the offset: "yyyy/mm/dd hh:mm:ss".
std::string IsoDateToString(const TIsoDate& d);

std::string FormatByteSize(uint32_t b);

// A Joliet (UCS-2 / UTF-16 big-endian) identifier as UTF-8; an unpaired surrogate or a
// dangling odd byte becomes U+FFFD.
std::string Ucs2BeToUtf8(std::span<const uint8_t> name);
// An 8-bit identifier: kept when it is valid UTF-8, else decoded as CP932, else every
// byte above 0x7F is written as %XX.
std::string NarrowNameToUtf8(std::span<const uint8_t> name);
