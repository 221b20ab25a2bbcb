#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

#include "emulator/ImageSet.h"
#include "sector/Datasector.h"

namespace emu {

namespace {


class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : Fd(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (Fd >= 0) ::close(Fd);
  }
  int Get() const { return Fd; }

 private:
  int Fd;
};

std::string SystemError(const std::filesystem::path& path, const char* what) {
  return path.string() + ": " + what + ": " + std::strerror(errno);
}

}  // namespace

MappedSectorStore::Mapping::Mapping(Mapping&& other) noexcept
    : Data(std::exchange(other.Data, nullptr)), Size(std::exchange(other.Size, 0)) {}

MappedSectorStore::Mapping& MappedSectorStore::Mapping::operator=(Mapping&& other) noexcept {
  if (this != &other) {
    if (Data) ::munmap(const_cast<uint8_t*>(Data), Size);
    Data = std::exchange(other.Data, nullptr);
    Size = std::exchange(other.Size, 0);
  }
  return *this;
}

MappedSectorStore::Mapping::~Mapping() {
  if (Data) ::munmap(const_cast<uint8_t*>(Data), Size);
}

bool MappedSectorStore::MapFile(const std::filesystem::path& path, Mapping& mapping, std::string& error) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) {
    error = SystemError(path, "cannot open");
    return false;
  }
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0) {
    error = SystemError(path, "cannot read its size");
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    error = path.string() + ": not a regular file";
    return false;
  }
  mapping = Mapping();
  if (info.st_size == 0) return true;  // nothing to map; mmap refuses length 0
  void* data = ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd.Get(), 0);
  if (data == MAP_FAILED) {
    error = SystemError(path, "cannot map");
    return false;
  }
  mapping = Mapping(static_cast<const uint8_t*>(data), static_cast<size_t>(info.st_size));
  return true;
}

std::shared_ptr<const MappedSectorStore> MappedSectorStore::Open(const std::filesystem::path& imgPath,
                                                                 const std::filesystem::path& subPath,
                                                                 std::string& error) {
  Mapping main;
  if (!MapFile(imgPath, main, error)) return nullptr;
  if (main.Size % kRawSectorSize != 0) {
    error = imgPath.string() + ": size " + std::to_string(main.Size) + " is not a whole number of " +
            std::to_string(kRawSectorSize) + "-byte sectors";
    return nullptr;
  }
  if (main.Size / kRawSectorSize > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    error = imgPath.string() + ": too many sectors";
    return nullptr;
  }
  Mapping sub;
  std::error_code ec;
  if (!subPath.empty() && std::filesystem::exists(subPath, ec)) {
    if (!MapFile(subPath, sub, error)) return nullptr;
  }
  return std::make_shared<const MappedSectorStore>(std::move(main), std::move(sub));
}

MappedSectorStore::MappedSectorStore(Mapping main, Mapping sub) : MainMap(std::move(main)), SubMap(std::move(sub)) {
  Count = static_cast<int32_t>(MainMap.Size / kRawSectorSize);
  // A trailing partial sub-channel block is ignored, and sub-channel beyond the .img is not served.
  SubCount = static_cast<int32_t>(std::min(SubMap.Size / kSubchannelSize, static_cast<size_t>(Count)));
}

const uint8_t* MappedSectorStore::Main(int32_t lba) const {
  if (lba < 0 || lba >= Count) return nullptr;
  return MainMap.Data + static_cast<size_t>(lba) * kRawSectorSize;
}

const uint8_t* MappedSectorStore::Sub(int32_t lba) const {
  if (lba < 0 || lba >= SubCount) return nullptr;
  return SubMap.Data + static_cast<size_t>(lba) * kSubchannelSize;
}

}  // namespace emu
