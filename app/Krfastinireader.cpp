#include "app/Krfastinireader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace {

std::string ReadWholeFile(const std::string& fileName) {
  std::error_code ec;
  if (!std::filesystem::exists(fileName, ec)) return {};
  const uintmax_t size = std::filesystem::file_size(fileName, ec);
  if (ec || size > TKrFastIniReader::kMaxFileBytes) throw std::runtime_error("cannot read " + fileName);
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + fileName);
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("cannot read " + fileName);
  return data;
}

bool EndsSection(const std::string& line) { return !line.empty() && line[0] == '[' && line.find(']') != std::string::npos; }

}  // namespace

std::vector<std::string> SplitIniLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

TKrFastIniReader::TKrFastIniReader(std::string fileName) : FileName(std::move(fileName)) {
  Lines = SplitIniLines(ReadWholeFile(FileName));
}

bool TKrFastIniReader::SelectSection(std::string_view name, bool fromEnd) {
  Section.clear();
  const std::string header = "[" + std::string(name) + "]";
  std::vector<std::string>::iterator found;
  if (fromEnd) {
    auto r = std::find(Lines.rbegin(), Lines.rend(), header);
    if (r == Lines.rend()) return false;
    found = std::next(r).base();
  } else {
    found = std::find(Lines.begin(), Lines.end(), header);
    if (found == Lines.end()) return false;
  }
  auto position = Lines.erase(found);
  while (position != Lines.end()) {
    if (position->empty()) {
      ++position;
    } else if (EndsSection(*position)) {
      break;
    } else {
      Section.push_back(std::move(*position));
      position = Lines.erase(position);
    }
  }
  return true;
}

std::string TKrFastIniReader::ReadString(std::string_view key, std::string_view defaultValue) {
  const std::string prefix = std::string(key) + "=";
  for (auto line = Section.begin(); line != Section.end(); ++line) {
    if (line->compare(0, prefix.size(), prefix) != 0) continue;
    std::string value = line->substr(prefix.size());
    Section.erase(line);
    return value;
  }
  return std::string(defaultValue);
}

int64_t TKrFastIniReader::ReadInteger(std::string_view key, int64_t defaultValue) {
  const std::string text = ReadString(key, "");
  std::string_view digits = text;
  const bool plus = !digits.empty() && digits.front() == '+';
  if (plus) digits.remove_prefix(1);
  // One sign at most: "+-5" and "++5" are no numbers.
  if (digits.empty() || (plus && (digits.front() == '+' || digits.front() == '-'))) return defaultValue;
  int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return defaultValue;
  return value;
}

bool TKrFastIniReader::ReadBool(std::string_view key, bool defaultValue) {
  std::string text = ReadString(key, "");
  if (text == "False") return false;
  if (text == "True") return true;
  if (text == "0") return false;
  if (text == "1") return true;
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  if (text == "false") return false;
  if (text == "true") return true;
  return defaultValue;
}
