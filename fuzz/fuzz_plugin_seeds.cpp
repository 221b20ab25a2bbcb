// Writes real files of the ten carved types into a folder, each behind the byte that
// picks the 2048-byte user-data size, as seeds for the plug-in fuzz targets.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/plugins/samples/SampleFiles.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s folder\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  const std::filesystem::path work = folder / "made";
  std::filesystem::create_directories(work);
  int count = 0;
  for (const auto& sample : plugin_samples::MakeSampleFiles(work.string())) {
    std::ofstream out(folder / ("seed" + std::to_string(count++)), std::ios::binary);
    out.put('\0');
    out.write(reinterpret_cast<const char*>(sample.Data.data()), static_cast<std::streamsize>(sample.Data.size()));
  }
  std::filesystem::remove_all(work);
  std::printf("%d seed files\n", count);
  return 0;
}
