// quarnel-discbuild: builds an image set for the emulated drive from the command line.
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/DiscBuilder.h"
#include "sector/Address.h"

namespace {

constexpr const char* kUsage = R"(Usage: quarnel-discbuild -o NAME [--force] TRACK... [DAMAGE...]
Writes the image set NAME.img, NAME.sub, NAME.ccd and NAME.flt.

Tracks, in disc order (the first session begins by itself):
  --session             begin the next session
  --mode1 FILE          Mode 1 data track from an ISO image (2048 bytes a sector)
  --form1 FILE          Mode 2 Form 1 data track from an ISO image (2048 bytes a sector)
  --form2 FILE          Mode 2 Form 2 track from raw data (2324 bytes a sector)
  --mode2 FILE          Mode 2 formless track from raw data (2336 bytes a sector)
  --audio FILE          audio track from a WAV file (PCM, 16-bit, stereo, 44100 Hz)
  --audio-emph FILE     the same, recorded with pre-emphasis
  --pcm FILE            audio track from raw PCM (16-bit little-endian stereo, 44100 Hz)
  --pcm-emph FILE       the same, recorded with pre-emphasis
  --pregap FRAMES       pregap of the next track, inside the image
                        (default: 150 where data and audio meet, else 0)
  --bare-gaps           leave the lead-out, lead-in and first pregap between
                        sessions zero and unreadable (default: recorded with their Q)
  --mode-q              put catalogue (ADR 2) and, on audio, ISRC (ADR 3) Q frames
                        among the position frames, one each in a hundred

Damage (RANGE is FIRST-LAST or one LBA, inclusive):
  --toc-drop-session N  leave session N out of the TOC; its sectors stay recorded
  --toc-drop-leadout N  leave the lead-out (A2) of session N out of the TOC
  --toc-leadout N:LBA   the TOC says session N's lead-out starts at LBA
  --q-zero RANGE        Q frames that read as zeros
  --q-crc RANGE         Q frames of garbage with a bad CRC
  --q-wrong RANGE       Q frames naming another track and index
  --fault KEY=VALUE     a [Faults] line of the .flt, for example
                          Unreadable=1000-1009[,ASC,ASCQ]  Retry=2000-2001,3
                          SoftByte=LBA,OFFSET,XOR  HardByte=LBA,OFFSET,XOR  (XOR in hex)
                          Toc=None|Legacy|Both  BeyondLeadOut=Serve|Refuse|Drift|Scrambled|ByteOffset|NotReady
                          BeyondFrom=LBA  BeyondAmount=N  Command=OP,NTH,CheckCondition|Timeout,KEY,ASC,ASCQ
                          NoMedium=1  BecomingReadyOnce=1  UnitAttentionOnce=1
  --drive KEY=VALUE     a [Drive] line of the .flt, for example
                          Vendor=PLEXTOR  BinaryQ=1  BcdToc=1  AnsiVersion=5  AudioOffset=30  Jitter=4
                          Form2Size=2324  LegacyToc=Honour|Reject|Format0  ReadCdda=0  Speeds=176,706

Output:
  -o, --output NAME     name of the set (an extension .ccd/.img/.sub/.flt is dropped)
  --force               replace an existing set of that name
  -h, --help            print this text
)";

struct Usage {
  std::string Message;
};

bool ParseInt(std::string_view text, int64_t low, int64_t high, int64_t& out) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size() && out >= low && out <= high;
}

// FIRST-LAST or LBA, inclusive, into [first, end).
bool ParseRange(std::string_view text, int32_t& first, int32_t& end) {
  const size_t dash = text.find('-');
  int64_t a = 0, b = 0;
  if (dash == std::string_view::npos) {
    if (!ParseInt(text, 0, kLastFrame, a)) return false;
    b = a;
  } else if (!ParseInt(text.substr(0, dash), 0, kLastFrame, a) || !ParseInt(text.substr(dash + 1), 0, kLastFrame, b) ||
             b < a) {
    return false;
  }
  first = static_cast<int32_t>(a);
  end = static_cast<int32_t>(b + 1);
  return true;
}

bool SplitKeyValue(const std::string& text, std::string& key, std::string& value) {
  const size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0) return false;
  key = text.substr(0, eq);
  value = text.substr(eq + 1);
  return true;
}

struct Options {
  emu::DiscSpec Spec;
  std::string Output;
  bool Force = false;
  bool Help = false;
};

// What the options read so far leave open: a pregap waits for the next track.
struct ParseState {
  int32_t PendingPregap = -1;
};

enum class Taken : uint8_t { No, Yes, Stop };

// Options without a value.
Taken ParseSwitch(const std::string& arg, Options& o, std::string& message) {
  if (arg == "-h" || arg == "--help") {
    o.Help = true;
    return Taken::Stop;
  }
  if (arg == "--force") {
    o.Force = true;
  } else if (arg == "--bare-gaps") {
    o.Spec.RecordLeadAreas = false;
  } else if (arg == "--mode-q") {
    o.Spec.ModeQFrames = true;
  } else if (arg == "--session") {
    if (o.Spec.Sessions.back().Tracks.empty()) {
      message = "--session: the current session has no track yet";
      return Taken::Stop;
    }
    o.Spec.Sessions.emplace_back();
  } else {
    return Taken::No;
  }
  return Taken::Yes;
}

bool ParseTrack(const std::string& arg, const std::string& value, ParseState& state, Options& o) {
  struct TrackOption {
    const char* Name;
    emu::SectorKind Kind;
    emu::AudioSource Audio;
    bool Emphasis;
  };
  static constexpr TrackOption kTracks[] = {
      {"--mode1", emu::SectorKind::Mode1, emu::AudioSource::Wav, false},
      {"--form1", emu::SectorKind::Mode2Form1, emu::AudioSource::Wav, false},
      {"--form2", emu::SectorKind::Mode2Form2, emu::AudioSource::Wav, false},
      {"--mode2", emu::SectorKind::Mode2Formless, emu::AudioSource::Wav, false},
      {"--audio", emu::SectorKind::Audio, emu::AudioSource::Wav, false},
      {"--audio-emph", emu::SectorKind::Audio, emu::AudioSource::Wav, true},
      {"--pcm", emu::SectorKind::Audio, emu::AudioSource::RawPcm, false},
      {"--pcm-emph", emu::SectorKind::Audio, emu::AudioSource::RawPcm, true}};
  for (const TrackOption& t : kTracks) {
    if (arg != t.Name) continue;
    emu::TrackSpec track;
    track.Kind = t.Kind;
    track.File = value;
    track.Audio = t.Audio;
    track.PreEmphasis = t.Emphasis;
    track.PregapFrames = state.PendingPregap;
    state.PendingPregap = -1;
    o.Spec.Sessions.back().Tracks.push_back(track);
    return true;
  }
  return false;
}

// The damage options; an empty message when taken.
std::string ParseDamage(const std::string& arg, const std::string& value, Options& o) {
  int64_t n = 0;
  std::string key, setting, error;
  if (arg == "--toc-drop-session" || arg == "--toc-drop-leadout") {
    if (!ParseInt(value, 1, 99, n)) return arg + ": expected a session number";
    (arg == "--toc-drop-session" ? o.Spec.Toc.DroppedSessions : o.Spec.Toc.DroppedLeadOuts)
        .push_back(static_cast<int>(n));
  } else if (arg == "--toc-leadout") {
    const size_t colon = value.find(':');
    int64_t lba = 0;
    if (colon == std::string::npos || !ParseInt(std::string_view(value).substr(0, colon), 1, 99, n) ||
        !ParseInt(std::string_view(value).substr(colon + 1), 0, kLastFrame, lba))
      return "--toc-leadout: expected SESSION:LBA";
    o.Spec.Toc.MovedLeadOuts.push_back({static_cast<int>(n), static_cast<int32_t>(lba)});
  } else if (arg == "--q-zero" || arg == "--q-crc" || arg == "--q-wrong") {
    emu::QDamage damage;
    if (!ParseRange(value, damage.FirstLba, damage.EndLba)) return arg + ": expected FIRST-LAST or LBA";
    damage.Kind = arg == "--q-zero"  ? emu::QDamageKind::Zero
                  : arg == "--q-crc" ? emu::QDamageKind::BadCrc
                                     : emu::QDamageKind::WrongTrack;
    o.Spec.QDamages.push_back(damage);
  } else if (arg == "--fault" || arg == "--drive") {
    if (!SplitKeyValue(value, key, setting)) return arg + ": expected KEY=VALUE";
    const bool ok = arg == "--fault" ? emu::ApplyFaultSetting(o.Spec.Faults, key, setting, error)
                                     : emu::ApplyDriveSetting(o.Spec.Profile, key, setting, error);
    if (!ok) return arg + ": " + error;
  } else {
    return "unknown option \"" + arg + "\"";
  }
  return {};
}

// Options with a value; an empty message when taken.
std::string ParseValued(const std::string& arg, const std::string& value, ParseState& state, Options& o) {
  if (ParseTrack(arg, value, state, o)) return {};
  int64_t n = 0;
  if (arg == "-o" || arg == "--output") {
    o.Output = value;
  } else if (arg == "--pregap") {
    if (!ParseInt(value, 0, 100000, n)) return "--pregap: expected a number of frames";
    state.PendingPregap = static_cast<int32_t>(n);
  } else {
    return ParseDamage(arg, value, o);
  }
  return {};
}

// Returns an empty message on success.
std::string Parse(int argc, char** argv, Options& o) {
  ParseState state;
  o.Spec.Sessions.emplace_back();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string message;
    const Taken taken = ParseSwitch(arg, o, message);
    if (taken == Taken::Stop) return message;
    if (taken == Taken::Yes) continue;
    if (arg.rfind("--", 0) != 0 && arg != "-o") return "unexpected argument \"" + arg + "\"";
    if (i + 1 >= argc) return arg + " needs a value";
    message = ParseValued(arg, argv[++i], state, o);
    if (!message.empty()) return message;
  }
  if (state.PendingPregap >= 0) return "--pregap: no track follows";
  if (o.Output.empty()) return "no output name (-o NAME)";
  if (o.Spec.Sessions.back().Tracks.empty())
    return o.Spec.Sessions.size() == 1 ? "no track given" : "the last session has no track";
  return {};
}

const char* KindName(emu::SectorKind kind) {
  switch (kind) {
    case emu::SectorKind::Audio: return "audio";
    case emu::SectorKind::Mode1: return "Mode 1";
    case emu::SectorKind::Mode2Form1: return "Mode 2 Form 1";
    case emu::SectorKind::Mode2Form2: return "Mode 2 Form 2";
    case emu::SectorKind::Mode2Formless: return "Mode 2";
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const std::string usageError = Parse(argc, argv, options);
  if (options.Help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!usageError.empty()) {
    std::fprintf(stderr, "quarnel-discbuild: %s\n(quarnel-discbuild --help lists the options)\n", usageError.c_str());
    return 2;
  }
  std::string error;
  emu::DiscLayout layout;
  if (!emu::BuildImageSet(options.Spec, options.Output, options.Force, error, &layout)) {
    std::fprintf(stderr, "quarnel-discbuild: %s\n", error.c_str());
    if (error.find("already exists") != std::string::npos)
      std::fputs("(--force replaces an existing set)\n", stderr);
    return 1;
  }
  for (const emu::SessionLayout& session : layout.Sessions) {
    std::printf("session %d\n", session.Number);
    for (int t = session.FirstTrack; t <= session.LastTrack; ++t) {
      const emu::TrackLayout& track = layout.Tracks[t];
      std::printf("  track %2d  %-13s LBA %6d-%6d", track.Number, KindName(track.Kind), track.StartLba,
                  track.EndLba - 1);
      if (track.PregapRecorded) std::printf("  pregap from %d", track.PregapLba);
      if (track.Control & 0x01) std::printf("  pre-emphasis");
      std::printf("\n");
    }
    std::printf("  lead-out  LBA %d\n", session.LeadOutLba);
  }
  std::printf("%d sectors written\n", layout.ImageSectors);
  return 0;
}
