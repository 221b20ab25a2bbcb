#include "recovery/Iso9660util.h"

#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "sector/Bytes.h"

uint32_t BothEndian32Lsb(const uint8_t* p) { return GetLe32(p); }

uint32_t BothEndian32Msb(const uint8_t* p) { return GetBe32(p + 4); }

uint16_t BothEndian16Msb(const uint8_t* p) { return GetBe16(p + 2); }

bool IsJolietDescriptor(const uint8_t* descriptor) {
  const uint8_t* escapes = descriptor + 88;
  for (int slot = 0; slot <= 27; slot += 3) {
    const uint8_t* s = escapes + slot;
    if (s[0] == '%' && s[1] == '/' && (s[2] == '@' || s[2] == 'C' || s[2] == 'E')) return true;
  }
  return false;
}

bool HasZeroByte(const uint8_t* name, size_t length) {
  if (length % 2 != 0) return false;
  for (size_t i = 1; i <= length / 2; ++i)
    if (name[i] == 0) return true;
  return false;
}

namespace {

// Code units a Joliet writer puts in names: printable ASCII, Latin, Greek and Cyrillic,
// CJK symbols and kana, CJK ideographs, Hangul and full-width forms.
bool IsJolietNameUnit(uint32_t u) {
  return (u >= 0x20 && u < 0x7F) || (u >= 0xA0 && u <= 0x24F) || (u >= 0x370 && u <= 0x4FF) ||
         (u >= 0x3000 && u <= 0x30FF) || (u >= 0x3400 && u <= 0x4DBF) || (u >= 0x4E00 && u <= 0x9FFF) ||
         (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xFF00 && u <= 0xFFEF);
}

bool IsJolietName(std::span<const uint8_t> name) {
  for (size_t i = 0; i + 1 < name.size(); i += 2)
    if (!IsJolietNameUnit(static_cast<uint32_t>(name[i]) << 8 | name[i + 1])) return false;
  return true;
}

// An 8-bit name of printable Shift-JIS (ASCII, half-width kana and double-byte pairs).
bool IsShiftJisName(std::span<const uint8_t> name) {
  for (size_t i = 0; i < name.size(); ++i) {
    const uint8_t c = name[i];
    if ((c >= 0x20 && c < 0x7F) || (c >= 0xA1 && c <= 0xDF)) continue;
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    if (!lead || i + 1 == name.size()) return false;
    const uint8_t t = name[++i];
    if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
  }
  return true;
}

bool IsValidUtf8(std::span<const uint8_t> s) {
  size_t i = 0;
  while (i < s.size()) {
    const uint8_t c = s[i];
    size_t extra;
    uint32_t cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= s.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      cp = cp << 6 | (s[i + k] & 0x3F);
    }
    if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) return false;
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
    i += extra + 1;
  }
  return true;
}

// What one name, not "." or "..", says of its directory's encoding.
TNameCode NameCode(std::span<const uint8_t> name) {
  if (std::find(name.begin(), name.end(), 0) != name.end()) return TNameCode::Ucs2;
  if (name.size() % 2 != 0) return TNameCode::Narrow;
  if (std::all_of(name.begin(), name.end(), [](uint8_t c) { return c >= 0x20 && c < 0x7F; })) return TNameCode::Narrow;
  const bool ucs2 = IsJolietName(name);
  const bool narrow = IsShiftJisName(name) || IsValidUtf8(name);
  if (ucs2 == narrow) return TNameCode::Unknown;
  return ucs2 ? TNameCode::Ucs2 : TNameCode::Narrow;
}

// Calls `visit` with the name of every record of the image that is not "." or "..", in
// order, while it returns true; a record that does not fit the image ends the walk.
template <typename Visit>
void ForEachName(const uint8_t* image, size_t size, size_t unit, Visit visit) {
  size_t pos = 0;
  while (image != nullptr && pos < size) {
    const uint8_t* r = image + pos;
    const size_t length = r[0];
    if (length == 0) {
      if (unit == 0) return;
      pos = (pos / unit + 1) * unit;
      continue;
    }
    if (pos + 33 > size || pos + length > size) return;
    const size_t nameLength = r[32];
    if (nameLength == 0 || 33 + nameLength > length) return;
    const bool isDirectory = IsDirectoryRecord(r);
    if (!(isDirectory && nameLength == 1) && !visit(std::span<const uint8_t>(r + 33, nameLength))) return;
    pos += length;
  }
}

}  // namespace

bool IsUcs2Directory(const uint8_t* image, size_t size, size_t unit) {
  if (size == 0 || image[0] < 33) return false;
  bool ucs2 = false;
  ForEachName(image, size, unit, [&](std::span<const uint8_t> name) {
    ucs2 = HasZeroByte(name.data(), name.size());
    return !ucs2;
  });
  return ucs2;
}

TNameCode NameCodeOf(const uint8_t* image, size_t size, size_t unit) {
  bool ucs2 = false, narrow = false;
  if (size != 0 && image[0] >= 33) {
    ForEachName(image, size, unit, [&](std::span<const uint8_t> name) {
      const TNameCode code = NameCode(name);
      ucs2 = ucs2 || code == TNameCode::Ucs2;
      narrow = narrow || code == TNameCode::Narrow;
      return true;
    });
  }
  if (ucs2 == narrow) return TNameCode::Unknown;
  return ucs2 ? TNameCode::Ucs2 : TNameCode::Narrow;
}

void IsoDateToFileTime(const TIsoDate& d, FILETIME& out) {
  SYSTEMTIME st;
  st.wYear = static_cast<uint16_t>(d[0] + 1900);
  st.wMonth = d[1];
  st.wDay = d[2];
  st.wHour = d[3];
  st.wMinute = d[4];
  st.wSecond = d[5];
  if (SystemTimeToFileTime(st, out)) {
    FileTimeAddMinutes(-15 * static_cast<int8_t>(d[6]), out);
  } else {
    out = FILETIME{};
  }
}

std::string IsoDateToString(const TIsoDate& d) {
  char text[64];
  std::snprintf(text, sizeof text, "%.4d/%.2d/%.2d %.2d:%.2d:%.2d", d[0] + 1900, d[1], d[2], d[3], d[4], d[5]);
  return text;
}

namespace {

// value / 2^shift with two decimals, halves rounded up.
std::string TwoDecimals(uint32_t value, int shift, const char* unit) {
  const uint64_t hundredths = ((static_cast<uint64_t>(value) * 100) + (uint64_t{1} << (shift - 1))) >> shift;
  char text[48];
  std::snprintf(text, sizeof text, "%llu.%.2llu%s", static_cast<unsigned long long>(hundredths / 100),
                static_cast<unsigned long long>(hundredths % 100), unit);
  return text;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | cp >> 18);
    out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

constexpr uint32_t kReplacement = 0xFFFD;


struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};

bool Cp932ToUtf8(std::span<const uint8_t> in, std::string& out) {
  iconv_t raw = iconv_open("UTF-8", "CP932");
  if (raw == reinterpret_cast<iconv_t>(-1)) return false;
  const std::unique_ptr<void, IconvCloser> cd(raw);
  std::string src(reinterpret_cast<const char*>(in.data()), in.size());
  std::string dst(in.size() * 4 + 4, '\0');
  char* inPtr = src.data();
  size_t inLeft = src.size();
  char* outPtr = dst.data();
  size_t outLeft = dst.size();
  if (iconv(raw, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) return false;
  if (iconv(raw, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) return false;
  dst.resize(dst.size() - outLeft);
  out = std::move(dst);
  return true;
}

}  // namespace

std::string FormatByteSize(uint32_t b) {
  if (b < 1024) return std::to_string(b) + "Bytes";
  if (b < 1048576) return TwoDecimals(b, 10, "KB");
  if (b < 1073741824) return TwoDecimals(b, 20, "MB");
  return TwoDecimals(b, 30, "GB");
}

std::string Ucs2BeToUtf8(std::span<const uint8_t> name) {
  std::string out;
  const size_t units = name.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    const uint32_t u = static_cast<uint32_t>(name[2 * i]) << 8 | name[2 * i + 1];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      const uint32_t low = static_cast<uint32_t>(name[2 * i + 2]) << 8 | name[2 * i + 3];
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, u >= 0xD800 && u <= 0xDFFF ? kReplacement : u);
  }
  if (name.size() % 2 != 0) AppendUtf8(out, kReplacement);
  return out;
}

std::string NarrowNameToUtf8(std::span<const uint8_t> name) {
  if (IsValidUtf8(name)) return std::string(reinterpret_cast<const char*>(name.data()), name.size());
  std::string decoded;
  if (Cp932ToUtf8(name, decoded)) return decoded;
  std::string out;
  for (const uint8_t c : name) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out;
}
