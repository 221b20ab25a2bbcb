#include "app/Tracklistfile.h"

#include <algorithm>

#include "app/Global.h"
#include "app/Krfastinireader.h"
#include "app/Krfastiniwriter.h"
#include "sector/Datasector.h"

namespace {

std::string TrackSection(int64_t index) { return "Track_" + std::to_string(index); }

TCdTrack ReadTrack(TKrFastIniReader& ini, int64_t index) {
  ini.SelectSection(TrackSection(index));
  TCdTrack track;
  track.SessionNo = static_cast<uint8_t>(ini.ReadInteger("SessionNo", 0));
  track.TrackNo = static_cast<uint8_t>(ini.ReadInteger("TrackNo", 0));
  track.Head = std::clamp<int64_t>(ini.ReadInteger("Head", 0), 0, kMaxTrackAddress);
  track.Tail = std::clamp<int64_t>(ini.ReadInteger("Tail", 0), track.Head, kMaxTrackAddress);
  track.DataType = DataTypeFromText(ini.ReadString("DataType", "").c_str());
  track.FileSystem = FileSystemFromText(ini.ReadString("FileSystem", "").c_str());
  return track;
}

}  // namespace

bool SaveTrackListFile(const std::string& fileName, const std::vector<TCdTrack>& tracks) {
  try {
    TKrFastIniWriter ini(fileName);
    ini.AddSection("Disc");
    ini.WriteInteger("NumTracks", static_cast<int64_t>(tracks.size()));
    for (size_t i = 0; i < tracks.size(); ++i) {
      const TCdTrack& t = tracks[i];
      ini.AddSection(TrackSection(static_cast<int64_t>(i)));
      ini.WriteInteger("SessionNo", t.SessionNo);
      ini.WriteInteger("TrackNo", t.TrackNo);
      ini.WriteInteger("Head", t.Head);
      ini.WriteInteger("Tail", t.Tail);
      ini.WriteString("DataType", DataTypeText(t.DataType));
      ini.WriteString("FileSystem", FileSystemText(t.FileSystem));
    }
    return ini.UpdateFile();
  } catch (...) {
    return false;
  }
}

bool LoadTrackListFile(const std::string& fileName, std::vector<TCdTrack>& tracks) {
  try {
    TKrFastIniReader ini(fileName);
    ini.SelectSection("Disc");
    const int64_t count = std::clamp<int64_t>(ini.ReadInteger("NumTracks", 0), 0, kMaxTrackListEntries);
    for (int64_t i = 0; i < count; ++i) tracks.push_back(ReadTrack(ini, i));
    return true;
  } catch (...) {
    return false;
  }
}

bool SaveTrackList(const std::string& fileName) { return SaveTrackListFile(fileName, CdTracks); }

bool LoadTrackList(const std::string& fileName, bool driveSelected) {
  ClearTrackList();
  const bool loaded = LoadTrackListFile(fileName, CdTracks);
  if (driveSelected) DiscEndAddress = DriveUtility.GetLeadOut();
  return loaded;
}
