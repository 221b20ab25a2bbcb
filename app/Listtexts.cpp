#include "app/Listtexts.h"

#include <cstdio>

#include "app/Texts.h"
#include "sector/Address.h"

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  const int size = std::snprintf(nullptr, 0, format, args...);
  std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
  std::snprintf(text.data(), text.size() + 1, format, args...);
  return text;
}

std::string DataTypeText(uint8_t dataType) {
  static const char* const kTexts[] = {"UNKNOWN", "AUDIO", "MODE 1", "MODE 2 FORM 1", "MODE 2 FORM 2", "", "DATA"};
  return dataType < 7 ? kTexts[dataType] : "";
}

std::string FileSystemText(uint8_t fileSystem) {
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
    case 2: return DataTypeText(track.DataType);
    case 3: return FramesToMsfText(track.Head);
    case 4: return FramesToMsfText(track.Tail);
    case 5: return FramesToMsfText(track.Tail - track.Head);
    case 6: return FileSystemText(track.FileSystem);
    default: return {};
  }
}
