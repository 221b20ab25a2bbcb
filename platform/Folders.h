#pragma once
// The folders the program keeps its files in.
#include <filesystem>

namespace platform {

// The folder of the running program (the working folder when it cannot be told).
std::filesystem::path ProgramFolder();
// "Ostrel/Quarnel" under $XDG_CONFIG_HOME (~/.config when unset), created when missing;
// the program's folder when it cannot be made.
std::filesystem::path SettingsFolder();
// True when a file can be created in `folder`.
bool IsWritableFolder(const std::filesystem::path& folder);

}  // namespace platform
