#include "emulator/ImageSet.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "emulator/ImageSetInternal.h"
#include "sector/Datasector.h"

namespace emu {

namespace {

using namespace imageset;
namespace fs = std::filesystem;

constexpr int32_t kSectorsPerWrite = 256;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// NAME from NAME.ccd, NAME.img, NAME.sub, NAME.flt or NAME itself.
fs::path BaseOf(const fs::path& path) {
  std::string extension = Lower(path.extension().string());
  if (extension == ".ccd" || extension == ".img" || extension == ".sub" || extension == ".flt") {
    fs::path base = path;
    return base.replace_extension();
  }
  return path;
}

// NAME.ext, or NAME.EXT when only that exists.
fs::path Sibling(const fs::path& base, const std::string& extension) {
  fs::path lower = base.string() + "." + extension;
  std::error_code ec;
  if (fs::exists(lower, ec)) return lower;
  std::string upperExtension = extension;
  for (char& c : upperExtension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  fs::path upper = base.string() + "." + upperExtension;
  return fs::exists(upper, ec) ? upper : lower;
}

bool WriteSectors(const fs::path& path, const SectorStore* store, int32_t count, bool sub, std::string& error) {
  const size_t bytes = sub ? kSubchannelSize : kRawSectorSize;
  AtomicFile file(path);
  if (!file.Open(error)) return false;
  std::vector<uint8_t> buffer;
  buffer.reserve(bytes * kSectorsPerWrite);
  for (int32_t lba = 0; lba < count; ++lba) {
    const uint8_t* data = sub ? store->Sub(lba) : store->Main(lba);
    if (data)
      buffer.insert(buffer.end(), data, data + bytes);
    else
      buffer.resize(buffer.size() + bytes, 0);
    if (buffer.size() >= bytes * kSectorsPerWrite || lba + 1 == count) {
      if (!file.Write(buffer.data(), buffer.size(), error)) return false;
      buffer.clear();
    }
  }
  return file.Commit(error);
}

}  // namespace

bool LoadImageSet(const fs::path& path, Disc& disc, std::string& error) {
  const fs::path base = BaseOf(path);
  const fs::path ccdPath = Sibling(base, "ccd");
  const fs::path fltPath = Sibling(base, "flt");

  std::string text;
  ControlData control;
  if (!ReadTextFile(ccdPath, text, error)) return false;
  if (!ParseControlFile(text, control, error)) {
    error = ccdPath.string() + ": " + error;
    return false;
  }
  std::shared_ptr<const MappedSectorStore> store = MappedSectorStore::Open(Sibling(base, "img"), Sibling(base, "sub"), error);
  if (!store) return false;

  FaultFileData faults;
  std::error_code ec;
  if (fs::exists(fltPath, ec)) {
    if (!ReadTextFile(fltPath, text, error)) return false;
    if (!ParseFaultFile(text, faults, error)) {
      error = fltPath.string() + ": " + error;
      return false;
    }
  }

  Disc loaded;
  loaded.Toc = std::move(control.Toc);
  loaded.Layout = faults.HasLayout ? std::move(faults.Layout) : DeriveLayout(ControlData{loaded.Toc, control.Tracks}, store.get());
  uint8_t firstSession = 1, lastSession = 1;
  if (!loaded.Toc.empty()) {
    auto [low, high] = std::minmax_element(loaded.Toc.begin(), loaded.Toc.end(),
                                           [](const TocDescriptor& a, const TocDescriptor& b) { return a.Session < b.Session; });
    firstSession = low->Session;
    lastSession = high->Session;
  }
  loaded.FirstSession = faults.FirstSession.value_or(firstSession);
  loaded.LastSession = faults.LastSession.value_or(lastSession);
  loaded.Store = std::move(store);
  loaded.Profile = std::move(faults.Profile);
  loaded.Faults = std::move(faults.Faults);
  disc = std::move(loaded);
  return true;
}

bool WriteControlFile(const fs::path& ccdPath, const Disc& disc, std::string& error) {
  return WriteFileAtomically(ccdPath, FormatControlFile(disc), error);
}

bool WriteFaultFile(const fs::path& fltPath, const Disc& disc, std::string& error) {
  std::string text;
  if (!FormatFaultFile(disc, text, error)) {
    error = fltPath.string() + ": " + error;
    return false;
  }
  return WriteFileAtomically(fltPath, text, error);
}

bool SaveImageSet(const fs::path& ccdPath, const Disc& disc, std::string& error) {
  const fs::path base = BaseOf(ccdPath);
  const SectorStore* store = disc.Store.get();
  const int32_t count = store ? store->SectorCount() : 0;
  int32_t subCount = 0;
  while (subCount < count && store->Sub(subCount)) ++subCount;

  // The fault file is checked first: nothing is written for a disc it cannot describe.
  std::string faultText;
  if (!FormatFaultFile(disc, faultText, error)) {
    error = (base.string() + ".flt: ") + error;
    return false;
  }
  if (!WriteSectors(base.string() + ".img", store, count, false, error)) return false;
  if (subCount > 0) {
    if (!WriteSectors(base.string() + ".sub", store, subCount, true, error)) return false;
  } else {
    // A .sub left from an earlier set would serve the wrong sub-channel.
    std::error_code ec;
    fs::remove(base.string() + ".sub", ec);
    if (ec) {
      error = base.string() + ".sub: cannot remove: " + ec.message();
      return false;
    }
  }
  return WriteControlFile(base.string() + ".ccd", disc, error) &&
         WriteFileAtomically(base.string() + ".flt", faultText, error);
}

}  // namespace emu
