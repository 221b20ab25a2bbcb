#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/OutputFile.h"
#include "plugins/Formatplugin.h"
#include "recovery/Isoextracter.h"
#include "recovery/IsoextracterInternal.h"
#include "recovery/Outputname.h"
#include "sector/Datasector.h"

namespace {

constexpr int kTypeNameBytes = 1024;
constexpr int kExtensionBytes = 16;

// A text the plug-in writes into our buffer; "" when it fails to answer.
std::string PluginText(TFormatPlugin& plugin, int (TFormatPlugin::*get)(int, char*), int size) {
  std::vector<char> buffer(static_cast<size_t>(size), '\0');
  try {
    (plugin.*get)(size, buffer.data());
  } catch (...) {
    return {};
  }
  buffer.back() = '\0';
  return buffer.data();
}

}  // namespace

// One file being cut out: the window holds the user data the plug-in has not accepted
// yet, at most the rest of one sector and one whole sector.
struct TIsoExtracter::TCarve {
  explicit TCarve(TFormatPlugin& plugin) : Plugin(plugin) {}
  TFormatPlugin& Plugin;
  std::array<uint8_t, 2 * kRawSectorSize> Window{};
  uint32_t Available = 0;
  int64_t Current = 0;   // the last sector whose data was loaded
  bool PendingRead = true;  // whether Current was read, marked once its data is consumed
  bool End = false;
  uint64_t Total = 0;
  int64_t Position = 0;  // the last sector the file holds
  uint32_t Unread = 0;   // sectors of the file written as zeros
  platform::OutputFile File;
};

bool TIsoExtracter::ExtractByPlugin(const uint8_t* data, uint32_t size, int64_t& position, TFormatPlugin& plugin,
                                    const std::string& folder, int64_t start) {
  position = start;
  TCarve carve(plugin);
  if (data == nullptr || size == 0 || size > UserSize) return false;
  std::memcpy(carve.Window.data(), data, size);
  carve.Available = size;
  carve.Current = carve.Position = start;
  std::string leaf;
  if (!ListOnly && !carve.File.CreateUnique(folder, std::to_string(start), leaf)) {
    OutputFailed();
    return false;
  }
  Report(pcSetText, 0, "Extracting " + PluginText(plugin, &TFormatPlugin::GetTypeName, kTypeNameBytes) + "...");
  while (Head.KeepGoing() && !carve.End) CarveRound(carve);
  CarveFinish(carve, folder, start);
  position = carve.Position;
  return true;
}

void TIsoExtracter::CarveRound(TCarve& carve) {
  bool end = false;
  uint32_t m = 0;
  try {
    m = carve.Plugin.FindEnd(carve.Window.data(), carve.Available, &end);
  } catch (...) {
    m = 0;  // a plug-in that fails ends its file where it stands
  }
  carve.End = end || m == 0;
  if (m == 0) return;
  if (m <= carve.Available)
    CarveConsume(carve, m);
  else
    CarveSkip(carve, m);
  if (Head.KeepGoing() && !carve.End && carve.Available < UserSize) CarveRefill(carve);
}

bool TIsoExtracter::CarveWrite(TCarve& carve, const uint8_t* data, uint32_t bytes) {
  carve.Total += bytes;
  if (ListOnly || carve.File.Write(data, bytes)) return true;
  OutputFailed();
  return false;
}

// The plug-in accepted m bytes of the window.
void TIsoExtracter::CarveConsume(TCarve& carve, uint32_t m) {
  if (!CarveWrite(carve, carve.Window.data(), m)) return;
  std::memmove(carve.Window.data(), carve.Window.data() + m, carve.Available - m);
  carve.Available -= m;
  if (carve.End && carve.Available >= UserSize) {
    carve.Position = carve.Current - 1;  // the last loaded sector holds none of the file
    return;
  }
  carve.Position = carve.Current;
  CarveMark(carve, carve.PendingRead);
}

// The file runs m bytes on, past the window: the sectors between go to the file unseen.
void TIsoExtracter::CarveSkip(TCarve& carve, uint64_t m) {
  carve.Position = carve.Current;
  CarveMark(carve, carve.PendingRead);
  if (!CarveWrite(carve, carve.Window.data(), carve.Available)) return;
  const uint64_t beyond = m - carve.Available;
  carve.Available = 0;
  uint64_t whole = beyond / UserSize;
  const uint32_t rest = static_cast<uint32_t>(beyond % UserSize);
  for (; whole > 0 && Head.KeepGoing(); --whole) {
    if (!CarveNextSector(carve)) return;
    if (!CarveWrite(carve, UserData(), UserSize)) return;
  }
  if (rest != 0 && Head.KeepGoing() && CarveNextSector(carve)) {
    if (!CarveWrite(carve, UserData(), rest)) return;
    std::memcpy(carve.Window.data(), UserData() + rest, UserSize - rest);
    carve.Available = UserSize - rest;
  }
}

// Reads the sector after Current into the sector buffer, as the file's last, and marks it;
// false at the end of the track, where every file ends whatever its plug-in says.
bool TIsoExtracter::CarveNextSector(TCarve& carve) {
  if (carve.Current + 1 >= TrackEnd) {
    carve.End = true;
    return false;
  }
  carve.Position = ++carve.Current;
  CarveMark(carve, ReadUserData(carve.Current));
  return true;
}

void TIsoExtracter::CarveMark(TCarve& carve, bool read) {
  if (!read) ++carve.Unread;
  Mark(carve.Current, read);
}

void TIsoExtracter::CarveRefill(TCarve& carve) {
  if (carve.Current + 1 >= TrackEnd) {
    carve.End = true;
    return;
  }
  ++carve.Current;
  carve.PendingRead = ReadUserData(carve.Current);
  std::memcpy(carve.Window.data() + carve.Available, UserData(), UserSize);
  carve.Available += UserSize;
}

void TIsoExtracter::CarveFinish(TCarve& carve, const std::string& folder, int64_t start) {
  const std::string extension =
      carve.Total != 0 ? PluginText(carve.Plugin, &TFormatPlugin::GetExtension, kExtensionBytes) : std::string();
  std::string name = SafeLeafName(std::to_string(start) + "_" + std::to_string(carve.Position) + extension);
  if (carve.File.IsOpen()) {
    const std::string path = carve.File.Path();
    if (!carve.File.Close()) return OutputFailed();
    if (carve.Total == 0) {
      ::unlink(path.c_str());
    } else {
      std::string chosen;
      if (!platform::RenameUnique(path, folder, name, chosen)) return OutputFailed();
      name = chosen;
    }
  }
  if (carve.Total == 0) return;
  TExtractedFile node;
  node.Kind = nkCarved;
  node.TypeName = PluginText(carve.Plugin, &TFormatPlugin::GetTypeName, kTypeNameBytes);
  node.Start = start;
  node.Size = static_cast<uint32_t>(std::min<uint64_t>(carve.Total, UINT32_MAX));
  node.Name = name;
  node.SectorMode = static_cast<uint8_t>(SectorMode);
  node.TrackEnd = TrackEnd;
  node.UnreadSectors = carve.Unread;
  Root.Children.push_back(std::move(node));
}
