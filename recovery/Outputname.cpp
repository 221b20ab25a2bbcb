#include "recovery/Outputname.h"

#include "platform/OutputFile.h"

namespace {

constexpr size_t kMaxKeptExtension = 16;

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The first `bytes` bytes of s, not splitting a UTF-8 character.
std::string CutAtCharacter(const std::string& s, size_t bytes) {
  if (s.size() <= bytes) return s;
  while (bytes > 0 && IsUtf8Continuation(s[bytes])) --bytes;
  return s.substr(0, bytes);
}

}  // namespace

std::string SafeLeafName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    out += (u < 0x20 || u == 0x7F || c == '/' || c == '\\') ? '_' : c;
  }
  if (out.empty() || out == "." || out == "..") return "_" + out;
  if (out.size() <= kMaxLeafBytes) return out;
  const size_t dot = out.rfind('.');
  const size_t extensionBytes = dot == std::string::npos ? 0 : out.size() - dot;
  if (extensionBytes == 0 || extensionBytes > kMaxKeptExtension) return CutAtCharacter(out, kMaxLeafBytes);
  return CutAtCharacter(out.substr(0, dot), kMaxLeafBytes - extensionBytes) + out.substr(dot);
}

std::string UniqueLeafName(std::string_view name, std::set<std::string>& used) {
  std::string unique =
      platform::FreeName(SafeLeafName(name), [&used](const std::string& leaf) { return used.count(leaf) != 0; });
  used.insert(unique);
  return unique;
}
