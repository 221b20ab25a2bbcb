#pragma once
// Pieces the extracter's source files share.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <ctime>
#include <utility>

#include "recovery/Iso9660ex.h"
#include "recovery/Iso9660util.h"
#include "sector/Address.h"

namespace iso_internal {

constexpr size_t kRecordFixedBytes = 33;
constexpr size_t kRootRecordOffset = 156;  // in a volume descriptor
enum : uint8_t { kBootRecord = 0, kPrimary = 1, kSupplementary = 2, kPartition = 3, kTerminator = 255 };

// A directory record at image[pos] that lies wholly inside the image and holds its name.
inline bool IsWholeRecord(const uint8_t* image, size_t pos, size_t size) {
  if (pos + kRecordFixedBytes + 1 > size) return false;
  const size_t length = image[pos];
  const size_t nameLength = image[pos + 32];
  return length > kRecordFixedBytes && nameLength > 0 && pos + length <= size &&
         kRecordFixedBytes + nameLength <= length;
}

// The "." and ".." records: directories with the one-byte name 0 or 1.
inline bool IsSelfOrParent(const uint8_t* record) {
  return IsDirectoryRecord(record) && record[32] == 1 && record[33] <= 1;
}

inline size_t NextUnit(size_t pos, size_t unit) { return (pos / unit + 1) * unit; }

// Cuts a ";N" version: from the end back to position 1, digits go on, ';' cuts.
inline void StripVersion(std::string& name) {
  for (size_t i = name.size(); i-- > 1;) {
    if (name[i] == ';') {
      name.resize(i);
      return;
    }
    if (name[i] < '0' || name[i] > '9') return;
  }
}

// An 8-bit name and a Joliet name of one entry: alike but for case and the dot an 8-bit
// name without extension keeps.
inline bool SameSpelling(std::string a, std::string b) {
  for (std::string* s : {&a, &b}) {
    if (!s->empty() && s->back() == '.') s->pop_back();
    for (char& c : *s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return a == b;
}

inline std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

// The recorded time of an entry as a file time to set; null when the record's date does
// not exist (a zero file time must leave the file's times alone).
inline const timespec* RecordedTime(const TKrDirRecord& record, timespec& storage) {
  FILETIME ft;
  IsoDateToFileTime(record.GetRecordingDate(), ft);
  if (FileTimeToU64(ft) == 0) return nullptr;
  storage = FileTimeToTimespec(ft);
  return &storage;
}

// Runs a clean-up on every way out of a scope.
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : Action(std::move(f)) {}
  ~ScopeExit() {
    try {
      Action();
    } catch (...) {
    }
  }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  F Action;
};

}  // namespace iso_internal
