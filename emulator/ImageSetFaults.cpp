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
constexpr int64_t kMaxNeighbourOffset = 1000;  // frames: further than any drive mis-seeks
constexpr int64_t kMaxServiceMs = 3600000;  // an hour: even 255 retries of it fit in 32 bits of milliseconds

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
constexpr std::array<Named<PartialBlocks>, 3> kPartialBlocks{
    {{PartialBlocks::Exact, "Exact"}, {PartialBlocks::Missing, "Missing"}, {PartialBlocks::Garbage, "Garbage"}}};
constexpr std::array<Named<PartialInfo>, 3> kPartialInfos{
    {{PartialInfo::Failing, "Failing"}, {PartialInfo::First, "First"}, {PartialInfo::None, "None"}}};
constexpr std::array<Named<PartialResidual>, 2> kPartialResiduals{
    {{PartialResidual::Exact, "Exact"}, {PartialResidual::Zero, "Zero"}}};
constexpr std::array<Named<GapAnswer>, 5> kGapAnswers{{{GapAnswer::Medium, "Medium"},
                                                       {GapAnswer::NoSeek, "NoSeek"},
                                                       {GapAnswer::OutOfRange, "OutOfRange"},
                                                       {GapAnswer::EndOfUserArea, "EndOfUserArea"},
                                                       {GapAnswer::IllegalMode, "IllegalMode"}}};
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

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

std::string Range(int32_t first, int32_t end) {
  return end - 1 == first ? std::to_string(first) : std::to_string(first) + "-" + std::to_string(end - 1);
}

// One key of a section: how its value is read into the owner, and the lines the owner
// writes for it (one, or one per item of a list key).
template <typename Owner>
struct Key {
  using Lines = std::vector<std::pair<const char*, std::string>>;
  const char* Name;
  bool (*Parse)(EntryParser&, const std::string&, Owner&);
  Lines (*Format)(const Owner&);
};

template <typename Owner, auto Field>
bool FlagKey(EntryParser& parse, const std::string&, Owner& owner) {
  return parse.Flag(owner.*Field);
}
template <typename Owner, auto Field, int64_t Min, int64_t Max>
bool IntKey(EntryParser& parse, const std::string& value, Owner& owner) {
  return parse.Int(value, Min, Max, owner.*Field);
}
template <typename Owner, auto Field, const char* Name>
typename Key<Owner>::Lines Number(const Owner& owner) {
  return {{Name, std::to_string(owner.*Field)}};
}
template <typename Owner, auto Field, const auto& Names>
bool ChoiceKey(EntryParser& parse, const std::string& value, Owner& owner) {
  return parse.Choice(value, Names, owner.*Field);
}
template <typename Owner, auto Field, const auto& Names, const char* Name>
typename Key<Owner>::Lines Choice(const Owner& owner) {
  return {{Name, NameOf(Names, owner.*Field)}};
}
template <typename Owner, auto Field>
bool HexByteKey(EntryParser& parse, const std::string& value, Owner& owner) {
  return parse.HexByte(value, 255, owner.*Field);
}
template <auto Field, size_t Length>
bool IdentityKey(EntryParser& parse, const std::string& value, DriveProfile& profile) {
  return ParseIdentity(parse, value, Length, profile.*Field);
}
template <auto Field, const char* Name>
Key<DriveProfile>::Lines Text(const DriveProfile& profile) {
  return {{Name, profile.*Field}};
}

bool SpeedsKey(EntryParser& parse, const std::string& value, DriveProfile& profile) {
  std::vector<uint16_t> speeds;
  if (!value.empty())
    for (std::string_view field : SplitFields(value, ',')) {
      uint16_t speed = 0;
      if (!parse.Int(field, 1, 65535, speed)) return false;
      speeds.push_back(speed);
    }
  profile.Speeds = std::move(speeds);
  return true;
}

bool Form2SizeKey(EntryParser& parse, const std::string& value, DriveProfile& profile) {
  if (!parse.Int(value, 2324, 2328, profile.Form2Size)) return false;
  if (profile.Form2Size != 2324 && profile.Form2Size != 2328) return parse.Fail("must be 2324 or 2328");
  return true;
}

constexpr char kVendor[] = "Vendor", kProduct[] = "Product", kRevision[] = "Revision", kAnsi[] = "AnsiVersion",
               kBcdToc[] = "BcdToc", kBinaryQ[] = "BinaryQ", kSpeeds[] = "Speeds", kAudioOffset[] = "AudioOffset",
               kJitter[] = "Jitter", kForm2Size[] = "Form2Size", kBlockDescriptor[] = "BlockDescriptor",
               kLegacyToc[] = "LegacyToc", kReadCdda[] = "ReadCdda", kSetSpeed[] = "SetSpeed",
               kScramble[] = "ScrambleAudioReads", kRetryCount[] = "DefaultRetryCount",
               kErrorRecovery[] = "DefaultErrorRecovery", kPartial[] = "PartialBlocks", kInfo[] = "PartialInfo",
               kResidual[] = "PartialResidual", kFailTime[] = "FailTimeMs", kRetryTime[] = "RetryTimeMs",
               kResetOnTimeout[] = "ResetOnTimeout", kRawUncorrectable[] = "RawUncorrectable", kGap[] = "GapAnswer",
               kGapTime[] = "GapTimeMs", kAnyTypeStops[] = "AnyTypeStops", kTypeFromHeader[] = "TypeFromHeader",
               kCacheRepeat[] = "CacheRepeat", kFilter[] = "FilterVendorCommands", kStrictMode[] = "StrictModeCommands",
               kRead10Density[] = "Read10NeedsDensity", kPage01Dropped[] = "Page01Dropped", kQCrcZero[] = "QCrcZero";

using P = DriveProfile;
const Key<P> kDriveKeys[] = {
    {kVendor, IdentityKey<&P::Vendor, 8>, Text<&P::Vendor, kVendor>},
    {kProduct, IdentityKey<&P::Product, 16>, Text<&P::Product, kProduct>},
    {kRevision, IdentityKey<&P::Revision, 4>, Text<&P::Revision, kRevision>},
    {kAnsi, IntKey<P, &P::AnsiVersion, 0, 255>, Number<P, &P::AnsiVersion, kAnsi>},
    {kBcdToc, FlagKey<P, &P::BcdToc>, Number<P, &P::BcdToc, kBcdToc>},
    {kBinaryQ, FlagKey<P, &P::BinaryQ>, Number<P, &P::BinaryQ, kBinaryQ>},
    {kSpeeds, SpeedsKey,
     [](const P& p) {
       std::string speeds;
       for (uint16_t speed : p.Speeds) speeds += (speeds.empty() ? "" : ",") + std::to_string(speed);
       return Key<P>::Lines{{kSpeeds, speeds}};
     }},
    {kAudioOffset, IntKey<P, &P::AudioOffset, kInt32Min, kInt32Max>, Number<P, &P::AudioOffset, kAudioOffset>},
    {kJitter, IntKey<P, &P::Jitter, 0, kInt32Max>, Number<P, &P::Jitter, kJitter>},
    {kForm2Size, Form2SizeKey, Number<P, &P::Form2Size, kForm2Size>},
    {kBlockDescriptor, FlagKey<P, &P::BlockDescriptor>, Number<P, &P::BlockDescriptor, kBlockDescriptor>},
    {kLegacyToc, ChoiceKey<P, &P::LegacyToc, kLegacyPolicies>, Choice<P, &P::LegacyToc, kLegacyPolicies, kLegacyToc>},
    {kReadCdda, FlagKey<P, &P::ReadCddaSupported>, Number<P, &P::ReadCddaSupported, kReadCdda>},
    {kSetSpeed, FlagKey<P, &P::SetSpeedSupported>, Number<P, &P::SetSpeedSupported, kSetSpeed>},
    {kScramble, FlagKey<P, &P::ScrambleAudioReads>, Number<P, &P::ScrambleAudioReads, kScramble>},
    {kRetryCount, IntKey<P, &P::DefaultRetryCount, 0, 255>, Number<P, &P::DefaultRetryCount, kRetryCount>},
    {kErrorRecovery, IntKey<P, &P::DefaultErrorRecovery, 0, 255>,
     [](const P& p) { return Key<P>::Lines{{kErrorRecovery, Hex(p.DefaultErrorRecovery)}}; }},
    {kPartial, ChoiceKey<P, &P::Partial, kPartialBlocks>, Choice<P, &P::Partial, kPartialBlocks, kPartial>},
    {kInfo, ChoiceKey<P, &P::Info, kPartialInfos>, Choice<P, &P::Info, kPartialInfos, kInfo>},
    {kResidual, ChoiceKey<P, &P::Residual, kPartialResiduals>, Choice<P, &P::Residual, kPartialResiduals, kResidual>},
    {kFailTime, IntKey<P, &P::FailTimeMs, 0, kMaxServiceMs>, Number<P, &P::FailTimeMs, kFailTime>},
    {kRetryTime, IntKey<P, &P::RetryTimeMs, 0, kMaxServiceMs>, Number<P, &P::RetryTimeMs, kRetryTime>},
    {kResetOnTimeout, FlagKey<P, &P::ResetOnTimeout>, Number<P, &P::ResetOnTimeout, kResetOnTimeout>},
    {kRawUncorrectable, FlagKey<P, &P::RawUncorrectable>, Number<P, &P::RawUncorrectable, kRawUncorrectable>},
    {kGap, ChoiceKey<P, &P::Gap, kGapAnswers>, Choice<P, &P::Gap, kGapAnswers, kGap>},
    {kGapTime, IntKey<P, &P::GapTimeMs, 0, kMaxServiceMs>, Number<P, &P::GapTimeMs, kGapTime>},
    {kAnyTypeStops, FlagKey<P, &P::AnyTypeStops>, Number<P, &P::AnyTypeStops, kAnyTypeStops>},
    {kTypeFromHeader, FlagKey<P, &P::TypeFromHeader>, Number<P, &P::TypeFromHeader, kTypeFromHeader>},
    {kCacheRepeat, FlagKey<P, &P::CacheRepeat>, Number<P, &P::CacheRepeat, kCacheRepeat>},
    {kFilter, FlagKey<P, &P::FilterVendorCommands>, Number<P, &P::FilterVendorCommands, kFilter>},
    {kStrictMode, FlagKey<P, &P::StrictModeCommands>, Number<P, &P::StrictModeCommands, kStrictMode>},
    {kRead10Density, FlagKey<P, &P::Read10NeedsDensity>, Number<P, &P::Read10NeedsDensity, kRead10Density>},
    {kPage01Dropped, HexByteKey<P, &P::Page01Dropped>,
     [](const P& p) { return Key<P>::Lines{{kPage01Dropped, Hex(p.Page01Dropped)}}; }},
    {kQCrcZero, FlagKey<P, &P::QCrcZero>, Number<P, &P::QCrcZero, kQCrcZero>},
};

bool UnreadableKey(EntryParser& parse, const std::string& value, FaultSet& faults) {
  std::vector<std::string_view> fields = SplitFields(value, ',');
  UnreadableFault fault{};  // an unrecovered read error unless the entry names another code
  if (!parse.FieldCount(fields, 1, 3) || !parse.Range(fields[0], fault.FirstLba, fault.EndLba)) return false;
  if (fields.size() >= 2 && !parse.HexByte(fields[1], 255, fault.Asc)) return false;
  if (fields.size() == 3 && !parse.HexByte(fields[2], 255, fault.Ascq)) return false;
  faults.Unreadable.push_back(fault);
  return true;
}

// "first-last,number": a range of sectors and the count (retries, a percentage, an offset) it takes.
template <typename Fault, auto List, auto Count, int64_t Max, int64_t Min = 0>
bool RangeCountKey(EntryParser& parse, const std::string& value, FaultSet& faults) {
  std::vector<std::string_view> fields = SplitFields(value, ',');
  Fault fault{};
  if (!parse.FieldCount(fields, 2, 2) || !parse.Range(fields[0], fault.FirstLba, fault.EndLba) ||
      !parse.Int(fields[1], Min, Max, fault.*Count))
    return false;
  (faults.*List).push_back(fault);
  return true;
}
template <typename Fault, auto List, auto Count, const char* Name>
std::vector<std::pair<const char*, std::string>> RangeCountLines(const FaultSet& faults) {
  std::vector<std::pair<const char*, std::string>> lines;
  for (const Fault& f : faults.*List) lines.emplace_back(Name, Range(f.FirstLba, f.EndLba) + "," + std::to_string(f.*Count));
  return lines;
}

template <bool Hard>
bool ByteKey(EntryParser& parse, const std::string& value, FaultSet& faults) {
  std::vector<std::string_view> fields = SplitFields(value, ',');
  ByteFault fault{};
  fault.Hard = Hard;
  if (!parse.FieldCount(fields, 3, 3) || !parse.Int(fields[0], 0, kMaxFaultLba, fault.Lba) ||
      !parse.Int(fields[1], 0, 2351, fault.Offset) || !parse.HexByte(fields[2], 255, fault.Xor))
    return false;
  faults.Bytes.push_back(fault);
  return true;
}

bool CommandKey(EntryParser& parse, const std::string& value, FaultSet& faults) {
  std::vector<std::string_view> fields = SplitFields(value, ',');
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

constexpr char kFlaky[] = "Flaky", kNeighbour[] = "Neighbour";
constexpr char kUnreadable[] = "Unreadable", kRetry[] = "Retry", kSoftByte[] = "SoftByte", kHardByte[] = "HardByte",
               kToc[] = "Toc", kBeyondLeadOut[] = "BeyondLeadOut", kBeyondFrom[] = "BeyondFrom",
               kBeyondAmount[] = "BeyondAmount", kCommand[] = "Command", kNoMedium[] = "NoMedium",
               kBecomingReady[] = "BecomingReadyOnce", kUnitAttention[] = "UnitAttentionOnce";

using F = FaultSet;
const Key<F> kFaultKeys[] = {
    {kUnreadable, UnreadableKey,
     [](const F& f) {
       Key<F>::Lines lines;
       for (const UnreadableFault& u : f.Unreadable)
         lines.emplace_back(kUnreadable, Range(u.FirstLba, u.EndLba) + "," + Hex(u.Asc) + "," + Hex(u.Ascq));
       return lines;
     }},
    {kRetry, RangeCountKey<RetryFault, &F::Retry, &RetryFault::RetriesNeeded, 255>,
     RangeCountLines<RetryFault, &F::Retry, &RetryFault::RetriesNeeded, kRetry>},
    {kFlaky, RangeCountKey<FlakyFault, &F::Flaky, &FlakyFault::Percent, 100>,
     RangeCountLines<FlakyFault, &F::Flaky, &FlakyFault::Percent, kFlaky>},
    {kNeighbour,
     RangeCountKey<NeighbourFault, &F::Neighbour, &NeighbourFault::Offset, kMaxNeighbourOffset, -kMaxNeighbourOffset>,
     RangeCountLines<NeighbourFault, &F::Neighbour, &NeighbourFault::Offset, kNeighbour>},
    // Soft and hard byte faults are one list: written in its own order.
    {kSoftByte, ByteKey<false>,
     [](const F& f) {
       Key<F>::Lines lines;
       for (const ByteFault& b : f.Bytes)
         lines.emplace_back(b.Hard ? kHardByte : kSoftByte,
                            std::to_string(b.Lba) + "," + std::to_string(b.Offset) + "," + Hex(b.Xor));
       return lines;
     }},
    {kHardByte, ByteKey<true>, [](const F&) { return Key<F>::Lines{}; }},
    {kToc, ChoiceKey<F, &F::Toc, kTocFailures>, Choice<F, &F::Toc, kTocFailures, kToc>},
    {kBeyondLeadOut, ChoiceKey<F, &F::Beyond, kBeyond>, Choice<F, &F::Beyond, kBeyond, kBeyondLeadOut>},
    {kBeyondFrom, IntKey<F, &F::BeyondFromLba, -1, kInt32Max>, Number<F, &F::BeyondFromLba, kBeyondFrom>},
    {kBeyondAmount, IntKey<F, &F::BeyondAmount, kInt32Min, kInt32Max>, Number<F, &F::BeyondAmount, kBeyondAmount>},
    {kCommand, CommandKey,
     [](const F& f) {
       Key<F>::Lines lines;
       for (const CommandFault& c : f.Commands)
         lines.emplace_back(kCommand, Hex(c.Opcode) + "," + std::to_string(c.Nth) + "," +
                                          NameOf(kCommandKinds, c.Kind) + "," + Hex(c.Key) + "," + Hex(c.Asc) + "," +
                                          Hex(c.Ascq));
       return lines;
     }},
    {kNoMedium, FlagKey<F, &F::NoMedium>, Number<F, &F::NoMedium, kNoMedium>},
    {kBecomingReady, FlagKey<F, &F::BecomingReadyOnce>, Number<F, &F::BecomingReadyOnce, kBecomingReady>},
    {kUnitAttention, FlagKey<F, &F::UnitAttentionOnce>, Number<F, &F::UnitAttentionOnce, kUnitAttention>},
};

template <typename Owner, size_t N>
bool ParseKeyed(const Key<Owner> (&keys)[N], const IniSection& section, const IniEntry& entry, Owner& owner,
                std::string& error) {
  EntryParser parse(section, entry, error);
  for (const Key<Owner>& key : keys)
    if (EqualsNoCase(entry.Key, key.Name)) return key.Parse(parse, entry.Value, owner);
  // A misspelt key would silently leave its setting or fault out.
  return parse.Fail("unknown key");
}

template <typename Owner, size_t N>
void FormatKeyed(const Key<Owner> (&keys)[N], const Owner& owner, std::string& out) {
  for (const Key<Owner>& key : keys)
    for (const auto& [name, value] : key.Format(owner)) {
      out += name;
      out += '=';
      out += value;
      out += '\n';
    }
}

bool ParseLayoutEntry(const IniSection& section, const IniEntry& entry, FaultFileData& data, std::string& error) {
  EntryParser parse(section, entry, error);
  if (entry.Key == "firstsession") return parse.Int(entry.Value, 0, 255, data.FirstSession.emplace());
  if (entry.Key == "lastsession") return parse.Int(entry.Value, 0, 255, data.LastSession.emplace());
  if (entry.Key != "extent") return parse.Fail("unknown key");
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

bool ParseDriveEntry(const IniSection& section, const IniEntry& entry, DriveProfile& profile, std::string& error) {
  return ParseKeyed(kDriveKeys, section, entry, profile, error);
}

bool ParseFaultEntry(const IniSection& section, const IniEntry& entry, FaultSet& faults, std::string& error) {
  return ParseKeyed(kFaultKeys, section, entry, faults, error);
}

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
      // Other sections are left to other tools.
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
  FormatKeyed(kDriveKeys, p, out);

  Line(out, "[Layout]");
  Line(out, "FirstSession=" + std::to_string(disc.FirstSession));
  Line(out, "LastSession=" + std::to_string(disc.LastSession));
  for (const Extent& e : disc.Layout)
    Line(out, "Extent=" + std::to_string(e.FirstLba) + "," + std::to_string(e.EndLba) + "," + NameOf(kKinds, e.Kind) + "," +
                  std::to_string(e.Control));

  Line(out, "[Faults]");
  FormatKeyed(kFaultKeys, f, out);

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
