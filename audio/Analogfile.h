#pragma once
// Reads the data of a WAV recording (or of any file, taken whole) through a read cache.
// Offsets are byte offsets into the data and fit a signed 32-bit value: a recording
// longer than that is refused at Open instead of wrapping.
#include <cstdint>
#include <filesystem>
#include <memory>

enum class TAnalogError : uint8_t {
  None,
  CannotOpen,  // the recording cannot be opened or measured
  TooLarge,    // longer than a 32-bit offset reaches
  ReadFailed,  // a read inside the data came back short: the file changed or the disk failed
};

class TAnalogFile {
 public:
  TAnalogFile();
  ~TAnalogFile();
  TAnalogFile(const TAnalogFile&) = delete;
  TAnalogFile& operator=(const TAnalogFile&) = delete;

  bool SetCacheSize(uint32_t bytes);
  // Locates the "data" chunk of a RIFF/WAVE file; any other file is data as a whole.
  bool Open(const std::filesystem::path& path);
  void Close();
  bool IsOpen() const { return Fd >= 0; }
  int32_t GetDataOffset() const { return DataOffset; }
  int32_t GetDataSize() const { return DataSize; }
  // Loads the cache from a data offset; returns the bytes it holds.
  int32_t FillCache(int32_t offset);
  // Copies up to count bytes from a data offset; returns the bytes copied.
  int32_t Read(int32_t offset, int32_t count, uint8_t* destination);
  // True when `path` names the open recording, by whatever spelling or link.
  bool IsSameFile(const std::filesystem::path& path) const;
  // Why Open failed, or ReadFailed once any read inside the data came back short.
  TAnalogError GetError() const { return Error; }

  static constexpr uint32_t kDefaultCacheSize = 1048576;

 private:
  bool LocateData(int64_t fileSize);
  bool ReadAt(int64_t position, uint8_t* destination, size_t count, size_t& done);
  int32_t CopyFromCache(int32_t offset, int32_t count, uint8_t* destination) const;

  int Fd = -1;
  int32_t DataOffset = 0;
  int32_t DataSize = 0;
  std::unique_ptr<uint8_t[]> Cache;
  uint32_t CacheSize = 0;
  int32_t CachePos = 0;
  int32_t CacheFill = 0;
  TAnalogError Error = TAnalogError::None;
};
