#include "audio/Analogimage.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "sector/Datasector.h"
#include "sector/Scramble.h"

namespace {

constexpr int32_t kSector = static_cast<int32_t>(kRawSectorSize);
// Bytes searched a step; the sync may straddle two steps, so each step overlaps the last.
constexpr int32_t kSearchStep = 65536;

void DescrambleSector(uint8_t* sector) { Descramble(sector, 0, kRawSectorSize); }

class TImageFile {
 public:
  ~TImageFile() {
    if (Fd >= 0) ::close(Fd);
  }
  bool Create(const std::filesystem::path& path) {
    Fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return Fd >= 0;
  }
  bool Write(const uint8_t* bytes, size_t length) {
    while (length > 0) {
      const ssize_t done = ::write(Fd, bytes, length);
      if (done < 0 && errno == EINTR) continue;
      if (done <= 0) return false;
      bytes += done;
      length -= static_cast<size_t>(done);
    }
    return true;
  }
  // A failing close can be the first sign of a full disk.
  bool Close() {
    const int rc = ::close(Fd);
    Fd = -1;
    return rc == 0;
  }

 private:
  int Fd = -1;
};

enum class TForced : uint8_t { Off, Descramble, AsRead };

struct TStart {
  TImageOutcome Refusal = TImageOutcome::Written;  // anything else: no image
  int32_t Offset = 0;
  TForced Forced = TForced::Off;
};

bool IsSectorStart(const TAnalogFile& file, int32_t offset) {
  return offset >= 0 && offset <= file.GetDataSize() - kSector;
}

TStart ChooseStart(TAnalogFile& file, IAnalogSyncDecider& decider) {
  TStart start;
  int32_t offset = 0;
  const int32_t found = SearchSync(file, 0);
  if (found < 0) {
    if (decider.NoSync(offset) != TNoSyncChoice::Specify) return {TImageOutcome::Cancelled};
    start = {TImageOutcome::Written, offset, TForced::Descramble};
  } else {
    offset = found;
    const TSyncFoundChoice choice = decider.SyncFound(found, offset);
    if (choice != TSyncFoundChoice::Continue && choice != TSyncFoundChoice::Specify)
      return {TImageOutcome::Cancelled};
    start.Offset = choice == TSyncFoundChoice::Specify ? offset : found;
  }
  // An offset past the last whole sector would make an empty image that looks written.
  if (!IsSectorStart(file, start.Offset)) start.Refusal = TImageOutcome::BadOffset;
  return start;
}

class TImager {
 public:
  TImager(TAnalogFile& file, IAnalogSyncDecider& decider, TImageFile& out, TImageResult& result)
      : File(file), Decider(decider), Out(out), Result(result), Sector(kRawSectorSize) {}

  TImageOutcome Run(int32_t cur, TForced forced) {
    Forced = forced;
    while (IsSectorStart(File, cur)) {
      if (!ReadSector(cur)) return TImageOutcome::ReadFailed;
      if (HasSyncPattern(Sector.data())) {
        DescrambleSector(Sector.data());
        Forced = TForced::Off;
      } else if (Forced != TForced::Off) {
        ApplyForced();
      } else if (!AskLost(cur)) {
        break;
      }
      if (!Out.Write(Sector.data(), Sector.size())) return TImageOutcome::WriteFailed;
      ++Result.Sectors;
      cur += kSector;
    }
    return File.GetError() == TAnalogError::ReadFailed ? TImageOutcome::ReadFailed : TImageOutcome::Written;
  }

 private:
  bool ReadSector(int32_t offset) { return File.Read(offset, kSector, Sector.data()) == kSector; }

  void ApplyForced() {
    if (Forced == TForced::Descramble) {
      DescrambleSector(Sector.data());
      ++Result.Forced;
    } else {
      ++Result.AsRead;
    }
  }

  // The sector at cur has no sync and no forced mode is on. Returns false to stop;
  // may move cur to where the user or the search chose and reload the sector.
  bool AskLost(int32_t& cur) {
    int32_t offset = cur;
    switch (Decider.SyncLost(cur, offset)) {
      case TSyncLostChoice::Descramble:
        Forced = TForced::Descramble;
        ApplyForced();
        return true;
      case TSyncLostChoice::NoScramble:
        Forced = TForced::AsRead;
        ApplyForced();
        return true;
      case TSyncLostChoice::Search:
        return Resync(cur);
      case TSyncLostChoice::Specify:
        return JumpTo(cur, offset);
      default:
        return false;
    }
  }

  // A recording that dropped or gained a few bytes has its next sync just before or
  // after cur: search from just after the last sector's start, so that the sector
  // following a damaged one keeps its place in the image. Without a sync ahead the
  // sector is kept as read and the question comes again at the next one.
  bool Resync(int32_t& cur) {
    const int32_t found = SearchSync(File, std::max(0, cur - kSector + 1));
    if (!IsSectorStart(File, found)) {
      ++Result.AsRead;
      return true;
    }
    return JumpTo(cur, found);
  }

  bool JumpTo(int32_t& cur, int32_t offset) {
    if (!IsSectorStart(File, offset) || !ReadSector(offset)) return false;
    cur = offset;
    if (!HasSyncPattern(Sector.data())) ++Result.Forced;
    DescrambleSector(Sector.data());
    return true;
  }

  TAnalogFile& File;
  IAnalogSyncDecider& Decider;
  TImageFile& Out;
  TImageResult& Result;
  std::vector<uint8_t> Sector;
  TForced Forced = TForced::Off;
};

}  // namespace

int32_t SearchSync(TAnalogFile& file, int32_t start) {
  const int32_t size = file.GetDataSize();
  if (start < 0) start = 0;
  std::vector<uint8_t> block(kSearchStep);
  for (int32_t at = start; at <= size - static_cast<int32_t>(kSyncSize);) {
    const int32_t got = file.Read(at, kSearchStep, block.data());
    const int32_t found = FindSync(block.data(), got);
    if (found >= 0) return at + found;
    if (got < kSearchStep) break;
    at += kSearchStep - static_cast<int32_t>(kSyncSize) + 1;
  }
  return -1;
}

TImageResult MakeImage(TAnalogFile& file, const std::filesystem::path& image, IAnalogSyncDecider& decider) {
  TImageResult result;
  const TStart start = ChooseStart(file, decider);
  if (start.Refusal != TImageOutcome::Written) {
    result.Outcome = start.Refusal;
    return result;
  }
  // Creating the image truncates it: it must not be the recording under another name.
  if (file.IsSameFile(image)) {
    result.Outcome = TImageOutcome::SameFile;
    return result;
  }
  TImageFile out;
  if (!out.Create(image)) {
    result.Outcome = TImageOutcome::CannotCreate;
    return result;
  }
  result.Outcome = TImager(file, decider, out, result).Run(start.Offset, start.Forced);
  if (!out.Close() && result.Outcome == TImageOutcome::Written) result.Outcome = TImageOutcome::WriteFailed;
  return result;
}
