// WAV input of the disc builder: finds the PCM payload by walking the RIFF chunks.
#include <array>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "emulator/DiscBuilder.h"
#include "sector/Bytes.h"

namespace emu {

namespace {

// The PCM sub-format GUID of WAVE_FORMAT_EXTENSIBLE, after its first two bytes.
constexpr std::array<uint8_t, 14> kPcmGuidTail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool CheckFormat(const uint8_t* fmt, uint32_t size, const std::string& name, std::string& error) {
  if (size < 16) {
    error = name + ": the WAV format chunk is too short";
    return false;
  }
  uint16_t tag = GetLe16(fmt);
  if (tag == 0xFFFE) {
    if (size < 40 || GetLe16(fmt + 24) != 1 || std::memcmp(fmt + 26, kPcmGuidTail.data(), kPcmGuidTail.size()) != 0) {
      error = name + ": the WAV file is not PCM";
      return false;
    }
  } else if (tag != 1) {
    error = name + ": the WAV file is not PCM (format " + std::to_string(tag) + ")";
    return false;
  }
  uint16_t channels = GetLe16(fmt + 2);
  uint32_t rate = GetLe32(fmt + 4);
  uint16_t blockAlign = GetLe16(fmt + 12);
  uint16_t bits = GetLe16(fmt + 14);
  if (channels != 2 || rate != 44100 || bits != 16 || blockAlign != 4) {
    error = name + ": the WAV file has " + std::to_string(channels) + " channel(s), " + std::to_string(bits) +
            " bits, " + std::to_string(rate) + " Hz; a CD track needs 2 channels, 16 bits, 44100 Hz";
    return false;
  }
  return true;
}

bool ReadFormatChunk(std::ifstream& in, uint32_t size, bool insideFile, const std::string& name,
                     std::string& error) {
  if (size > 1024 || !insideFile) {
    error = name + ": the WAV format chunk is malformed";
    return false;
  }
  std::vector<uint8_t> fmt(size);
  if (!in.read(reinterpret_cast<char*>(fmt.data()), size)) {
    error = name + ": cannot read the WAV format chunk";
    return false;
  }
  return CheckFormat(fmt.data(), size, name, error);
}

}  // namespace

bool ReadWavPayload(const std::filesystem::path& file, uint64_t& offset, uint64_t& bytes, std::string& error) {
  const std::string name = file.string();
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    error = name + ": cannot open the file";
    return false;
  }
  std::error_code ec;
  const uint64_t fileSize = std::filesystem::file_size(file, ec);
  if (ec) {
    error = name + ": " + ec.message();
    return false;
  }
  uint8_t header[12];
  if (!in.read(reinterpret_cast<char*>(header), sizeof header) || std::memcmp(header, "RIFF", 4) != 0 ||
      std::memcmp(header + 8, "WAVE", 4) != 0) {
    error = name + ": not a WAV file (no RIFF WAVE header)";
    return false;
  }
  bool haveFormat = false;
  uint64_t pos = 12;
  while (pos + 8 <= fileSize) {
    uint8_t chunk[8];
    in.seekg(static_cast<std::streamoff>(pos));
    if (!in.read(reinterpret_cast<char*>(chunk), 8)) break;
    const uint32_t size = GetLe32(chunk + 4);
    const uint64_t body = pos + 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (!ReadFormatChunk(in, size, /*insideFile=*/body + size <= fileSize, name, error)) return false;
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) {
        error = name + ": the WAV data chunk comes before its format chunk";
        return false;
      }
      if (body + size > fileSize) {
        error = name + ": the WAV data chunk runs past the end of the file (truncated?)";
        return false;
      }
      if (size % 4 != 0) {
        error = name + ": the WAV data is not a whole number of stereo samples";
        return false;
      }
      offset = body;
      bytes = size;
      return true;
    }
    pos = body + size + (size & 1);  // chunks are padded to an even length
  }
  error = name + (haveFormat ? ": the WAV file has no data chunk" : ": the WAV file has no format chunk");
  return false;
}

}  // namespace emu
