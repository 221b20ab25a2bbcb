#include "platform/OutputFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <utility>

namespace platform {

namespace {
constexpr unsigned kMaxNumberedNames = 100000;
}

OutputFile::~OutputFile() {
  if (Fd >= 0) ::close(Fd);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : Fd(std::exchange(other.Fd, -1)), Written(other.Written), LastError(other.LastError),
      FilePath(std::move(other.FilePath)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    if (Fd >= 0) ::close(Fd);
    Fd = std::exchange(other.Fd, -1);
    Written = other.Written;
    LastError = other.LastError;
    FilePath = std::move(other.FilePath);
  }
  return *this;
}

bool OutputFile::Create(const std::string& path) {
  if (Fd >= 0) Close();
  Written = 0;
  LastError = 0;
  Fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (Fd < 0) {
    LastError = errno;
    return false;
  }
  FilePath = path;
  return true;
}

bool OutputFile::CreateUnique(const std::string& folder, const std::string& name, std::string& chosen) {
  bool created = false;
  const std::string leaf = FreeName(name, [&](const std::string& candidate) {
    created = Create(folder + "/" + candidate);
    return !created && LastError == EEXIST;
  });
  if (created) chosen = leaf;
  return created;
}

bool OutputFile::Write(const void* data, size_t size) {
  if (Fd < 0) return false;
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::write(Fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      LastError = n < 0 ? errno : ENOSPC;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
    Written += static_cast<uint64_t>(n);
  }
  return true;
}

bool OutputFile::Close() {
  if (Fd < 0) return false;
  const int rc = ::close(std::exchange(Fd, -1));
  if (rc != 0) LastError = errno;
  return rc == 0;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  int rc = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
    rc = ::link(from.c_str(), to.c_str());
    if (rc == 0) ::unlink(from.c_str());
  }
  return rc == 0;
}

bool RenameUnique(const std::string& from, const std::string& folder, const std::string& name, std::string& chosen) {
  bool renamed = false;
  const std::string leaf = FreeName(name, [&](const std::string& candidate) {
    renamed = RenameNoReplace(from, folder + "/" + candidate);
    return !renamed && errno == EEXIST;
  });
  if (renamed) chosen = leaf;
  return renamed;
}

bool SetFileTimes(const std::string& path, const timespec* time) {
  if (time == nullptr) return true;
  const timespec times[2] = {*time, *time};
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

std::string NumberedName(const std::string& name, unsigned n, const TNumbering& numbering) {
  const size_t dot = name.rfind('.');
  const bool hasExtension = dot != std::string::npos && dot != 0;
  const std::string stem = hasExtension ? name.substr(0, dot) : name;
  const std::string extension = hasExtension ? name.substr(dot) : std::string();
  std::string number = std::to_string(n);
  if (number.size() < static_cast<size_t>(numbering.Digits))
    number.insert(0, static_cast<size_t>(numbering.Digits) - number.size(), '0');
  return stem + numbering.Mark + number + extension;
}

std::string FreeName(const std::string& name, const std::function<bool(const std::string&)>& taken,
                     const TNumbering& numbering) {
  if (!taken(name)) return name;
  for (unsigned n = numbering.First; n < numbering.First + kMaxNumberedNames; ++n) {
    std::string numbered = NumberedName(name, n, numbering);
    if (!taken(numbered)) return numbered;
  }
  return {};
}

std::string FreePath(const std::string& folder, const std::string& leaf, const TNumbering& numbering) {
  const auto path = [&folder](const std::string& name) { return (std::filesystem::path(folder) / name).string(); };
  const std::string free = FreeName(
      leaf,
      [&path](const std::string& name) {
        std::error_code ec;
        return std::filesystem::exists(std::filesystem::symlink_status(path(name), ec));
      },
      numbering);
  return free.empty() ? std::string() : path(free);
}

}  // namespace platform
