#pragma once
// Reads the program's ini text files. The whole file is held as lines; selecting a
// section moves its lines out, and reading a key consumes its line, so the n-th read of
// a key returns its n-th line.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TKrFastIniReader {
 public:
  // A larger file is not one of ours; refusing it keeps a mistaken choice from
  // filling the memory.
  static constexpr uintmax_t kMaxFileBytes = 16 * 1024 * 1024;

  // A missing file reads as empty. A file that cannot be read, or is too large, throws
  // std::runtime_error.
  explicit TKrFastIniReader(std::string fileName);

  // The next section of that exact header line, from the start or from the end.
  bool SelectSection(std::string_view name, bool fromEnd = false);
  // The rest of the first line of the section starting with key + "=", untrimmed.
  std::string ReadString(std::string_view key, std::string_view defaultValue);
  // Signed decimal; anything that does not convert whole gives the default.
  int64_t ReadInteger(std::string_view key, int64_t defaultValue);
  bool ReadBool(std::string_view key, bool defaultValue);

 private:
  std::vector<std::string> Lines;
  std::vector<std::string> Section;
  std::string FileName;
};

// Splits text at CR, LF and CR LF.
std::vector<std::string> SplitIniLines(std::string_view text);
