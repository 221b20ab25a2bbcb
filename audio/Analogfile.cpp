#include "audio/Analogfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "sector/Bytes.h"

namespace {

constexpr int64_t kMaxRecording = std::numeric_limits<int32_t>::max();
constexpr int64_t kRiffHeaderSize = 12;
constexpr int64_t kChunkHeaderSize = 8;

}  // namespace

TAnalogFile::TAnalogFile() { SetCacheSize(kDefaultCacheSize); }

TAnalogFile::~TAnalogFile() { Close(); }

bool TAnalogFile::SetCacheSize(uint32_t bytes) {
  Cache.reset();
  CacheSize = 0;
  CachePos = 0;
  CacheFill = 0;
  if (bytes == 0) return false;
  Cache.reset(new (std::nothrow) uint8_t[bytes]);
  if (!Cache) return false;
  CacheSize = bytes;
  return true;
}

bool TAnalogFile::Open(const std::filesystem::path& path) {
  Close();
  // Non-blocking so that a named pipe cannot hang the open; only a regular file is read.
  Fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat st {};
  if (Fd < 0 || ::fstat(Fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    Close();
    Error = TAnalogError::CannotOpen;
    return false;
  }
  if (st.st_size > kMaxRecording) {
    Close();
    Error = TAnalogError::TooLarge;
    return false;
  }
  DataSize = static_cast<int32_t>(st.st_size);
  if (!LocateData(st.st_size)) {
    Close();
    Error = TAnalogError::CannotOpen;
    return false;
  }
  return true;
}

// Walks the chunks of a RIFF/WAVE file to "data". Every length is clamped to the file,
// so a streaming writer's 0xFFFFFFFF or a chunk reaching past the end cannot wrap an
// offset; a walk that runs out of file leaves the whole file as the data.
bool TAnalogFile::LocateData(int64_t fileSize) {
  if (fileSize <= 43) return true;
  uint8_t header[kRiffHeaderSize];
  size_t done = 0;
  if (!ReadAt(0, header, sizeof header, done) || done != sizeof header) return false;
  if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0) return true;
  const int64_t remain = std::min<int64_t>(int64_t{GetLe32(header + 4)} - 4, fileSize - kRiffHeaderSize);
  for (int64_t pos = 0; pos < remain - kChunkHeaderSize;) {
    uint8_t chunk[kChunkHeaderSize];
    if (!ReadAt(kRiffHeaderSize + pos, chunk, sizeof chunk, done) || done != sizeof chunk) return false;
    int64_t length = GetLe32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) {
      DataOffset = static_cast<int32_t>(pos + kRiffHeaderSize + kChunkHeaderSize);
      DataSize = static_cast<int32_t>(std::min<int64_t>(length, fileSize - DataOffset));
      return true;
    }
    if (length & 1) ++length;
    pos += length + kChunkHeaderSize;
  }
  return true;
}

bool TAnalogFile::IsSameFile(const std::filesystem::path& path) const {
  struct stat open {}, named {};
  if (Fd < 0 || ::fstat(Fd, &open) != 0 || ::stat(path.c_str(), &named) != 0) return false;
  return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

void TAnalogFile::Close() {
  if (Fd >= 0) ::close(Fd);
  Fd = -1;
  DataOffset = 0;
  DataSize = 0;
  CachePos = 0;
  CacheFill = 0;
  Error = TAnalogError::None;
}

bool TAnalogFile::ReadAt(int64_t position, uint8_t* destination, size_t count, size_t& done) {
  done = 0;
  while (done < count) {
    const ssize_t got = ::pread(Fd, destination + done, count - done, static_cast<off_t>(position + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return true;
}

int32_t TAnalogFile::FillCache(int32_t offset) {
  if (Fd < 0 || !Cache || offset < 0 || offset >= DataSize) return 0;
  const int64_t remaining = int64_t{DataSize} - offset;
  const size_t want = static_cast<size_t>(std::min<int64_t>(remaining, CacheSize));
  size_t done = 0;
  // A short read inside the data is a fault of the file or the disk, not an end:
  // its bytes stay zero and the caller learns of it through GetError.
  if (!ReadAt(int64_t{DataOffset} + offset, Cache.get(), want, done) || done != want)
    Error = TAnalogError::ReadFailed;
  std::memset(Cache.get() + done, 0, CacheSize - done);
  CachePos = offset;
  CacheFill = static_cast<int32_t>(done);
  return CacheFill;
}

int32_t TAnalogFile::CopyFromCache(int32_t offset, int32_t count, uint8_t* destination) const {
  if (CacheFill == 0 || offset < CachePos || offset >= CachePos + CacheFill) return 0;
  const int32_t n = std::min(count, CachePos + CacheFill - offset);
  std::memcpy(destination, Cache.get() + (offset - CachePos), static_cast<size_t>(n));
  return n;
}

int32_t TAnalogFile::Read(int32_t offset, int32_t count, uint8_t* destination) {
  if (Fd < 0 || !Cache || offset < 0 || count <= 0 || offset >= DataSize) return 0;
  count = static_cast<int32_t>(std::min<int64_t>(count, int64_t{DataSize} - offset));
  int32_t copied = 0;
  while (copied < count) {
    int32_t n = CopyFromCache(offset + copied, count - copied, destination + copied);
    if (n == 0) {
      if (FillCache(offset + copied) == 0) break;
      n = CopyFromCache(offset + copied, count - copied, destination + copied);
      if (n == 0) break;
    }
    copied += n;
  }
  return copied;
}
