#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include "platform/OutputFile.h"
#include "recovery/Iso9660util.h"
#include "recovery/Isoextracter.h"
#include "recovery/IsoextracterInternal.h"
#include "recovery/Outputname.h"

using namespace iso_internal;

namespace {

// The names a found directory's entries take in its folder; numbered on a clash.
class TLeafNames {
 public:
  std::string Take(const std::string& decoded) {
    const std::string leaf = SafeLeafName(decoded);
    std::string name = leaf;
    for (unsigned n = 2; !Used.insert(name).second; ++n) name = platform::NumberedName(leaf, n);
    return name;
  }

 private:
  std::set<std::string> Used;
};

// An entry's name as the directory records it: UCS-2 or 8-bit, version cut.
std::string EntryName(const uint8_t* record, bool ucs2) {
  const std::span<const uint8_t> raw(record + 33, record[32]);
  std::string name = ucs2 && raw.size() % 2 == 0 ? Ucs2BeToUtf8(raw) : NarrowNameToUtf8(raw);
  name.resize(std::min(name.size(), name.find('\0')));
  StripVersion(name);
  return name;
}

enum class TFolder { Made, TooLong, Failed };

TFolder MakeFolder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec == std::errc::filename_too_long) return TFolder::TooLong;
  return std::filesystem::is_directory(folder, ec) ? TFolder::Made : TFolder::Failed;
}

// An 8-bit name and a Joliet name of one file: alike but for case and the dot an 8-bit
// name without extension keeps.
bool SameSpelling(std::string a, std::string b) {
  for (std::string* s : {&a, &b}) {
    if (!s->empty() && s->back() == '.') s->pop_back();
    for (char& c : *s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return a == b;
}

const char* const kTooDeep = "A path of the disc is too long for this system; its entries are left out";

}  // namespace

bool TIsoExtracter::ExtractDirectory(const uint8_t* image, uint32_t size, TExtractedFile& parent,
                                     const std::string& folder, uint32_t unit) {
  if (!ListOnly) {
    // A path that a hostile disc nests past the system's limit loses that subtree only.
    const TFolder made = MakeFolder(folder);
    if (made == TFolder::TooLong) Report(pcSetText, 0, kTooDeep);
    if (made == TFolder::Failed) OutputFailed();
    if (made != TFolder::Made) return false;
  }
  if (image == nullptr || unit == 0 || size <= kRecordFixedBytes || image[0] <= kRecordFixedBytes) return false;
  const bool ucs2 = IsUcs2Directory(image, size, unit);
  TLeafNames names;
  size_t pos = 0;
  while (pos < size) {
    if (!Head.KeepGoing()) return false;
    const uint8_t* r = image + pos;
    // A damaged record loses only itself: the walk goes on at the next sector.
    if (r[0] == 0 || !IsWholeRecord(image, pos, size)) {
      pos = NextUnit(pos, unit);
      continue;
    }
    const uint64_t at = RecordAt(pos, unit);
    pos += r[0];
    if (IsSelfOrParent(r)) continue;
    const uint32_t extent = LittleEndian ? BothEndian32Lsb(r + 2) : BothEndian32Msb(r + 2);
    const int64_t start = extent + int64_t{kFirstLba};
    if (start < TrackStart || start >= TrackEnd) continue;
    const std::string name = EntryName(r, ucs2);
    if ((r[25] & 2) != 0)
      FoundSubdirectory(r, names.Take(name), parent, folder, unit);
    else
      FoundFile(r, at, name, ucs2, names.Take(name), parent, folder);
    if (!Head.KeepGoing()) return false;
  }
  return true;
}

TExtractedFile TIsoExtracter::FoundNode(const uint8_t* record, const std::string& leaf) const {
  TExtractedFile node;
  node.Kind = 1;
  node.DirRecord.Assign(record, record[0]);
  node.Start = node.DirRecord.GetExtent(LittleEndian) + int64_t{kFirstLba};
  node.Size = node.DirRecord.GetDataLength(LittleEndian);
  node.Name = leaf;
  node.SectorMode = static_cast<uint8_t>(SectorMode);
  node.TrackEnd = TrackEnd;
  return node;
}

void TIsoExtracter::FoundSubdirectory(const uint8_t* record, const std::string& leaf, TExtractedFile& parent,
                                      const std::string& folder, uint32_t unit) {
  TExtractedFile node = FoundNode(record, leaf);
  const uint32_t extent = node.DirRecord.GetExtent(LittleEndian);
  // A directory naming itself or one it lies in is a loop; a tree this deep is damage.
  if (DirectoryPath.size() >= kMaxDirectoryDepth ||
      std::find(DirectoryPath.begin(), DirectoryPath.end(), extent) != DirectoryPath.end())
    return;
  Report(pcSetText, 0, "Extracting " + leaf + "(Directory)...");
  std::vector<uint8_t> image;
  uint32_t lost = 0;
  if (!ReadDirectoryImage(extent, node.Size, image, /*mark=*/true, lost)) return;
  HeldDirectoryBytes += image.size();
  const ScopeExit release([this, held = image.size()] { HeldDirectoryBytes -= held; });
  DirectoryPath.push_back(extent);
  const int64_t outer = std::exchange(ListingStart, node.Start);
  ExtractDirectory(image.data(), static_cast<uint32_t>(image.size()), node, folder + "/" + leaf, unit);
  ListingStart = outer;
  DirectoryPath.pop_back();
  parent.Children.push_back(std::move(node));
}

uint64_t TIsoExtracter::RecordAt(size_t pos, uint32_t unit) const {
  return static_cast<uint64_t>(ListingStart + static_cast<int64_t>(pos / unit)) * unit + pos % unit + 1;
}

void TIsoExtracter::FoundFile(const uint8_t* record, uint64_t at, const std::string& name, bool ucs2,
                              const std::string& leaf, TExtractedFile& parent, const std::string& folder) {
  TExtractedFile node = FoundNode(record, leaf);
  const uint32_t extent = node.DirRecord.GetExtent(LittleEndian);
  if (FindReadedFile(extent, node.Size, name, ucs2, at, folder + "/" + leaf)) return;
  Report(pcSetText, 0, "Extracting " + name + " (File, " + FormatByteSize(node.Size) + ")...");
  if (ListOnly) {
    CopySectors(node.Start, node.Size, nullptr);
  } else {
    platform::OutputFile out;
    std::string chosen;
    if (!out.CreateUnique(folder, leaf, chosen))
      return out.Error() == ENAMETOOLONG ? static_cast<void>(Report(pcSetText, 0, kTooDeep)) : OutputFailed();
    node.Name = chosen;
    const bool whole = CopySectors(node.Start, node.Size, &out);
    if (!out.Close()) return OutputFailed();
    timespec time;
    if (whole) platform::SetFileTimes(out.Path(), RecordedTime(node.DirRecord, time));
  }
  if (!Head.KeepGoing()) return;
  ReadedFiles.push_back({extent, node.Size, name, ucs2, folder + "/" + node.Name, ""});
  ReadedFiles.back().ListedAt[ucs2] = at;
  node.ReadedIndex = static_cast<int>(ReadedFiles.size());
  parent.Children.push_back(std::move(node));
}

bool TIsoExtracter::CopySectors(int64_t start, uint64_t bytes, platform::OutputFile* out) {
  const uint64_t wanted = (bytes + UserSize - 1) / UserSize;
  const uint64_t sectors = SectorsInTrack(start, bytes);
  uint64_t left = bytes;
  bool whole = true;
  for (uint64_t j = 0; j < sectors; ++j) {
    const int64_t address = start + static_cast<int64_t>(j);
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(left, UserSize));
    if (out != nullptr) {
      const bool read = ReadUserData(address);
      if (!out->Write(UserData(), n)) {
        OutputFailed();
        return false;
      }
      Mark(address, read);
      whole = whole && read;
    } else {
      Mark(address, true);
    }
    left -= n;
    Report(pcStepIt);
    if (!Head.KeepGoing()) return false;
  }
  if (sectors < wanted) {
    Report(pcSetText, 0, "A file runs past the end of the track; its copy ends there");
    return false;
  }
  return whole;
}

bool TIsoExtracter::FindReadedFile(uint32_t extent, uint32_t length, const std::string& name, bool ucs2,
                                   uint64_t record, const std::string& path) {
  TReadedFile* twin = nullptr;
  for (TReadedFile& f : ReadedFiles) {
    if (f.Extent != extent || f.DataLength != length) continue;
    if (f.ListedAt[ucs2] == record) {
      if (f.FoundPath.empty()) f.FoundPath = path;
      return true;
    }
    // Of several names sharing the extent, the one the other tree spells alike is this
    // file's own listing there (empty files of one extent may differ in time).
    if (f.ListedAt[ucs2] == 0 && (twin == nullptr || (!SameSpelling(twin->Name, name) && SameSpelling(f.Name, name))))
      twin = &f;
  }
  if (twin == nullptr) return false;
  twin->ListedAt[ucs2] = record;
  if (twin->FoundPath.empty()) twin->FoundPath = path;
  // The Joliet name is the one the disc's author gave: a file written under its 8-bit
  // name moves there (never over another file), also when its 8-bit directory was found
  // twice.
  const size_t slash = path.rfind('/');
  std::string chosen;
  if (ucs2 && !twin->Ucs2 && !ListOnly && slash != std::string::npos &&
      platform::RenameUnique(twin->Path, path.substr(0, slash), path.substr(slash + 1), chosen))
    twin->FoundPath = path.substr(0, slash + 1) + chosen;
  return true;
}

bool TIsoExtracter::ApplyFoundPaths(TExtractedFile& entry) {
  ApplyFoundPathsFrom(entry, 0);
  return true;
}

// Only the children from `first` on: earlier ones belong to earlier scans, whose written
// files list is gone.
void TIsoExtracter::ApplyFoundPathsFrom(TExtractedFile& entry, size_t first) {
  for (size_t k = first; k < entry.Children.size(); ++k) {
    TExtractedFile& child = entry.Children[k];
    if (child.Kind != 1) continue;
    if (child.ReadedIndex > 0 && static_cast<size_t>(child.ReadedIndex) <= ReadedFiles.size()) {
      const std::string& found = ReadedFiles[child.ReadedIndex - 1].FoundPath;
      if (!found.empty()) child.FoundPath = found;
    }
    ApplyFoundPathsFrom(child, 0);
  }
}
