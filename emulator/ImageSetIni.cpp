#include <cctype>
#include <charconv>
#include <limits>

#include "emulator/ImageSetInternal.h"

#include "sector/Trim.h"

namespace emu::imageset {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// Lower case with runs of blanks made one space: "INDEX  1" and "index 1" match.
std::string Normalize(std::string_view text) {
  std::string out;
  bool blank = false;
  for (char c : Trim(text)) {
    if (IsBlank(c)) {
      blank = true;
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

bool ParseDigits(std::string_view text, int base, int64_t& value) {
  if (text.empty()) return false;
  uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
  value = static_cast<int64_t>(magnitude);
  return true;
}

bool HasHexPrefix(std::string_view text) { return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'); }

}  // namespace

const IniEntry* IniSection::Find(std::string_view key) const {
  const std::string normalized = Normalize(key);
  for (auto it = Entries.rbegin(); it != Entries.rend(); ++it)
    if (it->Key == normalized) return &*it;
  return nullptr;
}

bool ParseIni(std::string_view text, std::vector<IniSection>& sections, std::string& error) {
  sections.clear();
  int lineNumber = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNumber;
    if (size_t comment = line.find(';'); comment != std::string_view::npos) line = line.substr(0, comment);
    line = Trim(line);
    if (line.empty()) continue;
    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3) {
        error = "line " + std::to_string(lineNumber) + ": malformed section header";
        return false;
      }
      std::string_view name = Trim(line.substr(1, line.size() - 2));
      sections.push_back(IniSection{Normalize(name), std::string(name), lineNumber, {}});
      continue;
    }
    size_t equals = line.find('=');
    if (equals == std::string_view::npos || Trim(line.substr(0, equals)).empty()) {
      error = "line " + std::to_string(lineNumber) + ": expected KEY=VALUE or [SECTION]";
      return false;
    }
    if (sections.empty()) {
      error = "line " + std::to_string(lineNumber) + ": value outside any [SECTION]";
      return false;
    }
    std::string_view key = Trim(line.substr(0, equals));
    sections.back().Entries.push_back(
        IniEntry{Normalize(key), std::string(key), std::string(Trim(line.substr(equals + 1))), lineNumber});
  }
  return true;
}

IniEntry MakeEntry(std::string_view key, std::string_view value) {
  return IniEntry{Normalize(key), std::string(Trim(key)), std::string(Trim(value)), 0};
}

bool NumberedSection(const std::string& name, std::string_view prefix, int& number) {
  if (name.size() <= prefix.size() + 1 || name.compare(0, prefix.size(), prefix) != 0 || name[prefix.size()] != ' ')
    return false;
  int64_t value = 0;
  if (!ParseDigits(std::string_view(name).substr(prefix.size() + 1), 10, value) || value > 1000000) return false;
  number = static_cast<int>(value);
  return true;
}

bool ParseInteger(std::string_view text, int64_t& value) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int64_t magnitude = 0;
  bool ok = HasHexPrefix(text) ? ParseDigits(text.substr(2), 16, magnitude) : ParseDigits(text, 10, magnitude);
  if (!ok) return false;
  value = negative ? -magnitude : magnitude;
  return true;
}

bool ParseHex(std::string_view text, int64_t& value) {
  text = Trim(text);
  if (HasHexPrefix(text)) text.remove_prefix(2);
  return ParseDigits(text, 16, value);
}

std::vector<std::string_view> SplitFields(std::string_view text, char separator) {
  std::vector<std::string_view> fields;
  while (true) {
    size_t at = text.find(separator);
    fields.push_back(Trim(text.substr(0, at)));
    if (at == std::string_view::npos) break;
    text.remove_prefix(at + 1);
  }
  return fields;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string FieldReader::Where(const IniEntry& entry) const {
  const std::string key = "[" + Section.Written + "] " + entry.Written;
  return entry.Line > 0 ? "line " + std::to_string(entry.Line) + " " + key : key;  // 0: not from a file
}

bool FieldReader::Integer(std::string_view key, int64_t min, int64_t max, int64_t& value, bool required) {
  const IniEntry* entry = Section.Find(key);
  if (!entry) {
    if (required)
      Error = "line " + std::to_string(Section.Line) + " [" + Section.Written + "]: " + std::string(key) + " is missing";
    return !required;
  }
  int64_t parsed = 0;
  if (!ParseInteger(entry->Value, parsed)) {
    Error = Where(*entry) + ": \"" + entry->Value + "\" is not a number";
    return false;
  }
  if (parsed < min || parsed > max) {
    Error = Where(*entry) + ": " + entry->Value + " is out of range " + std::to_string(min) + ".." + std::to_string(max);
    return false;
  }
  value = parsed;
  return true;
}

bool FieldReader::Flag(std::string_view key, bool& value) {
  int64_t number = value ? 1 : 0;
  if (!Integer(key, 0, 1, number, kOptional)) return false;
  value = number != 0;
  return true;
}

}  // namespace emu::imageset
