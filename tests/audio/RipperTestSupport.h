#pragma once
// An audio disc for the ripper tests, built by the disc builder from WAV files that sox
// makes at test time, and an emulated machine whose drive "D:" holds it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TestDrive.h"
#include "audio/Audioripper.h"
#include "reader/Sectorreader.h"
#include "drive/Krcdroms.h"
#include "platform/Clock.h"
#include "sector/Address.h"
#include "sector/Datasector.h"
#include "tests/support/DriveMachine.h"
#include "tests/emulator/BuilderTestSupport.h"
#include "tests/support/Files.h"
#include "tests/support/Tools.h"
#include "worker/Headlessprogressview.h"

namespace rip_test {

namespace fs = std::filesystem;
using test_support::Capture;
using test_support::Quote;
using test_support::Shell;
using Samples = std::vector<int16_t>;  // interleaved left, right
using Ranges = std::vector<std::pair<int64_t, int64_t>>;  // [first, end) sample frames

// The samples of any WAV as sox reads them.
inline Samples SoxSamples(const fs::path& wav) {
  const std::vector<uint8_t> bytes = test_support::SoxPcm(wav);
  Samples s(bytes.size() / 2);
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}

// The sox commands of the four tracks: music-like sweeps over noise, a track with
// stretches of digital silence, a pre-emphasised two-tone track (200 Hz left, 10 kHz
// right) and a last track that ends part-way through a sector.
inline const std::vector<std::string>& TrackCommands() {
  static const std::vector<std::string> commands = {
      "synth 3 sine 220-1760 pinknoise vol 0.5",
      "",  // made from pieces, below
      "synth 2 sine 200 sine 10000 vol 0.5",
      "synth 2.5 sine 3000-300 brownnoise vol 0.6",
  };
  return commands;
}

struct RipDisc {
  test_support::TempDir Dir{"qnl-rip"};
  std::shared_ptr<emu::Disc> Disc;
  emu::DiscLayout Layout;
  // What the disc records, from LBA 0, as sox read the inputs (short sectors padded).
  Samples Stream;

  TCdTrack Track(size_t index) const {
    const emu::TrackLayout& t = Layout.Tracks.at(index);
    TCdTrack track;
    track.SessionNo = 1;
    track.TrackNo = static_cast<uint8_t>(t.Number);
    track.Head = LbaToFrames(t.StartLba);
    track.Tail = LbaToFrames(t.EndLba);
    track.DataType = dtAudio;
    track.FileSystem = (t.Control & 0x01) ? fsCddaEmph : fsCdda;
    return track;
  }
  // Samples of the stream at true sample positions (frame address x 588), zeros off the disc.
  Samples Between(int64_t first, int64_t end) const {
    Samples s;
    const int64_t base = 150 * 588;
    for (int64_t p = first; p < end; ++p) {
      const int64_t i = p - base;
      const bool on = i >= 0 && 2 * i + 1 < static_cast<int64_t>(Stream.size());
      s.push_back(on ? Stream[2 * i] : 0);
      s.push_back(on ? Stream[2 * i + 1] : 0);
    }
    return s;
  }
};

inline fs::path MakeTrackWav(const fs::path& dir, size_t index) {
  const fs::path wav = dir / ("track" + std::to_string(index + 1) + ".wav");
  const std::string format = "sox -n -r 44100 -c 2 -b 16 ";
  if (index != 1) {
    if (!Shell(format + Quote(wav) + " " + TrackCommands()[index])) ADD_FAILURE() << "sox failed";
    return wav;
  }
  const fs::path tone = dir / "tone.wav", quiet = dir / "quiet.wav";
  const bool made = Shell(format + Quote(tone) + " synth 0.8 pluck C4 pluck G4") &&
                    Shell(format + Quote(quiet) + " trim 0 0.7") &&
                    Shell("sox " + Quote(tone) + " " + Quote(quiet) + " " + Quote(tone) + " " + Quote(wav));
  if (!made) ADD_FAILURE() << "sox failed";
  return wav;
}

inline std::unique_ptr<RipDisc> BuildRipDisc() {
  auto disc = std::make_unique<RipDisc>();
  emu::DiscSpec spec;
  spec.Sessions.resize(1);
  for (size_t i = 0; i < TrackCommands().size(); ++i) {
    emu::TrackSpec t;
    t.Kind = emu::SectorKind::Audio;
    t.File = MakeTrackWav(disc->Dir.Path, i);
    t.PreEmphasis = i == 2;
    spec.Sessions[0].Tracks.push_back(t);
    Samples pcm = SoxSamples(t.File);
    pcm.resize((pcm.size() + 1175) / 1176 * 1176, 0);
    disc->Stream.insert(disc->Stream.end(), pcm.begin(), pcm.end());
  }
  std::string error;
  const fs::path name = disc->Dir / "disc";
  if (!emu::BuildImageSet(spec, name, true, error, &disc->Layout)) ADD_FAILURE() << error;
  disc->Disc = test_support::LoadedDisc(disc->Dir / "disc.ccd");
  if (!disc->Disc) disc->Disc = std::make_shared<emu::Disc>();
  return disc;
}

// The sample positions [first, end) of the passes of the last rip in `log` that logged
// `entry`: each pass logs its CurrentSample before and after.
inline Ranges PassesLogging(const std::string& log, const std::string& entry) {
  const std::string at = "\nRip CurrentSample = ";
  Ranges passes;
  for (size_t pos = log.find(entry, log.rfind("\nRip\nRip HaID")); pos != std::string::npos;
       pos = log.find(entry, pos + 1)) {
    const size_t before = log.rfind(at, pos), after = log.find(at, pos);
    if (before != std::string::npos && after != std::string::npos)
      passes.emplace_back(std::atoll(&log[before + at.size()]), std::atoll(&log[after + at.size()]));
  }
  return passes;
}

// Drive "D:" holding a copy of the disc with its own profile and faults; time frozen.
class RipRig {
 public:
  // `device` (made from the emulated drive) stands between the program and the drive.
  using DeviceMaker = std::function<std::shared_ptr<platform::ScsiDevice>(std::shared_ptr<emu::EmulatedDrive>)>;
  explicit RipRig(const RipDisc& disc, const std::function<void(emu::Disc&)>& tweak = {},
                  const DeviceMaker& device = {}) {
    auto copy = std::make_shared<emu::Disc>(*disc.Disc);
    if (tweak) tweak(*copy);
    Emulated = test_support::TestDrive(copy);
    test_support::MachineSpec spec;
    spec.Drives.push_back(Emulated);
    spec.DeviceFor = device;
    Machine = std::make_unique<test_support::DriveMachine>(spec);
    TKrCdRoms list;
    list.Enumerate(3, false);
    if (const TKrCdRom* found = list.GetCdRom(0)) Drive = *found;
    Ripper.SetProgressView(&View);
  }

  // Rips into a new file; true when the rip ended as done.
  bool Rip(const TCdTrack& track, const TDriveSetting& setting) {
    Ripper.FileName = Output().string();
    Ripper.SetDrive(Drive, setting);
    return Ripper.StartRip(track);
  }
  fs::path Output() const { return Dir / "out.wav"; }
  std::string LogText() const { return test_support::ReadText(Ripper.GetLogPath()); }
  // The drive as a rip must leave it: default page 01, 2048-byte blocks, tray free.
  void ExpectDriveRestored(const std::string& what) const {
    EXPECT_EQ(Emulated->CurrentPage01(), Emulated->DefaultPage01()) << what;
    EXPECT_EQ(Emulated->BlockLength(), 2048u) << what;
    EXPECT_FALSE(Emulated->Locked()) << what;
  }

  // Rips, and checks what the test drive lets the rip be. READ CDDA where the host filters
  // it: failed, not a sample written, the drive restored (false: nothing more to check).
  // Any other rip: done.
  bool RipChecked(const TCdTrack& track, const TDriveSetting& setting, const std::string& what) {
    const bool refused = setting.DaeCmd == daeReadCdda && test_support::VendorCommandsFiltered();
    const bool done = Rip(track, setting);
    EXPECT_EQ(done, !refused) << what;
    EXPECT_EQ(Ripper.GetFailure(), refused ? fcReadRefused : fcNone) << what;
    if (!refused) return done;
    EXPECT_NE(LogText().find("\nRip Failure ReadRefused"), std::string::npos) << what;
    std::error_code ec;
    EXPECT_EQ(fs::file_size(Output(), ec), 44u) << what << ": a WAV header and no samples";
    ExpectDriveRestored(what);
    return false;
  }

  // The WAV ranges [first, end) the last rip made silent for flaky sectors of the test
  // drive, as its log tells them. Checks that the ripper and the log count every sector it
  // gave up, and that all but `others` of them (the ones the test expects) are flaky.
  Ranges FlakySilence(int64_t others, const std::string& what) const {
    const std::string log = LogText(), at = "\nRip CurrentSample = ", total = "\nRip Unreadable Sectors = ";
    const size_t run = log.rfind("\nRip\nRip HaID");
    const auto value = [&](const std::string& key, size_t from) {
      const size_t pos = log.find(key, from);
      return pos == std::string::npos ? -1 : std::atoll(&log[pos + key.size()]);
    };
    const int64_t start = value(at, log.find("Rip Ripping Loop Start", run));
    const auto given = PassesLogging(log, "\nRip Command Failure");
    Ranges flaky;
    for (const auto& [first, end] : given)
      if (test_support::FlakyOnTestDrive(static_cast<int32_t>(first / 588 - 150)))
        flaky.emplace_back(first - start, end - start);
    EXPECT_EQ(value(total, run), static_cast<int64_t>(given.size())) << what;
    EXPECT_EQ(Ripper.GetUnreadableSectors(), static_cast<int64_t>(given.size())) << what;
    EXPECT_EQ(static_cast<int64_t>(given.size() - flaky.size()), others) << what;
    return flaky;
  }

  test_support::TempDir Dir{"qnl-ripout"};
  std::shared_ptr<emu::EmulatedDrive> Emulated;
  std::unique_ptr<test_support::DriveMachine> Machine;
  TKrCdRom Drive;
  std::shared_ptr<platform::FakeClock> Clock = std::make_shared<platform::FakeClock>();
  platform::ClockOverride ClockGuard{Clock};
  // Sees every report on the worker's thread, as it is sent.
  std::function<void(const TProgressEvent&)> OnReport;
  struct View : IProgressView {
    explicit View(RipRig& rig) : Rig(rig) {}
    void SetText(std::string_view text) override { Window.SetText(text); }
    void Deliver(TProgressEvent event) override {
      if (Rig.OnReport) Rig.OnReport(event);
      Window.Deliver(std::move(event));
    }
    void ShowModalUntilClosed() override { Window.ShowModalUntilClosed(); }
    RipRig& Rig;
    THeadlessProgressView Window;
  } View{*this};
  TAudioRipper Ripper{Dir / "rip_log.txt"};
};

// Settings of a careful rip: READ CD, batches of 8 re-reading 2 sectors, 1 compared.
inline TDriveSetting RipSetting(uint32_t daeCmd = 0, int32_t offset = 0) {
  TDriveSetting s;
  s.UseSpti = daeCmd % 2 == 0 ? 1 : 0;
  s.Interval = 5;
  s.DaeCmd = daeCmd;
  s.ReadAtOnce = 8;
  s.Overlaps = 2;
  s.Compares = 1;
  s.OffsetSamples = offset;
  s.FastErrorSkip = 1;
  s.RetryCountEnabled = 1;
  s.RetryCount = 2;
  return s;
}

// The samples with the given ranges of sample frames made silent.
inline Samples Silenced(Samples s, const Ranges& ranges) {
  for (const auto& [first, end] : ranges)
    std::fill(s.begin() + std::min<int64_t>(2 * first, s.size()), s.begin() + std::min<int64_t>(2 * end, s.size()), 0);
  return s;
}

inline size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace rip_test
