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

const char* const kTooDeep = "A path of the disc is too long for this system; its entries are left out";
// Subdirectories looked at, at most, for the name encoding of a listing that does not tell.
constexpr size_t kMaxLookDown = 32;

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
  ListedFolders.insert(folder);
  // A listing whose first sector is lost may still hold readable ones.
  if (image == nullptr || unit == 0 || size <= kRecordFixedBytes) return false;
  const bool ucs2 = ListingIsUcs2(image, size, unit);
  std::set<std::string> names;
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
    const uint32_t extent = ExtentOf(r);
    const int64_t start = extent + kLbaOffset;
    if (start < TrackStart || start >= TrackEnd) continue;
    const std::string name = EntryName(r, ucs2);
    if (IsDirectoryRecord(r))
      FoundSubdirectory(r, UniqueLeafName(name, names), ucs2, parent, folder, unit);
    else
      FoundFile(r, at, name, ucs2, UniqueLeafName(name, names), parent, folder);
    if (!Head.KeepGoing()) return false;
  }
  return true;
}

// The bytes of the names first, then the tree the listing belongs to, then the listings
// below it; where nothing tells, the zero bytes of UCS-2 names decide.
bool TIsoExtracter::ListingIsUcs2(const uint8_t* image, uint32_t size, uint32_t unit) {
  TNameCode code = NameCodeOf(image, size, unit);
  if (code == TNameCode::Unknown) code = ListingCode;
  if (code == TNameCode::Unknown) code = SubdirectoryCode(image, size, unit);
  if (code == TNameCode::Unknown) return IsUcs2Directory(image, size, unit);
  return code == TNameCode::Ucs2;
}

std::vector<uint32_t> TIsoExtracter::SubdirectoryExtents(const uint8_t* image, size_t size, size_t unit) const {
  std::vector<uint32_t> extents;
  for (size_t pos = 0; pos < size;) {
    if (image[pos] == 0 || !IsWholeRecord(image, pos, size)) {
      pos = NextUnit(pos, unit);
      continue;
    }
    const uint8_t* r = image + pos;
    if (IsDirectoryRecord(r) && !IsSelfOrParent(r)) extents.push_back(ExtentOf(r));
    pos += r[0];
  }
  return extents;
}

// The first listing below, breadth first, whose own bytes tell its encoding: one tree
// holds one encoding.
TNameCode TIsoExtracter::SubdirectoryCode(const uint8_t* image, uint32_t size, uint32_t unit) {
  std::vector<uint32_t> queue = SubdirectoryExtents(image, size, unit);
  std::set<uint32_t> seen;
  for (size_t k = 0; k < queue.size() && seen.size() < kMaxLookDown; ++k) {
    const int64_t address = queue[k] + kLbaOffset;
    if (!seen.insert(queue[k]).second || address < TrackStart || address >= TrackEnd) continue;
    if (AddressMap.GetStatus(address) == TAddressManager::kFailed || !ReadUserData(address)) continue;
    if (!IsListingSector(UserData(), queue[k])) continue;
    const TNameCode code = NameCodeOf(UserData(), UserSize, UserSize);
    if (code != TNameCode::Unknown) return code;
    const std::vector<uint32_t> below = SubdirectoryExtents(UserData(), UserSize, UserSize);
    queue.insert(queue.end(), below.begin(), below.end());
  }
  return TNameCode::Unknown;
}

TExtractedFile TIsoExtracter::FoundNode(const uint8_t* record, const std::string& leaf) const {
  TExtractedFile node;
  node.Kind = nkFound;
  node.DirRecord.Assign(record, record[0]);
  node.Start = node.DirRecord.GetExtent(LittleEndian) + kLbaOffset;
  node.Size = node.DirRecord.GetDataLength(LittleEndian);
  node.Name = leaf;
  node.SectorMode = static_cast<uint8_t>(SectorMode);
  node.TrackEnd = TrackEnd;
  return node;
}

// A subdirectory keeps its node and folder also when it is empty or cannot be read.
void TIsoExtracter::FoundSubdirectory(const uint8_t* record, const std::string& leaf, bool ucs2,
                                      TExtractedFile& parent, const std::string& folder, uint32_t unit) {
  TExtractedFile node = FoundNode(record, leaf);
  const uint32_t extent = node.DirRecord.GetExtent(LittleEndian);
  // A directory naming itself or one it lies in is a loop; a tree this deep is damage.
  if (DirectoryPath.size() >= kMaxDirectoryDepth ||
      std::find(DirectoryPath.begin(), DirectoryPath.end(), extent) != DirectoryPath.end())
    return;
  if (AdoptFoundDirectory(node.Start, leaf, parent, folder)) return;
  Report(pcSetText, 0, "Extracting " + leaf + "(Directory)...");
  std::vector<uint8_t> image;
  uint32_t lost = 0;
  ReadDirectoryImage(extent, node.Size, image, /*mark=*/true, lost);
  if (!Head.KeepGoing()) return;
  node.UnreadSectors = lost;
  Damage.DirectorySectors += lost;
  HeldDirectoryBytes += image.size();
  const ScopeExit release([this, held = image.size()] { HeldDirectoryBytes -= held; });
  DirectoryPath.push_back(extent);
  const int64_t outer = std::exchange(ListingStart, node.Start);
  // The subdirectory belongs to its parent's tree, and so to its encoding.
  const TNameCode outerCode = std::exchange(ListingCode, ucs2 ? TNameCode::Ucs2 : TNameCode::Narrow);
  ExtractDirectory(image.data(), static_cast<uint32_t>(image.size()), node, folder + "/" + leaf, unit);
  ListingCode = outerCode;
  ListingStart = outer;
  DirectoryPath.pop_back();
  parent.Children.push_back(std::move(node));
}

// A directory the scan found before the listing that names it, in a folder of its own,
// moves under that listing.
bool TIsoExtracter::AdoptFoundDirectory(int64_t start, const std::string& leaf, TExtractedFile& parent,
                                        const std::string& folder) {
  if (!FoundFolders.count(start)) return false;
  const auto found = std::find_if(Root.Children.begin() + static_cast<std::ptrdiff_t>(ScanFirst), Root.Children.end(),
                                  [start](const TExtractedFile& n) { return n.Kind == nkFound && n.Start == start; });
  if (found == Root.Children.end()) return false;
  const std::string from = Folder + "/" + found->Name;
  std::string chosen = leaf;
  if (!ListOnly && !platform::RenameUnique(from, folder, leaf, chosen)) return false;
  FoundFolders.erase(start);
  TExtractedFile node = std::move(*found);
  Root.Children.erase(found);
  RebasePaths(from, folder + "/" + chosen);
  node.Name = chosen;
  parent.Children.push_back(std::move(node));
  return true;
}

uint64_t TIsoExtracter::RecordAt(size_t pos, uint32_t unit) const {
  return static_cast<uint64_t>(ListingStart + static_cast<int64_t>(pos / unit)) * unit + pos % unit + 1;
}

void TIsoExtracter::FoundFile(const uint8_t* record, uint64_t at, const std::string& name, bool ucs2,
                              const std::string& leaf, TExtractedFile& parent, const std::string& folder) {
  TExtractedFile node = FoundNode(record, leaf);
  const uint32_t extent = node.DirRecord.GetExtent(LittleEndian);
  bool movedHere = false;
  if (const size_t met = FindReadedFile(extent, node.Size, name, ucs2, at, folder + "/" + leaf, movedHere)) {
    if (!movedHere) return;
    // Written before under its 8-bit name, the file now is here: so is its node.
    const TReadedFile& file = ReadedFiles[met - 1];
    node.Name = file.Path.substr(file.Path.rfind('/') + 1);
    node.ReadedIndex = static_cast<int>(met);
    node.UnreadSectors = file.UnreadSectors;
    parent.Children.push_back(std::move(node));
    return;
  }
  Report(pcSetText, 0, "Extracting " + name + " (File, " + FormatByteSize(node.Size) + ")...");
  if (ListOnly) {
    CopySectors(node.Start, node.Size, nullptr, node.UnreadSectors);
  } else {
    platform::OutputFile out;
    std::string chosen;
    if (!out.CreateUnique(folder, leaf, chosen))
      return out.Error() == ENAMETOOLONG ? static_cast<void>(Report(pcSetText, 0, kTooDeep)) : OutputFailed();
    node.Name = chosen;
    const bool whole = CopySectors(node.Start, node.Size, &out, node.UnreadSectors);
    if (!out.Close()) return OutputFailed();
    timespec time;
    if (whole) platform::SetFileTimes(out.Path(), RecordedTime(node.DirRecord, time));
  }
  if (!Head.KeepGoing()) return;
  ReadedFiles.push_back({extent, node.Size, name, ucs2, folder + "/" + node.Name, "", {}, node.UnreadSectors});
  ReadedFiles.back().ListedAt[ucs2] = at;
  node.ReadedIndex = static_cast<int>(ReadedFiles.size());
  parent.Children.push_back(std::move(node));
}

bool TIsoExtracter::CopySectors(int64_t start, uint64_t bytes, platform::OutputFile* out, uint32_t& unread) {
  const uint64_t wanted = (bytes + UserSize - 1) / UserSize;
  const uint64_t sectors = SectorsInTrack(start, bytes);
  uint64_t left = bytes;
  unread = 0;
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
      unread += read ? 0 : 1;
    } else {
      Mark(address, true);
    }
    left -= n;
    if (!Head.KeepGoing()) return false;
  }
  if (sectors < wanted) {
    Report(pcSetText, 0, "A file runs past the end of the track; its copy ends there");
    return false;
  }
  return unread == 0;
}

size_t TIsoExtracter::FindReadedFile(uint32_t extent, uint32_t length, const std::string& name, bool ucs2,
                                     uint64_t record, const std::string& path, bool& movedHere) {
  movedHere = false;
  TReadedFile* twin = nullptr;
  for (TReadedFile& f : ReadedFiles) {
    if (f.Extent != extent || f.DataLength != length) continue;
    if (f.ListedAt[ucs2] == record) {
      if (f.FoundPath.empty()) f.FoundPath = path;
      GivenAway.insert(FolderOf(path));
      return static_cast<size_t>(&f - ReadedFiles.data()) + 1;
    }
    // Of several names sharing the extent, the one the other tree spells alike is this
    // file's own listing there (empty files of one extent may differ in time).
    if (f.ListedAt[ucs2] == 0 && (twin == nullptr || (!SameSpelling(twin->Name, name) && SameSpelling(f.Name, name))))
      twin = &f;
  }
  if (twin == nullptr) return 0;
  twin->ListedAt[ucs2] = record;
  const size_t index = static_cast<size_t>(twin - ReadedFiles.data()) + 1;
  const std::string folder = FolderOf(path), written = FolderOf(twin->Path);
  NoteTwinFolders(ucs2 ? written : folder, ucs2 ? folder : written);
  // The Joliet name is the one the disc's author gave: a file written under its 8-bit
  // name moves there (never over another file), also when its 8-bit directory was found
  // twice.
  std::string chosen = path.substr(folder.size() + 1);
  if (!ucs2 || twin->Ucs2 || (!ListOnly && !platform::RenameUnique(twin->Path, folder, chosen, chosen))) {
    if (twin->FoundPath.empty()) twin->FoundPath = path;
    GivenAway.insert(folder);
    return index;
  }
  GivenAway.insert(written);
  twin->Path = folder + "/" + chosen;
  twin->Ucs2 = true;
  twin->FoundPath.clear();
  movedHere = true;
  return index;
}

// The folders of one directory in the two trees, and so those of their parents.
void TIsoExtracter::NoteTwinFolders(std::string narrow, std::string joliet) {
  while (narrow != joliet && narrow.size() > Folder.size() && joliet.size() > Folder.size() &&
         TwinFolders.emplace(narrow, joliet).second) {
    narrow = FolderOf(narrow);
    joliet = FolderOf(joliet);
  }
}

// Paths below `from` are below `to` now.
void TIsoExtracter::RebasePaths(const std::string& from, const std::string& to) {
  const auto rebase = [&](std::string& path) {
    if (path == from || path.starts_with(from + "/")) path = to + path.substr(from.size());
  };
  for (TReadedFile& f : ReadedFiles) {
    rebase(f.Path);
    rebase(f.FoundPath);
  }
  const auto rebaseSet = [&](std::set<std::string>& paths) {
    std::set<std::string> moved;
    for (std::string p : paths) {
      rebase(p);
      moved.insert(p);
    }
    paths = std::move(moved);
  };
  rebaseSet(GivenAway);
  rebaseSet(ListedFolders);
  std::map<std::string, std::string> twins;
  for (const auto& [narrowFolder, jolietFolder] : TwinFolders) {
    std::string narrow = narrowFolder, joliet = jolietFolder;
    rebase(narrow);
    rebase(joliet);
    twins.emplace(narrow, joliet);
  }
  TwinFolders = std::move(twins);
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
    if (child.Kind != nkFound) continue;
    if (child.ReadedIndex > 0 && static_cast<size_t>(child.ReadedIndex) <= ReadedFiles.size()) {
      const std::string& found = ReadedFiles[child.ReadedIndex - 1].FoundPath;
      if (!found.empty()) child.FoundPath = found;
    }
    ApplyFoundPathsFrom(child, 0);
  }
}
