#pragma once
// Pieces shared by the image-set units: the ini reader, field parsing, safe file
// writing, and the .ccd/.flt readers.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/Disc.h"

namespace emu::imageset {

// ---- ini text ----

struct IniEntry {
  std::string Key;    // lower case, inner blanks collapsed ("index 1")
  std::string Written;  // the key as written, for messages
  std::string Value;  // trimmed, comment removed
  int Line = 0;
};

struct IniSection {
  std::string Name;  // lower case, inner blanks collapsed ("entry 3")
  std::string Written;  // the name as written, for messages
  int Line = 0;
  std::vector<IniEntry> Entries;
  // The last entry with this key (any case), or null.
  const IniEntry* Find(std::string_view key) const;
};

// Sections in file order. Text after ';' is a comment; CR LF and LF both end lines.
// Fails on a line that is neither a section, a KEY=VALUE pair nor blank, and on a
// pair before any section.
bool ParseIni(std::string_view text, std::vector<IniSection>& sections, std::string& error);

// "entry 12" with prefix "entry" gives 12; false when the name is not prefix + number.
bool NumberedSection(const std::string& name, std::string_view prefix, int& number);

// ---- values ----

// Decimal, or hexadecimal with a 0x prefix; optional sign. Whole text must be a number.
bool ParseInteger(std::string_view text, int64_t& value);
// Hexadecimal with or without a 0x prefix.
bool ParseHex(std::string_view text, int64_t& value);
std::vector<std::string_view> SplitFields(std::string_view text, char separator);
bool EqualsNoCase(std::string_view a, std::string_view b);

// Whether FieldReader::Integer insists on the key.
constexpr bool kRequired = true;
constexpr bool kOptional = false;

// Reads numbers out of one section, with messages that name the line and key.
class FieldReader {
 public:
  FieldReader(const IniSection& section, std::string& error) : Section(section), Error(error) {}
  // False (with a message) when the key is present but bad, or absent and required.
  bool Integer(std::string_view key, int64_t min, int64_t max, int64_t& value, bool required);
  template <typename T>
  bool Integer(std::string_view key, int64_t min, int64_t max, T& value, bool required) {
    int64_t wide = static_cast<int64_t>(value);
    if (!Integer(key, min, max, wide, required)) return false;
    value = static_cast<T>(wide);
    return true;
  }
  bool Flag(std::string_view key, bool& value);
  std::string Where(const IniEntry& entry) const;

 private:
  const IniSection& Section;
  std::string& Error;
};

// ---- files ----

// Reads a small text file (a control or fault file), refusing anything huge.
bool ReadTextFile(const std::filesystem::path& path, std::string& text, std::string& error);

// A file written under a temporary name beside its target and renamed over it by
// Commit; dropped without Commit, the temporary is removed.
class AtomicFile {
 public:
  explicit AtomicFile(std::filesystem::path target);
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();
  bool Open(std::string& error);
  bool Write(const void* data, size_t size, std::string& error);
  bool Commit(std::string& error);

 private:
  std::filesystem::path Target;
  std::filesystem::path Temporary;
  int Fd = -1;
};

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content, std::string& error);

// ---- the control file (.ccd) ----

struct TrackRecord {
  int Number = 0;
  int Mode = 0;  // 0 audio, 1 Mode 1, 2 Mode 2
  std::optional<int32_t> Index0;
  int32_t Index1 = 0;
};

struct ControlData {
  std::vector<TocDescriptor> Toc;
  std::vector<TrackRecord> Tracks;  // ascending by number
};

bool ParseControlFile(std::string_view text, ControlData& data, std::string& error);
std::string FormatControlFile(const Disc& disc);
// The recorded areas implied by the tracks and the lead-outs of the TOC.
std::vector<Extent> DeriveLayout(const ControlData& control, const SectorStore* store);

// ---- the fault file (.flt) ----

struct FaultFileData {
  DriveProfile Profile;
  FaultSet Faults;
  bool HasLayout = false;  // a [Layout] section was present
  std::vector<Extent> Layout;
  std::optional<uint8_t> FirstSession, LastSession;
};

bool ParseFaultFile(std::string_view text, FaultFileData& data, std::string& error);
// One entry of [Drive] or [Faults]: the one reading of their keys, for the loader and for
// the builder's --drive and --fault. An unknown key is refused.
bool ParseDriveEntry(const IniSection& section, const IniEntry& entry, DriveProfile& profile, std::string& error);
bool ParseFaultEntry(const IniSection& section, const IniEntry& entry, FaultSet& faults, std::string& error);
// An entry as the line "key=value" would give it, from no file.
IniEntry MakeEntry(std::string_view key, std::string_view value);
// False when a value cannot be written so that it reads back the same.
bool FormatFaultFile(const Disc& disc, std::string& text, std::string& error);

}  // namespace emu::imageset
