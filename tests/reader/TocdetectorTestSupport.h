#pragma once
// Discs for the TOC detector tests, made with the disc builder from input files written
// here, and an emulated machine with one drive ("D:", pass-through) that holds them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TestDrive.h"
#include "worker/Headlessprogressview.h"
#include "emulator/DiscBuilder.h"
#include "emulator/EmulatedDrive.h"
#include "emulator/ImageSet.h"
#include "platform/Clock.h"
#include "reader/Discend.h"
#include "reader/Sectorreader.h"
#include "reader/Tocdetector.h"
#include "sector/Address.h"
#include "sector/Datasector.h"
#include "tests/support/DriveMachine.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace toctest {

namespace fs = std::filesystem;

using TempDir = test_support::TempDir;

// One track to build: kind, length in sectors, and whether its sector 16 carries the
// ISO 9660 volume mark.
struct TrackInput {
  emu::SectorKind Kind = emu::SectorKind::Mode1;
  int32_t Sectors = 100;
  bool PreEmphasis = false;
  bool IsoMark = false;
};

inline emu::TrackSpec WriteTrackInput(const fs::path& dir, int number, const TrackInput& input) {
  const uint32_t unit = emu::SectorPayloadBytes(input.Kind);
  std::vector<uint8_t> data(size_t{unit} * static_cast<size_t>(input.Sectors));
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 7 + static_cast<size_t>(number)) % 251);
  if (input.IsoMark && input.Sectors > 16) {
    uint8_t* pvd = data.data() + size_t{16} * unit;
    pvd[0] = 1;
    std::memcpy(pvd + 1, "CD001", 5);
  }
  // Keep every other sector free of a stray mark.
  for (int32_t s = 0; s < input.Sectors && s < 32; ++s)
    if (!(input.IsoMark && s == 16)) data[size_t{unit} * static_cast<size_t>(s) + 1] = 0;
  const fs::path file = dir / ("track" + std::to_string(number) + ".bin");
  test_support::WriteFile(file, data);
  emu::TrackSpec spec;
  spec.Kind = input.Kind;
  spec.File = file;
  spec.Audio = emu::AudioSource::RawPcm;
  spec.PreEmphasis = input.PreEmphasis;
  return spec;
}

struct BuiltDisc {
  std::shared_ptr<emu::EmulatedDrive> Drive;
  emu::DiscLayout Layout;
};

// Builds the image set with the disc builder and loads it into an emulated drive.
// `tweak` may add damage and faults to the disc description before it is built.
inline BuiltDisc BuildDisc(const TempDir& dir, const std::vector<std::vector<TrackInput>>& sessions,
                           const std::function<void(emu::DiscSpec&)>& tweak = {}) {
  BuiltDisc built;
  emu::DiscSpec spec;
  int number = 0;
  for (const auto& session : sessions) {
    emu::SessionSpec s;
    for (const TrackInput& input : session) s.Tracks.push_back(WriteTrackInput(dir.Path, ++number, input));
    spec.Sessions.push_back(s);
  }
  // As most drives do, READ CDDA and READ CD of any type hand data sectors back scrambled.
  spec.Profile.ScrambleAudioReads = true;
  if (tweak) tweak(spec);
  std::string error;
  const fs::path name = dir.Path / "disc";
  if (!emu::BuildImageSet(spec, name, true, error, &built.Layout)) {
    ADD_FAILURE() << "BuildImageSet: " << error;
    return built;
  }
  if (auto disc = test_support::LoadedDisc(dir.Path / "disc.ccd")) built.Drive = test_support::TestDrive(disc);
  return built;
}

// The tracks the disc really holds, as the TOC describes them (Head at index 1, Tail at
// the next track's index 1 or the session's lead-out).
inline std::vector<TCdTrack> TrueTracks(const emu::DiscLayout& layout, uint8_t sessionNo = 0xFF) {
  std::vector<TCdTrack> out;
  for (size_t i = 0; i < layout.Tracks.size(); ++i) {
    const emu::TrackLayout& t = layout.Tracks[i];
    TCdTrack track;
    track.SessionNo = sessionNo == 0xFF ? static_cast<uint8_t>(t.Session) : sessionNo;
    track.TrackNo = static_cast<uint8_t>(t.Number);
    track.Head = LbaToFrames(t.StartLba);
    const bool lastOfSession = i + 1 == layout.Tracks.size() || layout.Tracks[i + 1].Session != t.Session;
    track.Tail = lastOfSession ? LbaToFrames(t.EndLba) : LbaToFrames(layout.Tracks[i + 1].StartLba);
    out.push_back(track);
  }
  return out;
}

inline std::string Describe(const std::vector<TCdTrack>& tracks) {
  std::string text;
  for (const TCdTrack& t : tracks)
    text += "[s" + std::to_string(t.SessionNo) + " t" + std::to_string(t.TrackNo) + " " + std::to_string(t.Head) +
            ".." + std::to_string(t.Tail) + " dt" + std::to_string(t.DataType) + " fs" +
            std::to_string(t.FileSystem) + "] ";
  return text;
}

// Compares track numbers, sessions and ranges (not the classification).
inline void ExpectSameLayout(const std::vector<TCdTrack>& actual, const std::vector<TCdTrack>& expected) {
  ASSERT_EQ(actual.size(), expected.size()) << "actual: " << Describe(actual) << "\nexpected: " << Describe(expected);
  for (size_t i = 0; i < actual.size(); ++i) {
    EXPECT_EQ(actual[i].TrackNo, expected[i].TrackNo) << i;
    EXPECT_EQ(actual[i].SessionNo, expected[i].SessionNo) << i;
    EXPECT_EQ(actual[i].Head, expected[i].Head) << i << ": " << Describe(actual);
    EXPECT_EQ(actual[i].Tail, expected[i].Tail) << i << ": " << Describe(actual);
  }
}

// The headless window, with a hook that sees every report on the worker's thread as it
// is sent (so a test can press Cancel at an exact point of the work).
class RigView : public IProgressView {
 public:
  explicit RigView(THeadlessProgressView::TObserver observer) : Inner(std::move(observer)) {}
  void SetText(std::string_view text) override { Inner.SetText(text); }
  void Deliver(TProgressEvent event) override {
    if (OnDeliver) OnDeliver(event);
    Inner.Deliver(std::move(event));
  }
  void ShowModalUntilClosed() override { Inner.ShowModalUntilClosed(); }
  int GetShowCount() const { return Inner.GetShowCount(); }

  std::function<void(const TProgressEvent&)> OnDeliver;

 private:
  THeadlessProgressView Inner;
};

// The machine, the clock, the reader, the track list, the window and the detector, all
// pointed at one emulated drive.
class Rig {
 public:
  explicit Rig(std::shared_ptr<emu::EmulatedDrive> drive)
      : Drive(std::move(drive)), Clock(std::make_shared<platform::FakeClock>()), ClockGuard(Clock),
        Machine(MakeSpec(Drive)),
        View([this](const TProgressEvent& event, const TProgressModel&) {
          Codes.push_back(event.Code);
          if (OnEvent) OnEvent(event);
        }),
        Detector(Tracks, Reader) {
    Setting.UseSpti = 1;
    Setting.DataReadCmd = 0;
    Setting.DataReadAtOnce = 15;
    Setting.ExtReadCmd = 2;
    Setting.ExtReadAtOnce = 15;
    Setting.ExtReadAsAudio = 0;  // raw READ CD: sectors that come back unscrambled stay so
    Setting.SoftEccEnabled = 1;
    Setting.SoftEccRetryCount = 2;
    Setting.FastErrorSkip = 1;
    Setting.TransferBlock = 0;
    Setting.RetryCountEnabled = 1;
    Setting.RetryCount = 1;
    Apply();
    Detector.SetProgressView(&View);
  }
  ~Rig() { DiscEndAddress = 0; }

  // Hands the settings to the reader and the detector again.
  void Apply() {
    TKrCdRom cdrom("D:");
    Reader.SetDrive(cdrom, Setting);
    Detector.SetDrive(cdrom, Setting);
  }

  size_t ClosingCodes() const {
    size_t n = 0;
    for (int8_t code : Codes) n += IsClosingCode(code) ? 1 : 0;
    return n;
  }

  bool PageAtDefault() const { return Drive->CurrentPage01() == Drive->DefaultPage01(); }

  // Q reads (READ CD with formatted Q, or READ CDDA with sub-code 1) at or after `from`.
  size_t QReadsFrom(int64_t from) const {
    size_t count = 0;
    for (const auto& entry : Drive->Log()) {
      const auto& c = entry.Cdb;
      if (c.size() < 11) continue;
      const bool q = (c[0] == 0xBE && c[10] == 2) || (c[0] == 0xD8 && c[10] == 1);
      if (!q) continue;
      const int32_t lba = static_cast<int32_t>(uint32_t{c[2]} << 24 | uint32_t{c[3]} << 16 | uint32_t{c[4]} << 8 | c[5]);
      if (LbaToFrames(lba) >= from) ++count;
    }
    return count;
  }

  std::shared_ptr<emu::EmulatedDrive> Drive;
  std::shared_ptr<platform::FakeClock> Clock;
  platform::ClockOverride ClockGuard;
  test_support::DriveMachine Machine;
  TDriveSetting Setting{};
  TSectorReader Reader;
  std::vector<TCdTrack> Tracks;
  // Every report the window applied, and a hook run on the launching thread after each.
  std::vector<int8_t> Codes;
  std::function<void(const TProgressEvent&)> OnEvent;
  RigView View;
  TTocDetector Detector;

 private:
  static test_support::MachineSpec MakeSpec(const std::shared_ptr<emu::EmulatedDrive>& drive) {
    test_support::MachineSpec spec;
    spec.Drives = {drive};
    spec.AspiPresent = false;
    return spec;
  }
};

// A search by READ CDDA on a drive whose system filters that command must end failed,
// saying why, with none of its own tracks and the drive restored. True when the rig's
// search is such a one and was checked so (the test's disc checks then do not apply).
inline bool RefusedSearchChecked(Rig& rig, size_t tocTracks) {
  if (rig.Setting.SubChCmd != 1 || !rig.Drive->GetDisc().Profile.FilterVendorCommands) return false;
  EXPECT_EQ(rig.Detector.Detect(), tocTracks) << Describe(rig.Tracks);
  EXPECT_EQ(rig.View.GetShowCount(), 1);  // no further search after a failed one
  EXPECT_EQ(rig.ClosingCodes(), 1u);
  EXPECT_TRUE(!rig.Codes.empty() && rig.Codes.back() == pcFailed);
  EXPECT_EQ(rig.Detector.GetFailure(), fcQCommandRefused);
  EXPECT_EQ(rig.Detector.GetState(), wsIdle);
  EXPECT_TRUE(rig.PageAtDefault());
  return true;
}

}  // namespace toctest
