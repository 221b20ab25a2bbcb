#include "app/Krfastiniwriter.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <utility>

#include "sector/Trim.h"

namespace {

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Written, flushed to the disk and renamed over the old file, so a crash or a full disk
// leaves either the old file or the new one, never half of one.
bool ReplaceFile(const std::string& fileName, const std::string& data) {
  std::string temporary = fileName + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return false;
  const bool written = WriteAll(fd, data) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (written && closed && ::rename(temporary.c_str(), fileName.c_str()) == 0) return true;
  ::unlink(temporary.c_str());
  return false;
}

}  // namespace

TKrFastIniWriter::TKrFastIniWriter(std::string fileName) : FileName(std::move(fileName)) {}

bool TKrFastIniWriter::AddSection(std::string_view name) {
  Lines.emplace_back();
  Lines.push_back("[" + std::string(name) + "]");
  return true;
}

bool TKrFastIniWriter::WriteString(std::string_view key, std::string_view value) {
  value = Trim(value);
  if (value.find_first_of("\r\n") != std::string_view::npos) value = {};
  Lines.push_back(std::string(key) + "=" + std::string(value));
  return true;
}

bool TKrFastIniWriter::WriteInteger(std::string_view key, int64_t value) {
  Lines.push_back(std::string(key) + "=" + std::to_string(value));
  return true;
}

bool TKrFastIniWriter::WriteBool(std::string_view key, bool value) {
  Lines.push_back(std::string(key) + (value ? "=1" : "=0"));
  return true;
}

bool TKrFastIniWriter::UpdateFile() {
  if (FileName.empty()) return false;
  try {
    std::string data;
    for (const std::string& line : Lines) data += line + "\r\n";
    return ReplaceFile(FileName, data);
  } catch (...) {
    return false;
  }
}
