#include "audio/Riplog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>

#include "platform/Folders.h"

namespace fs = std::filesystem;

namespace {
constexpr const char* kLogName = "rip_log.txt";
}

fs::path TRipLog::DefaultPath() {
  const fs::path beside = platform::ProgramFolder();
  if (platform::IsWritableFolder(beside)) return beside / kLogName;
  return platform::SettingsFolder() / kLogName;
}

bool TRipLog::Write(std::string_view text) noexcept {
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (Started ? O_APPEND : O_TRUNC);
  const int fd = ::open(File.c_str(), flags, 0666);
  if (fd < 0) return false;
  Started = true;
  const char* p = text.data();
  size_t left = text.size();
  bool ok = true;
  while (left > 0) {
    const ssize_t done = ::write(fd, p, left);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      ok = false;
      break;
    }
    p += done;
    left -= static_cast<size_t>(done);
  }
  return ::close(fd) == 0 && ok;
}

std::string ByteToStr(uint8_t value) { return std::to_string(value); }

std::string DecimalText(int64_t value) { return std::to_string(value); }

std::string HexText(uint64_t value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*" PRIX64, digits, value);
  return text;
}

std::string Low32Text(int64_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6d", static_cast<int32_t>(static_cast<uint32_t>(value)));
  return text;
}
