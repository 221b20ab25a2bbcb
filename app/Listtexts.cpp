#include "app/Listtexts.h"

#include <cstdio>

#include "app/Texts.h"
#include "recovery/Iso9660util.h"
#include "sector/Address.h"
#include "sector/Datasector.h"

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  const int size = std::snprintf(nullptr, 0, format, args...);
  std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
  std::snprintf(text.data(), text.size() + 1, format, args...);
  return text;
}

std::string TypeColumnText(uint8_t dataType) {
  static const char* const kTexts[] = {"UNKNOWN", "AUDIO", "MODE 1", "MODE 2 FORM 1", "MODE 2 FORM 2", "", "DATA"};
  return dataType < 7 ? kTexts[dataType] : "";
}

std::string SystemColumnText(uint8_t fileSystem) {
  static const char* const kTexts[] = {"UNKNOWN", "CDDA", "CDDA(EMPH)", "ISO9660"};
  return fileSystem < 4 ? kTexts[fileSystem] : "";
}

}  // namespace

std::string DriveLineText(const TKrCdRom& drive, bool aspiAvailable) {
  const std::string name = drive.GetDriveName();
  if (aspiAvailable)
    return Format(txt::kDriveLineAspi, name.c_str(), drive.HaId, drive.Target, drive.Lun, drive.GetVendor().c_str(),
                  drive.GetProduct().c_str(), drive.GetRevision().c_str());
  return Format(txt::kDriveLineSpti, name.c_str(), drive.GetVendor().c_str(), drive.GetProduct().c_str(),
                drive.GetRevision().c_str());
}

std::string TrackColumnText(const TCdTrack& track, int column) {
  switch (column) {
    case 0: return Format("%.2d", track.TrackNo);
    case 1: return track.SessionNo == 0 ? std::string() : Format("%.2d", track.SessionNo);
    case 2: return TypeColumnText(track.DataType);
    case 3: return FramesToMsfText(track.Head);
    case 4: return FramesToMsfText(track.Tail);
    case 5: return FramesToMsfText(track.Tail - track.Head);
    case 6: return SystemColumnText(track.FileSystem);
    default: return {};
  }
}

std::string SizeToText(uint64_t bytes) {
  constexpr double kKilo = 1024.0, kMega = 1048576.0, kGiga = 1073741824.0;
  const auto value = static_cast<double>(bytes);
  if (value >= kGiga) return Format("%.2f GB", value / kGiga);
  if (value < kMega) return Format("%.2f KB", value / kKilo);
  return Format("%.2f MB", value / kMega);
}

namespace {

std::string ModeText(const TExtractedFile& entry) {
  switch (entry.Kind) {
    case nkVolume: return txt::kModeTexts[0];
    case nkFound: return txt::kModeTexts[1];
    case nkCarved: return txt::kModeTexts[2] + entry.TypeName + ")";
    case nkZeroTailRun: return txt::kModeTexts[3] + std::to_string(entry.TailZeroCount) + ")";
    case nkReadErrorRun: return txt::kModeTexts[4];
    case nkHitRun: return txt::kModeTexts[5];
    default: return txt::kModeTexts[6];
  }
}

// Sectors hold 2048 bytes of a file in Mode 1 and Form 1, more in Form 2 and formless ones.
uint64_t SectorsOf(const TExtractedFile& entry) {
  uint32_t size = kUserDataSize;
  if (entry.SectorMode >= dtMode1 && entry.SectorMode <= dtMode2Formless)
    GetUserDataLayout(entry.SectorMode, &size, nullptr);
  return (uint64_t{entry.Size} + size - 1) / size;
}

}  // namespace

std::string FileColumnText(const TExtractedFile& entry, int column) {
  switch (column) {
    case 0: return entry.Name;
    case 1: return std::to_string(entry.Start - kLbaOffset);
    case 2: return std::to_string(SectorsOf(entry));
    case 3: return SizeToText(entry.Size);
    case 4: return std::to_string(entry.Size);
    case 5: return entry.Kind == nkVolume || entry.Kind == nkFound ? IsoDateToString(entry.DirRecord.GetRecordingDate()) : std::string();
    case 6: return ModeText(entry);
    default: return {};
  }
}
