#pragma once
// Settings folders, a program folder with real plug-ins and a machine of emulated drives
// for the application's tests. The globals are reset around each test.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/Global.h"
#include "app/Settingsfiles.h"
#include "tests/support/DriveMachine.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace app_test {

namespace fs = std::filesystem;

using test_support::ReadText;
using test_support::WriteFile;

// A program folder whose Plugin folder holds copies of some of the real plug-ins.
inline void CopyPlugins(const fs::path& programFolder, const std::vector<std::string>& names) {
  fs::create_directories(programFolder / "Plugin");
  for (const std::string& name : names)
    fs::copy_file(fs::path(QNL_REAL_PLUGIN_DIR) / name, programFolder / "Plugin" / name);
}

// Every global back to its start: no drives, no plug-ins, defaults.
inline void ResetGlobals() {
  PluginManager.UnloadPlugins();
  CdRoms.Clear();
  ClearTrackList();
  SetDefaultSettings();
  TrackDir = MultiDir = CddaDir = FileExtractDir = FileReadDir = "";
}

inline std::vector<std::string> PluginFileNames() {
  std::vector<std::string> names;
  for (unsigned i = 0; i < PluginManager.GetCount(); ++i) names.push_back(PluginManager.GetFileName(i));
  return names;
}

// A machine of these emulated drives, with or without the ASPI manager.
inline test_support::MachineSpec Drives(std::vector<std::shared_ptr<emu::EmulatedDrive>> drives, bool aspi = true) {
  test_support::MachineSpec spec;
  spec.Drives = std::move(drives);
  spec.AspiPresent = aspi;
  return spec;
}

}  // namespace app_test
