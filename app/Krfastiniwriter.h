#pragma once
// Writes the program's ini text files: lines are collected in call order and reach the
// disk only in UpdateFile, written whole under a temporary name and renamed into place.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TKrFastIniWriter {
 public:
  explicit TKrFastIniWriter(std::string fileName);

  // An empty line, then "[name]".
  bool AddSection(std::string_view name);
  // key=value with blanks and control characters trimmed at both ends. A value that
  // still holds a line break is written empty: it would end the line and inject keys.
  bool WriteString(std::string_view key, std::string_view value);
  bool WriteInteger(std::string_view key, int64_t value);
  bool WriteBool(std::string_view key, bool value);
  // Lines end in CR LF. False when the file name is empty or the file cannot be written;
  // the old file is then untouched.
  bool UpdateFile();

 private:
  std::string FileName;
  std::vector<std::string> Lines;
};
