#include "app/Tracklistfile.h"

#include <algorithm>
#include <array>
#include <utility>

#include "app/Global.h"
#include "app/Krfastinireader.h"
#include "app/Krfastiniwriter.h"

namespace {

constexpr std::array<std::pair<uint8_t, const char*>, 5> kDataTypeWords{
    {{1, "AUDIO"}, {2, "MODE1"}, {3, "MODE2FORM1"}, {4, "MODE2FORM2"}, {6, "DATA"}}};
constexpr std::array<std::pair<uint8_t, const char*>, 3> kFileSystemWords{
    {{1, "CDDA"}, {2, "CDDA(EMPH)"}, {3, "ISO9660"}}};
constexpr const char* kUnknownWord = "UNKNOWN";

template <typename Table>
std::string WordOf(const Table& table, uint8_t code) {
  for (const auto& [value, word] : table)
    if (value == code) return word;
  return kUnknownWord;
}

template <typename Table>
uint8_t CodeOf(const Table& table, const std::string& word) {
  for (const auto& [value, text] : table)
    if (word == text) return value;
  return 0;
}

std::string TrackSection(int64_t index) { return "Track_" + std::to_string(index); }

TCdTrack ReadTrack(TKrFastIniReader& ini, int64_t index) {
  ini.SelectSection(TrackSection(index));
  TCdTrack track;
  track.SessionNo = static_cast<uint8_t>(ini.ReadInteger("SessionNo", 0));
  track.TrackNo = static_cast<uint8_t>(ini.ReadInteger("TrackNo", 0));
  track.Head = std::clamp<int64_t>(ini.ReadInteger("Head", 0), 0, kMaxTrackAddress);
  track.Tail = std::clamp<int64_t>(ini.ReadInteger("Tail", 0), track.Head, kMaxTrackAddress);
  track.DataType = DataTypeFromWord(ini.ReadString("DataType", ""));
  track.FileSystem = FileSystemFromWord(ini.ReadString("FileSystem", ""));
  return track;
}

}  // namespace

std::string DataTypeWord(uint8_t dataType) { return WordOf(kDataTypeWords, dataType); }
std::string FileSystemWord(uint8_t fileSystem) { return WordOf(kFileSystemWords, fileSystem); }
uint8_t DataTypeFromWord(const std::string& word) { return CodeOf(kDataTypeWords, word); }
uint8_t FileSystemFromWord(const std::string& word) { return CodeOf(kFileSystemWords, word); }

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
      ini.WriteString("DataType", DataTypeWord(t.DataType));
      ini.WriteString("FileSystem", FileSystemWord(t.FileSystem));
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
