#pragma once
// The rip log: a plain text file every rip appends its steps to. The first entry of a
// program run starts the file anew. Writing never throws and never stops a rip.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

class TRipLog {
 public:
  // rip_log.txt beside the program when that folder is writable, else in the settings folder.
  static std::filesystem::path DefaultPath();

  explicit TRipLog(std::filesystem::path file) : File(std::move(file)) {}

  // Appends the bytes as they are; false when they did not reach the file.
  bool Write(std::string_view text) noexcept;
  const std::filesystem::path& GetPath() const { return File; }

 private:
  std::filesystem::path File;
  bool Started = false;
};

// Texts of numbers as the log writes them.
std::string ByteToStr(uint8_t value);
std::string DecimalText(int64_t value);
std::string HexText(uint64_t value, int digits);
// "%.6d" of the low 32 bits, as signed: the log keeps that form though the positions are 64-bit.
std::string Low32Text(int64_t value);
