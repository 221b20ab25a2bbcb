// "Key=Value" settings of the .flt [Drive] and [Faults] sections, as the command-line
// tool takes them.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/DiscBuilder.h"

namespace emu {

namespace {

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

bool Same(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::vector<std::string> SplitCommas(const std::string& value) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t comma = value.find(',', start);
    parts.push_back(Trim(std::string_view(value).substr(start, comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return parts;
}

// Decimal, or hexadecimal with 0x.
bool ParseNumber(const std::string& text, int64_t& out) {
  std::string_view s = text;
  bool negative = false;
  if (!s.empty() && s[0] == '-') {
    negative = true;
    s.remove_prefix(1);
  }
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  uint64_t value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
  if (ec != std::errc() || end != s.data() + s.size() || value > 0x7FFFFFFFull) return false;
  out = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
  return true;
}

// Sense codes are written in hexadecimal with or without 0x.
bool ParseHexByte(const std::string& text, uint8_t& out) {
  std::string_view s = text;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
  unsigned value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, 16);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || value > 0xFF) return false;
  out = static_cast<uint8_t>(value);
  return true;
}

bool ParseRanged(const std::string& text, int64_t low, int64_t high, int64_t& out) {
  return ParseNumber(text, out) && out >= low && out <= high;
}

bool ParseFlag(const std::string& text, bool& out) {
  if (text == "0" || text == "1") {
    out = text == "1";
    return true;
  }
  return false;
}

// "FIRST-LAST" or "LBA", inclusive, into [first, end).
bool ParseRange(const std::string& text, int32_t& first, int32_t& end) {
  size_t dash = text.find('-', 1);  // a leading '-' would be a sign
  int64_t a = 0, b = 0;
  if (dash == std::string::npos) {
    if (!ParseRanged(text, 0, 449999, a)) return false;
    b = a;
  } else if (!ParseRanged(Trim(text.substr(0, dash)), 0, 449999, a) ||
             !ParseRanged(Trim(text.substr(dash + 1)), 0, 449999, b) || b < a) {
    return false;
  }
  first = static_cast<int32_t>(a);
  end = static_cast<int32_t>(b + 1);
  return true;
}

bool Bad(const std::string& key, const std::string& value, const std::string& expected, std::string& error) {
  error = "bad value \"" + value + "\" for " + key + " (expected " + expected + ")";
  return false;
}

bool ParseByteFault(const std::string& key, const std::string& value, bool hard, FaultSet& faults,
                    std::string& error) {
  auto parts = SplitCommas(value);
  int64_t lba = 0, offset = 0, mask = 0;
  if (parts.size() != 3 || !ParseRanged(parts[0], 0, 449999, lba) || !ParseRanged(parts[1], 0, 2351, offset) ||
      !ParseRanged(parts[2], 1, 255, mask))
    return Bad(key, value, "LBA,offset 0..2351,XOR mask 1..255", error);
  faults.Bytes.push_back(
      {static_cast<int32_t>(lba), static_cast<uint16_t>(offset), static_cast<uint8_t>(mask), hard});
  return true;
}

}  // namespace

bool ApplyDriveSetting(DriveProfile& profile, const std::string& rawKey, const std::string& rawValue,
                       std::string& error) {
  const std::string key = Trim(rawKey), value = Trim(rawValue);
  int64_t n = 0;
  bool flag = false;
  auto text = [&](std::string& field, size_t width) {
    if (value.empty() || value.size() > width)
      return Bad(key, value, "1 to " + std::to_string(width) + " characters", error);
    field = value;
    return true;
  };
  if (Same(key, "Vendor")) return text(profile.Vendor, 8);
  if (Same(key, "Product")) return text(profile.Product, 16);
  if (Same(key, "Revision")) return text(profile.Revision, 4);
  if (Same(key, "AnsiVersion")) {
    if (!ParseRanged(value, 0, 7, n)) return Bad(key, value, "0..7", error);
    profile.AnsiVersion = static_cast<uint8_t>(n);
    return true;
  }
  struct FlagKey {
    const char* Name;
    bool DriveProfile::*Field;
  };
  static constexpr FlagKey kFlags[] = {{"BcdToc", &DriveProfile::BcdToc},
                                       {"BinaryQ", &DriveProfile::BinaryQ},
                                       {"BlockDescriptor", &DriveProfile::BlockDescriptor},
                                       {"ReadCdda", &DriveProfile::ReadCddaSupported},
                                       {"SetSpeed", &DriveProfile::SetSpeedSupported},
                                       {"ScrambleAudioReads", &DriveProfile::ScrambleAudioReads}};
  for (const FlagKey& f : kFlags) {
    if (!Same(key, f.Name)) continue;
    if (!ParseFlag(value, flag)) return Bad(key, value, "0 or 1", error);
    profile.*f.Field = flag;
    return true;
  }
  if (Same(key, "Speeds")) {
    std::vector<uint16_t> speeds;
    for (const std::string& part : SplitCommas(value)) {
      if (!ParseRanged(part, 1, 65535, n) || (!speeds.empty() && n <= speeds.back()))
        return Bad(key, value, "ascending speeds in kB/s, comma separated", error);
      speeds.push_back(static_cast<uint16_t>(n));
    }
    profile.Speeds = std::move(speeds);
    return true;
  }
  if (Same(key, "AudioOffset") || Same(key, "Jitter")) {
    if (!ParseRanged(value, Same(key, "Jitter") ? 0 : -100000, 100000, n))
      return Bad(key, value, "a number of samples", error);
    (Same(key, "Jitter") ? profile.Jitter : profile.AudioOffset) = static_cast<int32_t>(n);
    return true;
  }
  if (Same(key, "Form2Size")) {
    if (!ParseNumber(value, n) || (n != 2328 && n != 2324)) return Bad(key, value, "2328 or 2324", error);
    profile.Form2Size = static_cast<uint32_t>(n);
    return true;
  }
  if (Same(key, "LegacyToc")) {
    if (Same(value, "Honour"))
      profile.LegacyToc = LegacyTocPolicy::Honour;
    else if (Same(value, "Reject"))
      profile.LegacyToc = LegacyTocPolicy::Reject;
    else if (Same(value, "Format0"))
      profile.LegacyToc = LegacyTocPolicy::Format0;
    else
      return Bad(key, value, "Honour, Reject or Format0", error);
    return true;
  }
  if (Same(key, "DefaultRetryCount") || Same(key, "DefaultErrorRecovery")) {
    if (!ParseRanged(value, 0, 255, n)) return Bad(key, value, "0..255", error);
    (Same(key, "DefaultRetryCount") ? profile.DefaultRetryCount : profile.DefaultErrorRecovery) =
        static_cast<uint8_t>(n);
    return true;
  }
  error = "unknown drive setting \"" + key + "\"";
  return false;
}

bool ApplyFaultSetting(FaultSet& faults, const std::string& rawKey, const std::string& rawValue, std::string& error) {
  const std::string key = Trim(rawKey), value = Trim(rawValue);
  int64_t n = 0;
  bool flag = false;
  if (Same(key, "Unreadable")) {
    auto parts = SplitCommas(value);
    UnreadableFault f{};
    f.Asc = 0x11;
    f.Ascq = 0x00;
    if ((parts.size() != 1 && parts.size() != 3) || !ParseRange(parts[0], f.FirstLba, f.EndLba) ||
        (parts.size() == 3 && (!ParseHexByte(parts[1], f.Asc) || !ParseHexByte(parts[2], f.Ascq))))
      return Bad(key, value, "FIRST-LAST[,ASC,ASCQ] with hexadecimal sense codes", error);
    faults.Unreadable.push_back(f);
    return true;
  }
  if (Same(key, "Retry")) {
    auto parts = SplitCommas(value);
    RetryFault f{};
    if (parts.size() != 2 || !ParseRange(parts[0], f.FirstLba, f.EndLba) || !ParseRanged(parts[1], 1, 255, n))
      return Bad(key, value, "FIRST-LAST,RETRIES with RETRIES 1..255", error);
    f.RetriesNeeded = static_cast<uint8_t>(n);
    faults.Retry.push_back(f);
    return true;
  }
  if (Same(key, "SoftByte")) return ParseByteFault(key, value, false, faults, error);
  if (Same(key, "HardByte")) return ParseByteFault(key, value, true, faults, error);
  if (Same(key, "Toc")) {
    if (Same(value, "None"))
      faults.Toc = TocFailure::None;
    else if (Same(value, "Legacy"))
      faults.Toc = TocFailure::Legacy;
    else if (Same(value, "Both"))
      faults.Toc = TocFailure::Both;
    else
      return Bad(key, value, "None, Legacy or Both", error);
    return true;
  }
  if (Same(key, "BeyondLeadOut")) {
    static constexpr std::pair<const char*, BeyondLeadOut> kModes[] = {
        {"Serve", BeyondLeadOut::Serve},         {"Refuse", BeyondLeadOut::Refuse},
        {"Drift", BeyondLeadOut::Drift},         {"Scrambled", BeyondLeadOut::Scrambled},
        {"ByteOffset", BeyondLeadOut::ByteOffset}, {"NotReady", BeyondLeadOut::NotReady}};
    for (const auto& [name, mode] : kModes) {
      if (Same(value, name)) {
        faults.Beyond = mode;
        return true;
      }
    }
    return Bad(key, value, "Serve, Refuse, Drift, Scrambled, ByteOffset or NotReady", error);
  }
  if (Same(key, "BeyondFrom")) {
    if (!ParseRanged(value, -1, 449999, n)) return Bad(key, value, "an LBA or -1", error);
    faults.BeyondFromLba = static_cast<int32_t>(n);
    return true;
  }
  if (Same(key, "BeyondAmount")) {
    if (!ParseRanged(value, -100000, 100000, n)) return Bad(key, value, "a number of frames or bytes", error);
    faults.BeyondAmount = static_cast<int32_t>(n);
    return true;
  }
  if (Same(key, "Command")) {
    auto parts = SplitCommas(value);
    CommandFault f{};
    if (parts.size() != 6 || !ParseHexByte(parts[0], f.Opcode) || !ParseRanged(parts[1], 0, 0x7FFFFFFF, n) ||
        !(Same(parts[2], "CheckCondition") || Same(parts[2], "Timeout")) || !ParseHexByte(parts[3], f.Key) ||
        f.Key > 0x0F || !ParseHexByte(parts[4], f.Asc) || !ParseHexByte(parts[5], f.Ascq))
      return Bad(key, value, "OPCODE,NTH,CheckCondition|Timeout,KEY,ASC,ASCQ (hexadecimal codes)", error);
    f.Nth = static_cast<uint32_t>(n);
    f.Kind = Same(parts[2], "Timeout") ? CommandFaultKind::Timeout : CommandFaultKind::CheckCondition;
    faults.Commands.push_back(f);
    return true;
  }
  struct FlagKey {
    const char* Name;
    bool FaultSet::*Field;
  };
  static constexpr FlagKey kFlags[] = {{"NoMedium", &FaultSet::NoMedium},
                                       {"BecomingReadyOnce", &FaultSet::BecomingReadyOnce},
                                       {"UnitAttentionOnce", &FaultSet::UnitAttentionOnce}};
  for (const FlagKey& f : kFlags) {
    if (!Same(key, f.Name)) continue;
    if (!ParseFlag(value, flag)) return Bad(key, value, "0 or 1", error);
    faults.*f.Field = flag;
    return true;
  }
  error = "unknown fault setting \"" + key + "\"";
  return false;
}

}  // namespace emu
