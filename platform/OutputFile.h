#pragma once
// Output files of the extracter: a file is only ever created, never replaces one that
// exists, and every write, the close and the rename are checked.
#include <ctime>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates `path`; false when it exists or cannot be made.
  bool Create(const std::string& path);
  // Creates `name` in `folder`, or the first free "stem~N.ext" when that name is taken;
  // `chosen` receives the leaf name used.
  bool CreateUnique(const std::string& folder, const std::string& name, std::string& chosen);
  // All of the bytes or false (a full disk, an I/O error, no open file).
  bool Write(const void* data, size_t size);
  bool Close();
  bool IsOpen() const { return Fd >= 0; }
  uint64_t Size() const { return Written; }
  const std::string& Path() const { return FilePath; }
  // errno of the last failure; 0 when nothing failed.
  int Error() const { return LastError; }

 private:
  int Fd = -1;
  uint64_t Written = 0;
  int LastError = 0;
  std::string FilePath;
};

// Renames without ever replacing the target (a hard link and unlink where the file
// system cannot rename that way). False when the target exists or the rename fails.
bool RenameNoReplace(const std::string& from, const std::string& to);

// Renames `from` to `name` in `folder`, or to the first free "stem~N.ext"; `chosen`
// receives the leaf name used.
bool RenameUnique(const std::string& from, const std::string& folder, const std::string& name, std::string& chosen);

// Sets the last-access and last-write time of a file; a null time leaves them as they are.
bool SetFileTimes(const std::string& path, const timespec* time);

// How a taken leaf name is numbered: the mark between its stem and the number, the
// number's least digits (zero-padded) and the first number tried. By default the second
// file of a name gets "stem~2.ext".
struct TNumbering {
  char Mark = '~';
  int Digits = 1;
  unsigned First = 2;
};

// "stem~N.ext" of a leaf name, or the number as `numbering` writes it.
std::string NumberedName(const std::string& name, unsigned n, const TNumbering& numbering = {});

// `name` when `taken` says it is free, else its first numbered form that is; empty when
// none is. `taken` may claim the name as it asks (create the file) and say whether that
// failed because the name was taken.
std::string FreeName(const std::string& name, const std::function<bool(const std::string&)>& taken,
                     const TNumbering& numbering = {});

// The path in `folder` of the first free form of `leaf`: nothing of that name exists, not
// even a dangling link.
std::string FreePath(const std::string& folder, const std::string& leaf, const TNumbering& numbering = {});

}  // namespace platform
