#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

#include "emulator/ImageSetInternal.h"

namespace emu::imageset {

namespace {

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kMaxFaultLba = kInt32Max - 1;  // the exclusive end must still fit

template <typename Enum>
struct Named {
  Enum Value;
  const char* Name;
};

constexpr std::array<Named<SectorKind>, 5> kKinds{{{SectorKind::Audio, "AUDIO"},
                                                   {SectorKind::Mode1, "MODE1"},
                                                   {SectorKind::Mode2Form1, "MODE2FORM1"},
                                                   {SectorKind::Mode2Form2, "MODE2FORM2"},
                                                   {SectorKind::Mode2Formless, "MODE2"}}};
constexpr std::array<Named<LegacyTocPolicy>, 3> kLegacyPolicies{
    {{LegacyTocPolicy::Honour, "Honour"}, {LegacyTocPolicy::Reject, "Reject"}, {LegacyTocPolicy::Format0, "Format0"}}};
constexpr std::array<Named<TocFailure>, 3> kTocFailures{
    {{TocFailure::None, "None"}, {TocFailure::Legacy, "Legacy"}, {TocFailure::Both, "Both"}}};
constexpr std::array<Named<BeyondLeadOut>, 6> kBeyond{{{BeyondLeadOut::Serve, "Serve"},
                                                       {BeyondLeadOut::Refuse, "Refuse"},
                                                       {BeyondLeadOut::Drift, "Drift"},
                                                       {BeyondLeadOut::Scrambled, "Scrambled"},
                                                       {BeyondLeadOut::ByteOffset, "ByteOffset"},
                                                       {BeyondLeadOut::NotReady, "NotReady"}}};
constexpr std::array<Named<CommandFaultKind>, 2> kCommandKinds{
    {{CommandFaultKind::CheckCondition, "CheckCondition"}, {CommandFaultKind::Timeout, "Timeout"}}};

template <typename Enum, size_t N>
const char* NameOf(const std::array<Named<Enum>, N>& names, Enum value) {
  for (const auto& named : names)
    if (named.Value == value) return named.Name;
  return "?";
}

std::string ChoicesOf(const auto& names) {
  std::string text;
  for (const auto& named : names) text += (text.empty() ? "" : " | ") + std::string(named.Name);
  return text;
}

// Parses the value of one entry, with messages naming its line and key.
class EntryParser {
 public:
  EntryParser(const IniSection& section, const IniEntry& entry, std::string& error)
      : Reader(section, error), Entry(entry), Error(error) {}

  bool Fail(const std::string& what) {
    Error = Reader.Where(Entry) + ": " + what;
    return false;
  }
  bool Int(std::string_view text, int64_t min, int64_t max, int64_t& value) {
    if (!ParseInteger(text, value)) return Fail("\"" + std::string(text) + "\" is not a number");
    return InRange(text, min, max, value);
  }
  bool HexByte(std::string_view text, int64_t max, int64_t& value) {
    if (!ParseHex(text, value)) return Fail("\"" + std::string(text) + "\" is not a hexadecimal number");
    return InRange(text, 0, max, value);
  }
  template <typename T>
  bool Int(std::string_view text, int64_t min, int64_t max, T& value) {
    int64_t wide = 0;
    if (!Int(text, min, max, wide)) return false;
    value = static_cast<T>(wide);
    return true;
  }
  template <typename T>
  bool HexByte(std::string_view text, int64_t max, T& value) {
    int64_t wide = 0;
    if (!HexByte(text, max, wide)) return false;
    value = static_cast<T>(wide);
    return true;
  }
  bool Flag(bool& value) {
    int64_t number = 0;
    if (!Int(Entry.Value, 0, 1, number)) return false;
    value = number != 0;
    return true;
  }
  template <typename Enum, size_t N>
  bool Choice(std::string_view text, const std::array<Named<Enum>, N>& names, Enum& value) {
    for (const auto& named : names)
      if (EqualsNoCase(text, named.Name)) {
        value = named.Value;
        return true;
      }
    return Fail("\"" + std::string(text) + "\" is not one of " + ChoicesOf(names));
  }
  // "first-last" or a single LBA; inclusive, so the end returned is last + 1.
  bool Range(std::string_view text, int32_t& first, int32_t& end) {
    std::vector<std::string_view> bounds = SplitFields(text, '-');
    if (bounds.size() > 2 || bounds.front().empty() || bounds.back().empty())
      return Fail("\"" + std::string(text) + "\" is not an LBA range first-last (LBAs are not negative)");
    int64_t low = 0, high = 0;
    if (!Int(bounds[0], 0, kMaxFaultLba, low)) return false;
    high = low;
    if (bounds.size() == 2 && !Int(bounds[1], 0, kMaxFaultLba, high)) return false;
    if (high < low) return Fail("the range " + std::string(text) + " ends before it starts");
    first = static_cast<int32_t>(low);
    end = static_cast<int32_t>(high + 1);
    return true;
  }
  bool FieldCount(const std::vector<std::string_view>& fields, size_t min, size_t max) {
    if (fields.size() < min || fields.size() > max)
      return Fail("expected " + (min == max ? std::to_string(min) : std::to_string(min) + " to " + std::to_string(max)) +
                  " comma-separated fields");
    return true;
  }

 private:
  bool InRange(std::string_view text, int64_t min, int64_t max, int64_t value) {
    if (value < min || value > max)
      return Fail(std::string(text) + " is out of range " + std::to_string(min) + ".." + std::to_string(max));
    return true;
  }

  FieldReader Reader;
  const IniEntry& Entry;
  std::string& Error;
};

bool ParseIdentity(EntryParser& parse, const std::string& value, size_t maxLength, std::string& out) {
  if (value.size() > maxLength) return parse.Fail("longer than " + std::to_string(maxLength) + " characters");
  for (char c : value)
    if (c < 0x20 || c > 0x7E) return parse.Fail("only printable ASCII characters are allowed");
  out = value;
  return true;
}

bool ParseDriveEntry(const IniSection& section, const IniEntry& entry, DriveProfile& profile, std::string& error) {
  EntryParser parse(section, entry, error);
  const std::string& key = entry.Key;
  const std::string& value = entry.Value;
  if (key == "vendor") return ParseIdentity(parse, value, 8, profile.Vendor);
  if (key == "product") return ParseIdentity(parse, value, 16, profile.Product);
  if (key == "revision") return ParseIdentity(parse, value, 4, profile.Revision);
  if (key == "ansiversion") return parse.Int(value, 0, 255, profile.AnsiVersion);
  if (key == "bcdtoc") return parse.Flag(profile.BcdToc);
  if (key == "binaryq") return parse.Flag(profile.BinaryQ);
  if (key == "speeds") {
    profile.Speeds.clear();
    if (value.empty()) return true;
    for (std::string_view field : SplitFields(value, ',')) {
      uint16_t speed = 0;
      if (!parse.Int(field, 1, 65535, speed)) return false;
      profile.Speeds.push_back(speed);
    }
    return true;
  }
  if (key == "audiooffset") return parse.Int(value, kInt32Min, kInt32Max, profile.AudioOffset);
  if (key == "jitter") return parse.Int(value, 0, kInt32Max, profile.Jitter);
  if (key == "form2size") {
    if (!parse.Int(value, 2324, 2328, profile.Form2Size)) return false;
    if (profile.Form2Size != 2324 && profile.Form2Size != 2328) return parse.Fail("must be 2324 or 2328");
    return true;
  }
  if (key == "blockdescriptor") return parse.Flag(profile.BlockDescriptor);
  if (key == "legacytoc") return parse.Choice(value, kLegacyPolicies, profile.LegacyToc);
  if (key == "readcdda") return parse.Flag(profile.ReadCddaSupported);
  if (key == "setspeed") return parse.Flag(profile.SetSpeedSupported);
  if (key == "scrambleaudioreads") return parse.Flag(profile.ScrambleAudioReads);
  if (key == "defaultretrycount") return parse.Int(value, 0, 255, profile.DefaultRetryCount);
  if (key == "defaulterrorrecovery") return parse.Int(value, 0, 255, profile.DefaultErrorRecovery);
  return true;  // unknown keys are ignored
}

bool ParseLayoutEntry(const IniSection& section, const IniEntry& entry, FaultFileData& data, std::string& error) {
  EntryParser parse(section, entry, error);
  if (entry.Key == "firstsession") return parse.Int(entry.Value, 0, 255, data.FirstSession.emplace());
  if (entry.Key == "lastsession") return parse.Int(entry.Value, 0, 255, data.LastSession.emplace());
  if (entry.Key != "extent") return true;
  std::vector<std::string_view> fields = SplitFields(entry.Value, ',');
  Extent extent;
  if (!parse.FieldCount(fields, 3, 4) || !parse.Int(fields[0], kInt32Min, kInt32Max, extent.FirstLba) ||
      !parse.Int(fields[1], kInt32Min, kInt32Max, extent.EndLba) || !parse.Choice(fields[2], kKinds, extent.Kind))
    return false;
  if (extent.EndLba <= extent.FirstLba) return parse.Fail("the extent ends before it starts");
  extent.Control = extent.Kind == SectorKind::Audio ? 0 : 4;
  if (fields.size() == 4 && !parse.Int(fields[3], 0, 15, extent.Control)) return false;
  data.Layout.push_back(extent);
  return true;
}

bool ParseFaultEntry(const IniSection& section, const IniEntry& entry, FaultSet& faults, std::string& error) {
  EntryParser parse(section, entry, error);
  const std::string& key = entry.Key;
  const std::string& value = entry.Value;
  std::vector<std::string_view> fields = SplitFields(value, ',');
  if (key == "unreadable") {
    UnreadableFault fault{};
    fault.Asc = 0x11;
    fault.Ascq = 0x00;
    if (!parse.FieldCount(fields, 1, 3) || !parse.Range(fields[0], fault.FirstLba, fault.EndLba)) return false;
    if (fields.size() >= 2 && !parse.HexByte(fields[1], 255, fault.Asc)) return false;
    if (fields.size() == 3 && !parse.HexByte(fields[2], 255, fault.Ascq)) return false;
    faults.Unreadable.push_back(fault);
    return true;
  }
  if (key == "retry") {
    RetryFault fault{};
    if (!parse.FieldCount(fields, 2, 2) || !parse.Range(fields[0], fault.FirstLba, fault.EndLba) ||
        !parse.Int(fields[1], 0, 255, fault.RetriesNeeded))
      return false;
    faults.Retry.push_back(fault);
    return true;
  }
  if (key == "softbyte" || key == "hardbyte") {
    ByteFault fault{};
    fault.Hard = key == "hardbyte";
    if (!parse.FieldCount(fields, 3, 3) || !parse.Int(fields[0], 0, kMaxFaultLba, fault.Lba) ||
        !parse.Int(fields[1], 0, 2351, fault.Offset) || !parse.HexByte(fields[2], 255, fault.Xor))
      return false;
    faults.Bytes.push_back(fault);
    return true;
  }
  if (key == "command") {
    CommandFault fault;
    if (!parse.FieldCount(fields, 3, 6) || !parse.HexByte(fields[0], 255, fault.Opcode) ||
        !parse.Int(fields[1], 0, 0xFFFFFFFF, fault.Nth) || !parse.Choice(fields[2], kCommandKinds, fault.Kind))
      return false;
    if (fields.size() >= 4 && !parse.HexByte(fields[3], 15, fault.Key)) return false;
    if (fields.size() >= 5 && !parse.HexByte(fields[4], 255, fault.Asc)) return false;
    if (fields.size() >= 6 && !parse.HexByte(fields[5], 255, fault.Ascq)) return false;
    faults.Commands.push_back(fault);
    return true;
  }
  if (key == "toc") return parse.Choice(value, kTocFailures, faults.Toc);
  if (key == "beyondleadout") return parse.Choice(value, kBeyond, faults.Beyond);
  if (key == "beyondfrom") return parse.Int(value, -1, kInt32Max, faults.BeyondFromLba);
  if (key == "beyondamount") return parse.Int(value, kInt32Min, kInt32Max, faults.BeyondAmount);
  if (key == "nomedium") return parse.Flag(faults.NoMedium);
  if (key == "becomingreadyonce") return parse.Flag(faults.BecomingReadyOnce);
  if (key == "unitattentiononce") return parse.Flag(faults.UnitAttentionOnce);
  return true;
}

bool CheckLayout(const std::vector<Extent>& layout, std::string& error) {
  std::vector<Extent> sorted = layout;
  std::sort(sorted.begin(), sorted.end(), [](const Extent& a, const Extent& b) { return a.FirstLba < b.FirstLba; });
  for (size_t i = 1; i < sorted.size(); ++i)
    if (sorted[i].FirstLba < sorted[i - 1].EndLba) {
      error = "[Layout] extents " + std::to_string(sorted[i - 1].FirstLba) + "," + std::to_string(sorted[i - 1].EndLba) +
              " and " + std::to_string(sorted[i].FirstLba) + "," + std::to_string(sorted[i].EndLba) + " overlap";
      return false;
    }
  return true;
}

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

std::string Range(int32_t first, int32_t end) {
  return end - 1 == first ? std::to_string(first) : std::to_string(first) + "-" + std::to_string(end - 1);
}

void Line(std::string& out, const std::string& text) {
  out += text;
  out += '\n';
}

bool CheckIdentity(const char* key, const std::string& value, size_t maxLength, std::string& error) {
  bool printable = std::all_of(value.begin(), value.end(), [](char c) { return c >= 0x20 && c <= 0x7E && c != ';'; });
  bool trimmed = value.empty() || (value.front() != ' ' && value.back() != ' ');
  if (value.size() <= maxLength && printable && trimmed) return true;
  error = std::string(key) + " \"" + value + "\" must be at most " + std::to_string(maxLength) +
          " printable characters without ';' or surrounding blanks";
  return false;
}

}  // namespace

bool ParseFaultFile(std::string_view text, FaultFileData& data, std::string& error) {
  std::vector<IniSection> sections;
  if (!ParseIni(text, sections, error)) return false;
  FaultFileData result;
  for (const IniSection& section : sections) {
    for (const IniEntry& entry : section.Entries) {
      bool ok = true;
      if (section.Name == "drive")
        ok = ParseDriveEntry(section, entry, result.Profile, error);
      else if (section.Name == "layout")
        ok = ParseLayoutEntry(section, entry, result, error);
      else if (section.Name == "faults")
        ok = ParseFaultEntry(section, entry, result.Faults, error);
      if (!ok) return false;
    }
    if (section.Name == "layout") result.HasLayout = true;
  }
  if (!CheckLayout(result.Layout, error)) return false;
  data = std::move(result);
  return true;
}

bool FormatFaultFile(const Disc& disc, std::string& text, std::string& error) {
  const DriveProfile& p = disc.Profile;
  const FaultSet& f = disc.Faults;
  if (!CheckIdentity("Vendor", p.Vendor, 8, error) || !CheckIdentity("Product", p.Product, 16, error) ||
      !CheckIdentity("Revision", p.Revision, 4, error))
    return false;

  std::string out;
  Line(out, "; Drive profile, true layout and faults of the disc in the .ccd/.img/.sub beside this file.");
  Line(out, "[Drive]");
  Line(out, "Vendor=" + p.Vendor);
  Line(out, "Product=" + p.Product);
  Line(out, "Revision=" + p.Revision);
  Line(out, "AnsiVersion=" + std::to_string(p.AnsiVersion));
  Line(out, "BcdToc=" + std::to_string(p.BcdToc));
  Line(out, "BinaryQ=" + std::to_string(p.BinaryQ));
  std::string speeds;
  for (uint16_t speed : p.Speeds) speeds += (speeds.empty() ? "" : ",") + std::to_string(speed);
  Line(out, "Speeds=" + speeds);
  Line(out, "AudioOffset=" + std::to_string(p.AudioOffset));
  Line(out, "Jitter=" + std::to_string(p.Jitter));
  Line(out, "Form2Size=" + std::to_string(p.Form2Size));
  Line(out, "BlockDescriptor=" + std::to_string(p.BlockDescriptor));
  Line(out, std::string("LegacyToc=") + NameOf(kLegacyPolicies, p.LegacyToc));
  Line(out, "ReadCdda=" + std::to_string(p.ReadCddaSupported));
  Line(out, "SetSpeed=" + std::to_string(p.SetSpeedSupported));
  Line(out, "ScrambleAudioReads=" + std::to_string(p.ScrambleAudioReads));
  Line(out, "DefaultRetryCount=" + std::to_string(p.DefaultRetryCount));
  Line(out, "DefaultErrorRecovery=" + Hex(p.DefaultErrorRecovery));

  Line(out, "[Layout]");
  Line(out, "FirstSession=" + std::to_string(disc.FirstSession));
  Line(out, "LastSession=" + std::to_string(disc.LastSession));
  for (const Extent& e : disc.Layout)
    Line(out, "Extent=" + std::to_string(e.FirstLba) + "," + std::to_string(e.EndLba) + "," + NameOf(kKinds, e.Kind) + "," +
                  std::to_string(e.Control));

  Line(out, "[Faults]");
  for (const UnreadableFault& u : f.Unreadable)
    Line(out, "Unreadable=" + Range(u.FirstLba, u.EndLba) + "," + Hex(u.Asc) + "," + Hex(u.Ascq));
  for (const RetryFault& r : f.Retry) Line(out, "Retry=" + Range(r.FirstLba, r.EndLba) + "," + std::to_string(r.RetriesNeeded));
  for (const ByteFault& b : f.Bytes)
    Line(out, std::string(b.Hard ? "HardByte=" : "SoftByte=") + std::to_string(b.Lba) + "," + std::to_string(b.Offset) + "," +
                  Hex(b.Xor));
  Line(out, std::string("Toc=") + NameOf(kTocFailures, f.Toc));
  Line(out, std::string("BeyondLeadOut=") + NameOf(kBeyond, f.Beyond));
  Line(out, "BeyondFrom=" + std::to_string(f.BeyondFromLba));
  Line(out, "BeyondAmount=" + std::to_string(f.BeyondAmount));
  for (const CommandFault& c : f.Commands)
    Line(out, "Command=" + Hex(c.Opcode) + "," + std::to_string(c.Nth) + "," + NameOf(kCommandKinds, c.Kind) + "," +
                  Hex(c.Key) + "," + Hex(c.Asc) + "," + Hex(c.Ascq));
  Line(out, "NoMedium=" + std::to_string(f.NoMedium));
  Line(out, "BecomingReadyOnce=" + std::to_string(f.BecomingReadyOnce));
  Line(out, "UnitAttentionOnce=" + std::to_string(f.UnitAttentionOnce));

  // Whatever the reader would refuse or read differently (an empty fault range, an
  // overlapping layout, a byte offset past the sector, ...) is refused here.
  FaultFileData check;
  std::string why;
  if (!ParseFaultFile(out, check, why)) {
    error = "the disc cannot be described in a fault file: " + why;
    return false;
  }
  if (check.Profile != p || check.Faults != f || check.Layout != disc.Layout || check.FirstSession != disc.FirstSession ||
      check.LastSession != disc.LastSession) {
    error = "the disc cannot be described in a fault file: a value lies outside what the file can hold";
    return false;
  }
  text = std::move(out);
  return true;
}

}  // namespace emu::imageset
