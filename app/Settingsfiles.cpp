#include "app/Settingsfiles.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <memory>
#include <system_error>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "app/Global.h"
#include "app/Krfastinireader.h"
#include "app/Krfastiniwriter.h"
#include "platform/Folders.h"
#include "sector/Address.h"
#include "sector/Datasector.h"
#include "sector/Trim.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kQuarnelIni = "Quarnel.ini";
constexpr const char* kDriveIni = "Drive.ini";
constexpr const char* kPluginIni = "Plugin.ini";
constexpr int64_t kMaxReadSpeeds = 72;
constexpr int64_t kMaxPluginEntries = 1024;
constexpr int32_t kNoSplitMode = 14;  // "分割しない", the last choice of the split list

fs::path PluginFolderOf(const fs::path& programFolder) { return programFolder / "Plugin"; }

void SetDefaultDriveSetting(TDriveSetting& s) {
  const uint8_t forceType = s.ForceType;  // left as it is
  s = TDriveSetting{};
  s.Interval = 20;
  s.DataReadAtOnce = 15;
  s.ExtReadAtOnce = 15;
  s.ExtReadAsAudio = 1;
  s.ReadAtOnce = 15;
  s.TransferBlock = 1;
  s.SoftEccEnabled = 1;
  s.SoftEccRetryCount = 2;
  s.ForceType = forceType;
}

}  // namespace

fs::path GetProgramFolder() { return platform::ProgramFolder(); }

fs::path GetSettingsFolder() { return platform::SettingsFolder(); }

void SetDefaultSettings() {
  for (TDriveSetting& s : DriveSettings) SetDefaultDriveSetting(s);
  for (TReadSpeedList& list : ReadSpeedLists) list.Clear();
  CurrentDriveIndex = -1;
  Manual = false, Leadout = false, FastSearch = true, LastAddress = 360000, MaxLeadout = 300, NoDialog = false;
  ReadPvd = ReadSvd = ReadTable = LittleEndian = ListOnly = true;
  DetectDir = DetectDirInReading = UsePlugin = UsePluginInReading = true;
  TailZeroMode = 6, TailZeroVal = 64, DelTailZero = false, DivAtErr = false;
  Volume = 100, DeEmph = true;
  TocDetector.SetDefaults();
  AudioRipper.SetDefaults();
  IsoExtracter.SetDefaults();
}

void ApplyDrivePresets(uint32_t index) {
  const TKrCdRom* drive = CdRoms.GetCdRom(index);
  if (drive == nullptr || index >= kMaxCdRoms) return;
  TDriveSetting& s = DriveSettings[index];
  s.UseSpti = CdRoms.IsAspiAvailable(index) ? 0 : 1;
  const bool plextor = drive->IsPlextor();
  s.UseBCD = plextor ? 1 : 0;
  if (!plextor) return;
  s.DataReadCmd = rcReadCdUser;
  s.ExtReadCmd = rcReadCdda;
  s.DaeCmd = daeReadCdda;
  s.SubChCmd = sqReadCdda;
  const std::string product(Trim(drive->GetProduct()));
  s.OffsetSamples = (product == "CD-R  PREMIUM" || product == "CD-R  PX-W5224A") ? 30 : 98;
}

namespace {

// Drive.ini holds the record's fields in the order of kDriveSettingRanges, under their
// names.
void ReadDriveKey(TKrFastIniReader& ini, const TSettingRange& k, TDriveSetting& s) {
  std::visit(
      [&](auto member) {
        using T = std::remove_reference_t<decltype(s.*member)>;
        if constexpr (std::is_same_v<T, uint8_t>) {
          s.*member = ini.ReadBool(k.Name, s.*member != 0) ? 1 : 0;
        } else {
          const int64_t current = s.*member;
          s.*member = static_cast<T>(static_cast<uint32_t>(ini.ReadInteger(k.Name, current)));
        }
      },
      k.Field);
}

void WriteDriveKey(TKrFastIniWriter& ini, const TSettingRange& k, const TDriveSetting& s) {
  std::visit(
      [&](auto member) {
        using T = std::remove_reference_t<decltype(s.*member)>;
        if constexpr (std::is_same_v<T, uint8_t>) {
          ini.WriteBool(k.Name, s.*member != 0);
        } else {
          ini.WriteInteger(k.Name, static_cast<int64_t>(s.*member));
        }
      },
      k.Field);
}

void ReadDriveSection(TKrFastIniReader& ini, uint32_t index) {
  const TKrCdRom& drive = *CdRoms.GetCdRom(index);
  if (!ini.SelectSection(drive.GetDriveName())) return;
  // The letter may belong to another drive model now: its settings would not fit.
  if (Trim(ini.ReadString("DeviceName", "")) != Trim(drive.GetProduct())) return;
  TDriveSetting& s = DriveSettings[index];
  for (const TSettingRange& k : kDriveSettingRanges) ReadDriveKey(ini, k, s);
  // A hand-edited or damaged file must not give a 49-day pause or a zero-sector read.
  s = Bounded(s);
  const TSettingRange& speeds = RangeOf(&TDriveSetting::ReadSpeed);
  if (s.ReadSpeed < speeds.Low || s.ReadSpeed > speeds.High) {
    s.ReadSpeed = static_cast<uint32_t>(speeds.High);
    s.SetReadSpeed = 0;
  }
  const int64_t count = std::clamp<int64_t>(ini.ReadInteger("NumReadSpeeds", 0), 0, kMaxReadSpeeds);
  for (int64_t n = 0; n < count; ++n) {
    const int64_t speed = ini.ReadInteger("ReadSpeed" + std::to_string(n), 0);
    if (speed >= speeds.Low && speed <= speeds.High) ReadSpeedLists[index].Add(static_cast<uint32_t>(speed));
  }
}

void LoadDriveIni(const fs::path& folder) {
  TKrFastIniReader ini((folder / kDriveIni).string());
  for (uint32_t i = 0; i < CdRoms.GetCount() && i < kMaxCdRoms; ++i) ReadDriveSection(ini, i);
}

void SaveDriveIni(const fs::path& folder) {
  TKrFastIniWriter ini((folder / kDriveIni).string());
  for (uint32_t i = 0; i < CdRoms.GetCount() && i < kMaxCdRoms; ++i) {
    const TKrCdRom& drive = *CdRoms.GetCdRom(i);
    ini.AddSection(drive.GetDriveName());
    ini.WriteString("DeviceName", Trim(drive.GetProduct()));
    for (const TSettingRange& k : kDriveSettingRanges) WriteDriveKey(ini, k, DriveSettings[i]);
    const TReadSpeedList& speeds = ReadSpeedLists[i];
    ini.WriteInteger("NumReadSpeeds", speeds.GetCount());
    for (uint32_t n = 0; n < speeds.GetCount(); ++n) ini.WriteInteger("ReadSpeed" + std::to_string(n), speeds.Get(n));
  }
  ini.UpdateFile();
}

// Quarnel.ini keys in file order. [ISO9660] holds LittleEndian twice: the first line is
// the byte-order preference, the second the list-only option.
using TOptionField = std::variant<bool*, int32_t*, int64_t*, std::string*>;
struct TOptionKey {
  const char* Section;
  const char* Key;
  TOptionField Field;
};

const TOptionKey kOptionKeys[] = {
    {"Toc", "Manual", &Manual},
    {"Toc", "Leadout", &Leadout},
    {"Toc", "FastSearch", &FastSearch},
    {"Toc", "LastAddress", &LastAddress},
    {"Toc", "MaxLeadout", &MaxLeadout},
    {"Toc", "NoDialog", &NoDialog},
    {"CDDA", "DeEmph", &DeEmph},
    {"CDDA", "Volume", &Volume},
    {"ISO9660", "ReadPvd", &ReadPvd},
    {"ISO9660", "ReadSvd", &ReadSvd},
    {"ISO9660", "ReadTable", &ReadTable},
    {"ISO9660", "LittleEndian", &LittleEndian},
    {"ISO9660", "LittleEndian", &ListOnly},
    {"ISO9660", "DetectDir", &DetectDir},
    {"ISO9660", "DetectDirInReading", &DetectDirInReading},
    {"ISO9660", "UsePlugin", &UsePlugin},
    {"ISO9660", "UsePluginInReading", &UsePluginInReading},
    {"ISO9660", "TailZeroMode", &TailZeroMode},
    {"ISO9660", "TailZeroVal", &TailZeroVal},
    {"ISO9660", "DivAtErr", &DivAtErr},
    {"ISO9660", "DelTailZero", &DelTailZero},
    {"Path", "TrackDir", &TrackDir},
    {"Path", "MultiDir", &MultiDir},
    {"Path", "CddaDir", &CddaDir},
    {"Path", "FileExtractDir", &FileExtractDir},
    {"Path", "FileReadDir", &FileReadDir},
};

struct TOptionReader {
  TKrFastIniReader& Ini;
  const char* Key;
  void operator()(bool* v) const { *v = Ini.ReadBool(Key, *v); }
  void operator()(int32_t* v) const { *v = static_cast<int32_t>(static_cast<uint32_t>(Ini.ReadInteger(Key, *v))); }
  void operator()(int64_t* v) const { *v = Ini.ReadInteger(Key, *v); }
  void operator()(std::string* v) const { *v = Ini.ReadString(Key, ""); }
};

struct TOptionWriter {
  TKrFastIniWriter& Ini;
  const char* Key;
  void operator()(bool* v) const { Ini.WriteBool(Key, *v); }
  void operator()(int32_t* v) const { Ini.WriteInteger(Key, static_cast<uint32_t>(*v)); }
  void operator()(int64_t* v) const { Ini.WriteInteger(Key, *v); }
  void operator()(std::string* v) const { Ini.WriteString(Key, *v); }
};

// Values a dialog could never set are held to what the dialogs allow.
void ClampOptions() {
  LastAddress = std::clamp<int64_t>(LastAddress, 0, kLastFrame);
  MaxLeadout = std::clamp<int64_t>(MaxLeadout, 1, 600);
  Volume = std::clamp(Volume, 0, 100);
  // The scan reads the choice unsigned: a negative one lies beyond the list too.
  if (TailZeroMode < 0 || TailZeroMode > kNoSplitMode) TailZeroMode = kNoSplitMode;
  TailZeroVal = std::clamp(TailZeroVal, 1, static_cast<int>(kRawSectorSize));
}

int32_t LoadQuarnelIni(const fs::path& folder, int32_t driveBoxLines) {
  TKrFastIniReader ini((folder / kQuarnelIni).string());
  int32_t selection = -1;
  ini.SelectSection("Drive");
  const std::string selected = ini.ReadString("Selected", "");
  for (uint32_t i = 0; i < CdRoms.GetCount(); ++i) {
    if (CdRoms.GetCdRom(i)->GetDriveName() != selected) continue;
    if (static_cast<int32_t>(i) < driveBoxLines) selection = static_cast<int32_t>(i);
    break;
  }
  const char* section = "";
  for (const TOptionKey& k : kOptionKeys) {
    if (std::string_view(section) != k.Section) ini.SelectSection(section = k.Section);
    std::visit(TOptionReader{ini, k.Key}, k.Field);
  }
  ClampOptions();
  return selection;
}

void SaveQuarnelIni(const fs::path& folder, int32_t selectedIndex) {
  TKrFastIniWriter ini((folder / kQuarnelIni).string());
  ini.AddSection("Drive");
  if (const TKrCdRom* drive = selectedIndex >= 0 ? CdRoms.GetCdRom(static_cast<uint32_t>(selectedIndex)) : nullptr)
    ini.WriteString("Selected", drive->GetDriveName());
  const char* section = "";
  for (const TOptionKey& k : kOptionKeys) {
    if (std::string_view(section) != k.Section) ini.AddSection(section = k.Section);
    std::visit(TOptionWriter{ini, k.Key}, k.Field);
  }
  ini.UpdateFile();
}

void ApplyPluginOrder(TKrFastIniReader& ini) {
  ini.SelectSection("Order");
  const int64_t count = std::clamp<int64_t>(ini.ReadInteger("NumPlugins", 0), 0, kMaxPluginEntries);
  std::vector<std::pair<std::string, bool>> order;
  for (int64_t k = 0; k < count; ++k) {
    const std::string index = std::to_string(k);
    std::string name = ini.ReadString(index + "_Filename", "");
    const bool enabled = ini.ReadBool(index + "_Enabled", true);
    order.emplace_back(std::move(name), enabled);
  }
  PluginManager.ApplyOrder(order);
}

void LoadPluginIni(const fs::path& folder, const fs::path& programFolder) {
  const fs::path fallback = PluginFolderOf(programFolder);
  fs::path directory = fallback;
  std::unique_ptr<TKrFastIniReader> ini;
  try {
    ini = std::make_unique<TKrFastIniReader>((folder / kPluginIni).string());
    ini->SelectSection("Common");
    directory = ini->ReadString("Directory", fallback.string());
  } catch (...) {
    ini.reset();
  }
  std::error_code ec;
  if (directory.empty() || !fs::is_directory(directory, ec)) directory = fallback;
  PluginManager.LoadPlugins(directory.string());
  if (!ini) return;
  try {
    ApplyPluginOrder(*ini);
  } catch (...) {
    // The plug-ins stay in folder order, all enabled.
  }
}

void SavePluginIni(const fs::path& folder) {
  TKrFastIniWriter ini((folder / kPluginIni).string());
  ini.AddSection("Common");
  ini.WriteString("Directory", PluginManager.GetDirectory());
  ini.AddSection("Order");
  ini.WriteInteger("NumPlugins", PluginManager.GetCount());
  for (unsigned k = 0; k < PluginManager.GetCount(); ++k) {
    ini.WriteString(std::to_string(k) + "_Filename", PluginManager.GetFileName(k));
    ini.WriteBool(std::to_string(k) + "_Enabled", PluginManager.GetEnabled(k));
  }
  ini.UpdateFile();
}

template <typename F>
void Guarded(F&& step) {
  try {
    step();
  } catch (...) {
    // Settings files are best effort: what was read so far stays, the rest keeps its default.
  }
}

}  // namespace

int32_t LoadSettingsFiles(const TSettingsLocations& where, int32_t driveBoxLines) {
  if (CdRoms.GetCount() > 0) CurrentDriveIndex = 0;
  for (uint32_t i = 0; i < CdRoms.GetCount() && i < kMaxCdRoms; ++i) ApplyDrivePresets(i);
  int32_t selection = -1;
  Guarded([&] { LoadDriveIni(where.SettingsFolder); });
  Guarded([&] { selection = LoadQuarnelIni(where.SettingsFolder, driveBoxLines); });
  Guarded([&] { LoadPluginIni(where.SettingsFolder, where.ProgramFolder); });
  return selection;
}

void SaveSettingsFiles(const TSettingsLocations& where, int32_t selectedIndex) {
  Guarded([&] { SaveQuarnelIni(where.SettingsFolder, selectedIndex); });
  Guarded([&] { SaveDriveIni(where.SettingsFolder); });
  Guarded([&] { SavePluginIni(where.SettingsFolder); });
}
