#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "emulator/ImageSetInternal.h"

namespace emu::imageset {

namespace {

constexpr std::uintmax_t kMaxTextFileBytes = 16u << 20;

std::string SystemError(const std::filesystem::path& path, const char* what) {
  return path.string() + ": " + what + ": " + std::strerror(errno);
}

}  // namespace

bool ReadTextFile(const std::filesystem::path& path, std::string& text, std::string& error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    error = path.string() + ": missing or not a regular file";
    return false;
  }
  std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) {
    error = path.string() + ": " + ec.message();
    return false;
  }
  if (size > kMaxTextFileBytes) {
    error = path.string() + ": too large for a control file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = SystemError(path, "cannot open");
    return false;
  }
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) {
    error = SystemError(path, "cannot read");
    return false;
  }
  text = std::move(content).str();
  return true;
}

AtomicFile::AtomicFile(std::filesystem::path target) : Target(std::move(target)) {}

AtomicFile::~AtomicFile() {
  if (Fd >= 0) ::close(Fd);
  if (!Temporary.empty()) ::unlink(Temporary.c_str());
}

bool AtomicFile::Open(std::string& error) {
  // O_EXCL with a random suffix, so the new file gets the usual permissions (umask).
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".tmp%08x%08x", random(), random());
    std::filesystem::path candidate = Target.string() + suffix;
    Fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (Fd >= 0) {
      Temporary = std::move(candidate);
      return true;
    }
    if (errno != EEXIST) break;
  }
  error = SystemError(Target, "cannot create a temporary file beside it");
  return false;
}

bool AtomicFile::Write(const void* data, size_t size, std::string& error) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t written = ::write(Fd, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      error = SystemError(Target, "cannot write");
      return false;
    }
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool AtomicFile::Commit(std::string& error) {
  if (::fsync(Fd) != 0) {
    error = SystemError(Target, "cannot flush");
    return false;
  }
  int fd = Fd;
  Fd = -1;
  if (::close(fd) != 0) {
    error = SystemError(Target, "cannot close");
    return false;
  }
  if (::rename(Temporary.c_str(), Target.c_str()) != 0) {
    error = SystemError(Target, "cannot replace");
    return false;
  }
  Temporary.clear();
  return true;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content, std::string& error) {
  AtomicFile file(path);
  return file.Open(error) && file.Write(content.data(), content.size(), error) && file.Commit(error);
}

}  // namespace emu::imageset
