#include "recovery/Isoextracter.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "reader/Sectorreader.h"
#include "recovery/Dirsectortest.h"
#include "recovery/Iso9660util.h"
#include "recovery/IsoextracterInternal.h"
#include "recovery/Outputname.h"
#include "recovery/Twintree.h"
#include "platform/OutputFile.h"
#include "sector/Datasector.h"

using namespace iso_internal;

namespace {

constexpr size_t kLabelOffset = 40;
constexpr size_t kLabelBytes = 32;

}  // namespace

TIsoExtracter::TIsoExtracter(TSectorReader& reader, TPluginManager& plugins) : Reader(reader), Plugins(plugins) {
  SetDefaults();
}

TIsoExtracter::~TIsoExtracter() = default;

void TIsoExtracter::SetDefaults() {
  ListOnly = LittleEndian = ReadSvd = ReadTable = true;
  DetectDir = DetectDirInReading = UsePlugin = UsePluginInReading = true;
  TailZeroMode = 6;
  TailZeroVal = 64;
  DelTailZero = DivAtErr = false;
}

void TIsoExtracter::Clear() {
  PvdFound = false;
  Svds.clear();
  BootRecords.clear();
  Partitions.clear();
  Selected = nullptr;
  Root.Children.clear();
}

bool TIsoExtracter::SetGeometry(const TCdTrack& track) {
  if (track.FileSystem != fsIso9660) return false;
  if (track.DataType < dtMode1 || track.DataType > dtMode2Formless) return false;
  GetUserDataLayout(track.DataType, &UserSize, &UserOffset);
  SectorMode = track.DataType;
  TrackStart = track.Head;
  TrackEnd = track.Tail;
  return true;
}

bool TIsoExtracter::ReadUserData(int64_t address) { return ReadSectorAs(address, static_cast<uint8_t>(SectorMode)); }

bool TIsoExtracter::ReadSectorAs(int64_t address, uint8_t mode) {
  Sector.fill(0);
  uint8_t reported = 0;
  if (Reader.ReadSector(address, mode, reported, Sector.data())) {
    ++SectorsRead;
    return true;
  }
  // A failed read may bring the drive's damaged block along: that is not data.
  Sector.fill(0);
  return false;
}

uint64_t TIsoExtracter::SectorsInTrack(int64_t start, uint64_t bytes) const {
  if (UserSize == 0 || start < TrackStart || start >= TrackEnd) return 0;
  const uint64_t wanted = (bytes + UserSize - 1) / UserSize;
  return std::min<uint64_t>(wanted, static_cast<uint64_t>(TrackEnd - start));
}

uint32_t TIsoExtracter::ExtentOf(const uint8_t* record) const {
  return LittleEndian ? BothEndian32Lsb(record + 2) : BothEndian32Msb(record + 2);
}

bool TIsoExtracter::IsDirectorySector(const uint8_t* data, uint32_t size) const {
  return ::IsDirectorySector(data, size);
}

bool TIsoExtracter::CheckTailZero(const uint8_t* data, uint32_t size, uint32_t& n) const {
  return ::CheckTailZero(data, size, SplitUnit, n);
}

bool TIsoExtracter::ReadVolume(const TCdTrack& track) {
  Clear();
  UnreadableCount = 0;
  Damage = {};
  if (!SetGeometry(track)) return false;
  Utility.ApplyErrorRecovery();
  const TReaderSession session(Reader, &Utility);
  FindDescriptors();
  if (ReadSvd)
    Selected = !Svds.empty() ? &Svds.front() : PvdFound ? &Pvd : nullptr;
  else
    Selected = PvdFound ? &Pvd : !Svds.empty() ? &Svds.front() : nullptr;
  if (Selected == nullptr) {
    Clear();
    return false;
  }
  Joliet = IsJolietDescriptor(Selected->data());
  bool listed = ReadTree(*Selected, Root);
  // Where the chosen tree lost directory sectors, the other tree lists the same files.
  const TVolumeDescriptor* other = OtherTree();
  if (other != nullptr && LacksEntries(Root)) {
    TExtractedFile twin;
    if (ReadTree(*other, twin)) {
      FillFromTwin(Root, twin);
      listed = true;
    }
  }
  Damage.DirectorySectors = LackingSectors(Root);
  // An empty or unreadable root is a lost volume: the caller offers the scan.
  return listed;
}

bool TIsoExtracter::ReadTree(const TVolumeDescriptor& descriptor, TExtractedFile& root) {
  root.DirRecord.Assign(descriptor.data() + kRootRecordOffset, descriptor.size() - kRootRecordOffset);
  root.Kind = nkVolume;
  root.Start = root.DirRecord.GetExtent(LittleEndian) + kLbaOffset;
  root.Size = root.DirRecord.GetDataLength(LittleEndian);
  root.SectorMode = static_cast<uint8_t>(SectorMode);
  root.TrackEnd = TrackEnd;
  if (root.Size == 0) return false;
  DirectoryPath.clear();
  HeldDirectoryBytes = 0;
  return ReadDirectory(root, IsJolietDescriptor(descriptor.data()), DirectoryPath);
}

// The tree of the other name encoding: the primary one beside a supplementary, a Joliet
// one (else the first supplementary) beside the primary; null when there is none or it
// shares the chosen tree's root.
const TIsoExtracter::TVolumeDescriptor* TIsoExtracter::OtherTree() const {
  const TVolumeDescriptor* other = nullptr;
  if (Selected != &Pvd) {
    other = PvdFound ? &Pvd : nullptr;
  } else if (!Svds.empty()) {
    const auto joliet =
        std::find_if(Svds.begin(), Svds.end(), [](const TVolumeDescriptor& d) { return IsJolietDescriptor(d.data()); });
    other = joliet != Svds.end() ? &*joliet : &Svds.front();
  }
  return other != nullptr && ExtentOf(other->data() + kRootRecordOffset) != ExtentOf(Selected->data() + kRootRecordOffset)
             ? other
             : nullptr;
}

void TIsoExtracter::FindDescriptors() {
  const int64_t end = std::min(TrackStart + kDescriptorArea, TrackEnd);
  for (int64_t a = TrackStart; a < end; ++a) {
    if (!ReadUserData(a)) continue;
    const uint8_t* d = UserData();
    if (std::memcmp(d + 1, "CD001", 5) != 0) continue;
    TVolumeDescriptor descriptor;
    std::memcpy(descriptor.data(), d, descriptor.size());
    switch (d[0]) {
      case kBootRecord: BootRecords.push_back(descriptor); break;
      case kPrimary:
        if (!PvdFound) Pvd = descriptor;
        PvdFound = true;
        break;
      case kSupplementary: Svds.push_back(descriptor); break;
      case kPartition: Partitions.push_back(descriptor); break;
      case kTerminator: return;
      default: break;
    }
  }
}

bool TIsoExtracter::ReadDirectoryImage(uint32_t extent, uint32_t length, std::vector<uint8_t>& image, bool mark,
                                       uint32_t& lost) {
  const int64_t first = extent + kLbaOffset;
  const uint64_t room = kMaxHeldDirectoryBytes - std::min(HeldDirectoryBytes, kMaxHeldDirectoryBytes);
  const uint64_t sectors = SectorsInTrack(first, std::min<uint64_t>({length, kMaxDirectoryBytes, room}));
  image.assign(sectors * UserSize, 0);
  lost = 0;
  bool any = false;
  for (uint64_t i = 0; i < sectors; ++i) {
    const bool read = ReadUserData(first + static_cast<int64_t>(i));
    if (read) std::memcpy(image.data() + i * UserSize, UserData(), UserSize);
    any = any || read;
    // A sector that reads as something else than directory records is lost as well.
    if (!read || !IsListingSector(UserData(), i == 0 ? extent : 0)) ++lost;
    if (!mark && !read) ++UnreadableCount;
    if (mark) {
      Mark(first + static_cast<int64_t>(i), read);
      if (!Head.KeepGoing()) return false;
    }
  }
  if (image.size() > length) image.resize(length);
  return any;
}

// Directory records only; the first sector of a directory starts with its own record.
bool TIsoExtracter::IsListingSector(const uint8_t* data, uint32_t self) const {
  if (!::IsDirectorySector(data, UserSize)) return false;
  if (self == 0) return true;
  return IsWholeRecord(data, 0, UserSize) && IsSelfOrParent(data) && data[33] == 0 &&
         ExtentOf(data) == self;
}

bool TIsoExtracter::ReadDirectory(TExtractedFile& node, bool joliet, std::vector<uint32_t>& path) {
  const uint32_t length = node.DirRecord.GetDataLength(LittleEndian);
  const uint32_t extent = node.DirRecord.GetExtent(LittleEndian);
  if (length == 0) return true;
  if (path.size() >= kMaxDirectoryDepth || std::find(path.begin(), path.end(), extent) != path.end()) return false;
  std::vector<uint8_t> image;
  uint32_t lost = 0;
  const bool any = ReadDirectoryImage(extent, length, image, /*mark=*/false, lost);
  node.UnreadSectors = lost;
  if (!any) return false;
  HeldDirectoryBytes += image.size();
  const ScopeExit release([this, held = image.size()] { HeldDirectoryBytes -= held; });
  path.push_back(extent);
  std::set<std::string> used;
  bool anyRecord = false;
  size_t pos = 0;
  while (pos < image.size()) {
    const uint8_t* r = image.data() + pos;
    if (r[0] == 0 || !IsWholeRecord(image.data(), pos, image.size())) {
      pos = NextUnit(pos, UserSize);
      continue;
    }
    anyRecord = true;
    pos += r[0];
    if (IsSelfOrParent(r)) continue;
    const int64_t start = ExtentOf(r) + kLbaOffset;
    if (start < TrackStart || start >= TrackEnd) continue;
    TExtractedFile child;
    child.DirRecord.Assign(r, r[0]);
    child.Start = start;
    child.Size = LittleEndian ? BothEndian32Lsb(r + 10) : BothEndian32Msb(r + 10);
    child.Name = UniqueLeafName(DecodeNameAs(r + 33, r[32], joliet, /*stripVersion=*/true, /*trimSpaces=*/false), used);
    child.SectorMode = static_cast<uint8_t>(SectorMode);
    child.TrackEnd = TrackEnd;
    if (child.DirRecord.IsDirectory()) ReadDirectory(child, joliet, path);
    node.Children.push_back(std::move(child));
  }
  path.pop_back();
  // Not even its own record: the directory is lost, not empty.
  return anyRecord;
}

std::string TIsoExtracter::DecodeName(const uint8_t* raw, size_t length, bool stripVersion, bool trimSpaces) const {
  return DecodeNameAs(raw, length, Joliet, stripVersion, trimSpaces);
}

std::string TIsoExtracter::DecodeNameAs(const uint8_t* raw, size_t length, bool ucs2, bool stripVersion,
                                        bool trimSpaces) {
  if (raw == nullptr) return {};
  const std::span<const uint8_t> bytes(raw, length);
  std::string name = ucs2 ? Ucs2BeToUtf8(bytes) : NarrowNameToUtf8(bytes);
  name.resize(std::min(name.size(), name.find('\0')));
  if (trimSpaces) name.erase(name.find_last_not_of(' ') + 1);
  if (stripVersion) StripVersion(name);
  return name;
}

std::string TIsoExtracter::GetVolumeLabel() const {
  if (Selected == nullptr) return {};
  return DecodeName(Selected->data() + kLabelOffset, kLabelBytes, /*stripVersion=*/false, /*trimSpaces=*/true);
}

void TIsoExtracter::Mark(int64_t address, bool read) {
  const uint8_t was = AddressMap.GetStatus(address);
  if (!read && was != TAddressManager::kFailed) ++UnreadableCount;
  if (was == TAddressManager::kNotHandled) CountHandled(address);
  AddressMap.SetStatus(address, read ? TAddressManager::kRead : TAddressManager::kFailed);
}

void TIsoExtracter::ReadCommandRefused() { FailWith(fcReadRefused); }

void TIsoExtracter::OutputFailed() { FailWith(fcOutputNotWritable); }

void TIsoExtracter::TDamage::AddFile(const std::string& path) {
  if (Files.size() < kNamesKept) Files.push_back(path);
  ++FileCount;
}

void TIsoExtracter::TDamage::Add(const TDamage& other) {
  for (const std::string& f : other.Files)
    if (Files.size() < kNamesKept) Files.push_back(f);
  FileCount += other.FileCount;
  DirectorySectors += other.DirectorySectors;
}
