// Where the recovery scan puts the directories it finds: the root only where the disc says
// so, every other one in a folder of its own until the listing that names it is met, and
// after the scan, nothing left that the other tree's listings took over.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

#include "platform/OutputFile.h"
#include "recovery/Isoextracter.h"
#include "recovery/IsoextracterInternal.h"
#include "recovery/Outputname.h"

using namespace iso_internal;

namespace {

bool HoldsFiles(const TExtractedFile& node) {
  return std::any_of(node.Children.begin(), node.Children.end(),
                     [](const TExtractedFile& c) { return !c.DirRecord.IsDirectory() || HoldsFiles(c); });
}

// Removes the folder and the folders in it, as long as they hold nothing else.
void RemoveEmptyFolders(const std::string& path) {
  std::error_code ec;
  std::vector<std::string> folders;
  for (const auto& e : std::filesystem::directory_iterator(path, ec))
    if (e.is_directory(ec) && !e.is_symlink(ec)) folders.push_back(e.path().string());
  for (const std::string& f : folders) RemoveEmptyFolders(f);
  ::rmdir(path.c_str());
}

}  // namespace

// A directory sector met by the scan. Its own record gives the whole directory. It is
// the root when it is a readable descriptor's root; any other goes into a folder of its
// own, named by its sector, so that the entries of different lost directories never meet.
void TIsoExtracter::ExtractFoundDirectory(int64_t i) {
  std::vector<uint8_t> image(UserData(), UserData() + UserSize);
  const uint8_t* self = image.data();
  const bool hasSelf = IsWholeRecord(self, 0, image.size()) && IsSelfOrParent(self) && self[33] == 0;
  const uint32_t extent = hasSelf ? ExtentOf(self) : 0;
  const bool isStart = hasSelf && extent + kLbaOffset == i;
  TKrDirRecord selfRecord;
  if (hasSelf) selfRecord.Assign(self, self[0]);
  if (isStart) {
    const uint32_t length = LittleEndian ? BothEndian32Lsb(self + 10) : BothEndian32Msb(self + 10);
    std::vector<uint8_t> whole;
    uint32_t lost = 0;
    if (length > UserSize && ReadDirectoryImage(extent, length, whole, /*mark=*/true, lost)) image = std::move(whole);
    Damage.DirectorySectors += lost;
  }
  const bool hasParent =
      isStart && IsWholeRecord(image.data(), image[0], image.size()) && IsSelfOrParent(image.data() + image[0]);
  const uint32_t parent = hasParent ? ExtentOf(image.data() + image[0]) : extent;
  ListingCode = isStart ? TreeCodeOf(extent, parent) : TNameCode::Unknown;
  const bool ucs2 = ListingIsUcs2(image.data(), static_cast<uint32_t>(image.size()), UserSize);
  ListingCode = ucs2 ? TNameCode::Ucs2 : TNameCode::Narrow;
  DirectoryPath.assign(isStart ? 1 : 0, extent);
  ListingStart = i;
  const ScopeExit forget([this] { ListingCode = TNameCode::Unknown; });
  if (isStart && DescriptorRoots.count(extent)) {
    ExtractDirectory(image.data(), static_cast<uint32_t>(image.size()), Root, Folder, UserSize);
    return;
  }
  TExtractedFile node;
  node.Kind = nkFound;
  node.DirRecord = selfRecord;
  node.Start = i;
  node.Size = static_cast<uint32_t>(image.size());
  node.Name = std::to_string(i);
  node.SectorMode = static_cast<uint8_t>(SectorMode);
  node.TrackEnd = TrackEnd;
  ExtractDirectory(image.data(), static_cast<uint32_t>(image.size()), node, Folder + "/" + node.Name, UserSize);
  FoundFolders.insert(i);
  // Its "." and ".." agree and no descriptor says which is the root: it may be, unless a
  // listing names it.
  if (hasParent && parent == extent && DescriptorRoots.empty()) RootCandidates[i] = ucs2;
  Root.Children.push_back(std::move(node));
}

// A volume descriptor among the track's first sectors, which the scan reads before any
// directory: the root it names and that root's name encoding.
void TIsoExtracter::NoteDescriptor() {
  const uint8_t* d = UserData();
  if (DescriptorsEnded || std::memcmp(d + 1, "CD001", 5) != 0) return;
  if (d[0] == kTerminator) DescriptorsEnded = true;
  if (d[0] == kPrimary || d[0] == kSupplementary)
    DescriptorRoots.emplace(ExtentOf(d + kRootRecordOffset), IsJolietDescriptor(d));
}

// The encoding of the tree the directory at `extent` belongs to, where a descriptor the
// scan read tells: it is that descriptor's root, or its parents lead there.
TNameCode TIsoExtracter::TreeCodeOf(uint32_t extent, uint32_t parent) {
  for (int hops = 0; hops < kMaxDirectoryDepth; ++hops) {
    if (const auto root = DescriptorRoots.find(extent); root != DescriptorRoots.end())
      return root->second ? TNameCode::Ucs2 : TNameCode::Narrow;
    if (parent == extent) return TNameCode::Unknown;
    extent = parent;
    if (DescriptorRoots.count(extent)) continue;
    const int64_t address = extent + kLbaOffset;
    if (address < TrackStart || address >= TrackEnd || AddressMap.GetStatus(address) == TAddressManager::kFailed)
      return TNameCode::Unknown;
    if (!ReadUserData(address) || !IsListingSector(UserData(), extent)) return TNameCode::Unknown;
    const uint8_t* d = UserData();
    if (!IsWholeRecord(d, d[0], UserSize) || !IsSelfOrParent(d + d[0])) return TNameCode::Unknown;
    parent = ExtentOf(d + d[0]);
  }
  return TNameCode::Unknown;
}

// Nodes of files that moved to their Joliet listing go; so do the folders left with no
// file by what moved or went to the other tree's listing, and the empty copies of folders
// that the other tree's listing holds too. True when `dir` itself should go.
bool TIsoExtracter::PruneTakenOver(TExtractedFile& dir, const std::string& folder, size_t first) {
  bool removed = false;
  const auto twin = TwinFolders.find(folder);
  for (size_t k = dir.Children.size(); k-- > first;) {
    TExtractedFile& child = dir.Children[k];
    if (child.Kind != nkFound) continue;
    const std::string path = folder + "/" + child.Name;
    bool drop = false;
    if (child.DirRecord.IsDirectory()) {
      drop = PruneTakenOver(child, path, 0);
      drop = drop || (twin != TwinFolders.end() && !HoldsFiles(child) && HasFolder(twin->second, child.Name));
      if (drop && !ListOnly) RemoveEmptyFolders(path);
    } else {
      drop = child.ReadedIndex > 0 && static_cast<size_t>(child.ReadedIndex) <= ReadedFiles.size() &&
             ReadedFiles[static_cast<size_t>(child.ReadedIndex) - 1].Path != path;
    }
    if (!drop) continue;
    dir.Children.erase(dir.Children.begin() + static_cast<std::ptrdiff_t>(k));
    removed = true;
  }
  return !HoldsFiles(dir) && (removed || GivenAway.count(folder) != 0);
}

// A folder made for a listing in `folder` whose name is spelt like `name`.
bool TIsoExtracter::HasFolder(const std::string& folder, const std::string& name) const {
  const std::string prefix = folder + "/";
  for (auto it = ListedFolders.lower_bound(prefix); it != ListedFolders.end() && it->starts_with(prefix); ++it) {
    const std::string leaf = it->substr(prefix.size());
    if (leaf.find('/') == std::string::npos && SameSpelling(leaf, name)) return true;
  }
  return false;
}

// With no descriptor to say, a found directory whose "." and ".." agree and that no
// listing named is the root of its tree when it is the only such of its name encoding:
// its entries go to the top of the output folder.
void TIsoExtracter::PromoteRoots() {
  for (const bool ucs2 : {false, true}) {
    std::vector<size_t> roots;
    for (size_t k = ScanFirst; k < Root.Children.size(); ++k) {
      const auto candidate = RootCandidates.find(Root.Children[k].Start);
      if (Root.Children[k].Kind == nkFound && FoundFolders.count(Root.Children[k].Start) &&
          candidate != RootCandidates.end() && candidate->second == ucs2)
        roots.push_back(k);
    }
    if (roots.size() == 1) PromoteRoot(roots.front());
  }
}

void TIsoExtracter::PromoteRoot(size_t index) {
  TExtractedFile node = std::move(Root.Children[index]);
  Root.Children.erase(Root.Children.begin() + static_cast<std::ptrdiff_t>(index));
  FoundFolders.erase(node.Start);
  const std::string from = Folder + "/" + node.Name;
  std::set<std::string> used;
  for (const TExtractedFile& c : Root.Children) used.insert(c.Name);
  std::vector<TExtractedFile> left;
  for (TExtractedFile& child : node.Children) {
    std::string chosen = UniqueLeafName(child.Name, used);
    if (!ListOnly && !platform::RenameUnique(from + "/" + child.Name, Folder, chosen, chosen)) {
      left.push_back(std::move(child));
      continue;
    }
    RebasePaths(from + "/" + child.Name, Folder + "/" + chosen);
    child.Name = chosen;
    Root.Children.push_back(std::move(child));
  }
  node.Children = std::move(left);
  if (!node.Children.empty()) {
    OutputFailed();
    Root.Children.push_back(std::move(node));
  } else if (!ListOnly) {
    ::rmdir(from.c_str());
  }
}

// The files of this scan holding zeros for sectors that could not be read, by their path
// in the output folder.
void TIsoExtracter::TallyDamagedFiles() {
  const std::function<void(const TExtractedFile&, const std::string&)> tally = [&](const TExtractedFile& node,
                                                                                   const std::string& path) {
    if (!node.DirRecord.IsDirectory() && node.UnreadSectors != 0) Damage.AddFile(path);
    for (const TExtractedFile& child : node.Children) tally(child, path + "/" + child.Name);
  };
  for (size_t k = ScanFirst; k < Root.Children.size(); ++k) tally(Root.Children[k], Root.Children[k].Name);
}

void TIsoExtracter::ForgetFoundPlaces() {
  DescriptorRoots.clear();
  DescriptorsEnded = false;
  ListingCode = TNameCode::Unknown;
  FoundFolders.clear();
  RootCandidates.clear();
  GivenAway.clear();
  ListedFolders.clear();
  TwinFolders.clear();
}
