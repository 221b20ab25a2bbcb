#pragma once
// The three settings files (Quarnel.ini, Drive.ini, Plugin.ini): defaults, the presets
// each drive gets from its identity, loading and saving. Each file is handled on its
// own: an error abandons the rest of that file silently and keeps the values so far.
#include <cstdint>
#include <filesystem>

// The folder holding the running program.
std::filesystem::path GetProgramFolder();
// $XDG_CONFIG_HOME/Ostrel/Quarnel (~/.config/Ostrel/Quarnel when unset), created with
// its parents; the program's folder when it cannot be made.
std::filesystem::path GetSettingsFolder();

// Every option, drive record and read-speed list to its default, and the engines' own
// option defaults.
void SetDefaultSettings();

struct TSettingsLocations {
  std::filesystem::path SettingsFolder;
  std::filesystem::path ProgramFolder;  // its "Plugin" folder is the default plug-in folder
};

// Presets, then Drive.ini, Quarnel.ini and Plugin.ini (which loads the plug-ins).
// `driveBoxLines` is the number of lines of the drive box; the result is the line the
// Selected drive names, or -1 when it names none.
int32_t LoadSettingsFiles(const TSettingsLocations& where, int32_t driveBoxLines);
// Writes all three files whole; `selectedIndex` is the drive box's selection (-1: none).
void SaveSettingsFiles(const TSettingsLocations& where, int32_t selectedIndex);

// The presets a drive gets before Drive.ini is read: pass-through when ASPI cannot reach
// it, the command set and read offset of one drive maker.
void ApplyDrivePresets(uint32_t index);
