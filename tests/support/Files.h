#pragma once
// Whole files in and out, for the inputs a test makes and the outputs it checks.
#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace test_support {

// The bytes of a file; empty when it cannot be read.
inline std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes the file afresh; false when it cannot (a later read of it then fails the test).
inline bool WriteFile(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return out.good();
}
inline bool WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  return WriteFile(path, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

// The files below `root`, by path relative to it.
inline std::map<std::string, std::filesystem::path> FilesBelow(const std::filesystem::path& root) {
  std::map<std::string, std::filesystem::path> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    if (e.is_regular_file()) files[std::filesystem::relative(e.path(), root).string()] = e.path();
  return files;
}

// A file's modification time in whole seconds; 0 when it has none.
inline time_t MtimeOf(const std::filesystem::path& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 ? st.st_mtime : 0;
}

}  // namespace test_support
