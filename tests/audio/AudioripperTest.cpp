// The ripper end to end: audio discs built from sox-made WAV files, ripped from the
// emulated drive, the WAV read back by sox.
#include <signal.h>
#include <sys/resource.h>

#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "platform/EmulatedScsiDevice.h"
#include "tests/audio/RipperTestSupport.h"

namespace {

using namespace rip_test;

const RipDisc& Disc() {
  static const std::unique_ptr<RipDisc> disc = BuildRipDisc();
  return *disc;
}

bool LeadOutReadable(emu::EmulatedDrive& drive, int32_t leadOutLba) {
  std::vector<uint8_t> cdb = {0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0x10, 0, 0};
  for (int i = 0; i < 4; ++i) cdb[2 + i] = static_cast<uint8_t>(leadOutLba >> (24 - 8 * i));
  std::vector<uint8_t> buffer(2352);
  const bool good = drive.Execute(cdb, platform::DataDirection::In, buffer, 1000).Good();
  drive.ClearLog();
  return good;
}

// Every read command at every read offset, at the first and the last track: the drive
// reads `offset` samples early and the ripper's offset puts the track back in place. What
// lies before LBA 0 or in a lead-out the drive refuses is silence, counted as unreadable.
TEST(AudioRipperTest, EveryReadCommandAndOffsetGivesTheTrackSamples) {
  const RipDisc& disc = Disc();
  for (int32_t offset : {0, 30, -30, 667, -1200}) {
    RipRig rig(disc, [&](emu::Disc& d) { d.Profile.AudioOffset = -offset; });
    const int32_t leadOut = disc.Layout.Sessions[0].LeadOutLba;
    const bool leadOutReadable = LeadOutReadable(*rig.Emulated, leadOut);
    for (uint32_t daeCmd = 0; daeCmd < 4; ++daeCmd) {
      for (size_t index : {size_t{0}, disc.Layout.Tracks.size() - 1}) {
        const std::string what = "DaeCmd " + std::to_string(daeCmd) + " offset " + std::to_string(offset) +
                                 " track " + std::to_string(index + 1);
        const TCdTrack track = disc.Track(index);
        if (!rig.RipChecked(track, RipSetting(daeCmd, offset), what)) continue;

        Samples expected = disc.Between(track.Head * 588, track.Tail * 588);
        int64_t silent = 0;
        if (index == 0 && offset < 0) silent = -offset;
        if (index != 0 && offset > 0 && !leadOutReadable) silent = offset;
        const auto zeros = static_cast<size_t>(2 * silent);
        if (index == 0) std::fill(expected.begin(), expected.begin() + zeros, 0);
        else std::fill(expected.end() - zeros, expected.end(), 0);
        EXPECT_EQ(SoxSamples(rig.Output()), Silenced(expected, rig.FlakySilence((silent + 587) / 588, what))) << what;
        rig.ExpectDriveRestored(what);
      }
    }
    const std::string info = Capture("sox --i " + Quote(rig.Output()));
    EXPECT_NE(info.find("Channels       : 2"), std::string::npos) << info;
    EXPECT_NE(info.find("Sample Rate    : 44100"), std::string::npos) << info;
    EXPECT_NE(info.find("Precision      : 16-bit"), std::string::npos) << info;
  }
}

// Reads that start up to 40 samples early or late: with overlap synchronisation the WAV
// is the track shifted by the first read's error alone, nothing lost or doubled after.
TEST(AudioRipperTest, OverlapSynchronisationAbsorbsJitter) {
  const RipDisc& disc = Disc();
  const int64_t jitter = 40;
  RipRig rig(disc, [&](emu::Disc& d) { d.Profile.Jitter = static_cast<int32_t>(jitter); });
  // At the disc's last track the drive reads nothing past the end to line the last
  // sector up with; that sector is left out of the comparison there. A sector given up is
  // silence, and a block with nothing to line up with (the first, one read on its own, one
  // cut short by a failed read) starts a shift of its own.
  const auto continuous = [&](Samples wav, const TCdTrack& track, Ranges silent) {
    if (Silenced(wav, silent) != wav) return false;
    const int64_t open = track.Tail == LbaToFrames(disc.Layout.Sessions[0].LeadOutLba) ? 588 : 0;
    wav.resize(wav.size() - 2 * open);
    const auto frames = static_cast<int64_t>(wav.size() / 2);
    const int64_t head = track.Head * 588;
    for (const char* afresh : {"\nRip Sync State = 1\n", "\nRip Sync State = 15\n"})
      for (const auto& pass : PassesLogging(rig.LogText(), afresh))
        silent.emplace_back(pass.first - head, pass.first - head);
    silent.emplace_back(frames, frames);
    std::sort(silent.begin(), silent.end());
    int64_t from = 0;
    for (const auto& [first, end] : silent) {
      const Samples piece(wav.begin() + 2 * from, wav.begin() + 2 * std::clamp(first, from, frames));
      bool found = false;
      for (int64_t shift = -jitter; shift <= jitter && !found; ++shift)
        found = piece == disc.Between(head + from + shift, head + from + shift + piece.size() / 2);
      if (!found) return false;
      from = std::clamp(end, from, frames);
    }
    return true;
  };
  for (size_t index : {size_t{0}, disc.Layout.Tracks.size() - 1}) {
    for (uint32_t daeCmd = 0; daeCmd < 4; ++daeCmd) {
      const std::string what = "track " + std::to_string(index) + " DaeCmd " + std::to_string(daeCmd);
      if (!rig.RipChecked(disc.Track(index), RipSetting(daeCmd), what)) continue;
      EXPECT_TRUE(continuous(SoxSamples(rig.Output()), disc.Track(index), rig.FlakySilence(0, what))) << what;
    }
  }
  const std::string log = rig.LogText();
  EXPECT_GT(Count(log, "\nRip Sync State = 2") + Count(log, "\nRip Sync State = 3"), 80u);
  EXPECT_LE(Count(log, "\nRip Sync State = 15\n"), Count(log, "\nRip Confirm")) << "unmatched only where a read failed";

  TDriveSetting setting = RipSetting();
  setting.Overlaps = 0;  // the same drive without synchronisation
  ASSERT_TRUE(rig.Rip(disc.Track(0), setting));
  EXPECT_FALSE(continuous(SoxSamples(rig.Output()), disc.Track(0), rig.FlakySilence(0, "without sync")));
}

// Unreadable sectors are silence, one sector's worth each, and the log counts them; a
// failed read with no usable sense, or one that ends inside the overlap, loses nothing.
TEST(AudioRipperTest, UnreadableSectorsBecomeCountedSilence) {
  const RipDisc& disc = Disc();
  const TCdTrack track = disc.Track(0);
  const auto lba = static_cast<int32_t>(FramesToLba(track.Head));
  struct Case {
    const char* Name;
    std::vector<emu::UnreadableFault> Unreadable;
    std::vector<emu::CommandFault> Commands;
    int64_t Silent;
    uint32_t DaeCmd = daeReadCd;
  };
  const std::vector<Case> cases = {
      {"one sector", {{lba + 40, lba + 41}}, {}, 1},
      {"a run inside one read and one across reads", {{lba + 60, lba + 63}, {lba + 95, lba + 98}}, {}, 6},
      {"no sense", {}, {{0xBE, 5, emu::CommandFaultKind::Timeout}}, 0},
      {"not a medium error", {}, {{0xBE, 7, emu::CommandFaultKind::CheckCondition, 0x04, 0x44, 0}}, 0},
      // The time-out resets the drive to 2048-byte blocks: read so, the rip would be data.
      {"reset under READ(10)", {}, {{0x28, 5, emu::CommandFaultKind::Timeout}}, 0, daeRead10},
  };
  for (const Case& c : cases) {
    RipRig rig(disc, [&](emu::Disc& d) {
      d.Faults.Unreadable = c.Unreadable;
      d.Faults.Commands = c.Commands;
    });
    TDriveSetting setting = RipSetting();
    setting.DaeCmd = c.DaeCmd;
    ASSERT_TRUE(rig.Rip(track, setting)) << c.Name;
    Samples expected = disc.Between(track.Head * 588, track.Tail * 588);
    for (const auto& f : c.Unreadable)
      std::fill(expected.begin() + 2 * 588 * (f.FirstLba - lba), expected.begin() + 2 * 588 * (f.EndLba - lba), 0);
    // The ripper, the log's failures and its total count c.Silent sectors (and flaky ones).
    EXPECT_EQ(SoxSamples(rig.Output()), Silenced(expected, rig.FlakySilence(c.Silent, c.Name))) << c.Name;
    rig.ExpectDriveRestored(c.Name);
  }
}

// A device that passes everything to the drive but throws from its Nth read.
class ThrowingDevice : public platform::EmulatedScsiDevice {
 public:
  using EmulatedScsiDevice::EmulatedScsiDevice;
  platform::ExecResult Execute(std::span<const uint8_t> cdb, platform::DataDirection direction,
                               std::span<uint8_t> buffer, uint32_t timeoutMs) override {
    if (cdb[0] == 0x28 && ++Reads == 10) throw std::runtime_error("device gone");
    return EmulatedScsiDevice::Execute(cdb, direction, buffer, timeoutMs);
  }
  int Reads = 0;
};

// However a rip ends, the drive gets its page 01, block length and tray back, and the WAV
// its sizes; only a rip that wrote the whole track from the disc is done.
TEST(AudioRipperTest, EveryEndRestoresTheDriveAndOnlyACompleteRipIsDone) {
  const RipDisc& disc = Disc();
  const TCdTrack track = disc.Track(0);
  enum class End { Done, Cancel, Exception, AllUnreadable, WriteError, OpenFailure };
  for (End end : {End::Done, End::Cancel, End::Exception, End::AllUnreadable, End::WriteError, End::OpenFailure}) {
    const std::string what = "end " + std::to_string(static_cast<int>(end));
    RipRig::DeviceMaker throwing;
    if (end == End::Exception)
      throwing = [](auto drive) { return std::make_shared<ThrowingDevice>(std::move(drive)); };
    auto rig = std::make_unique<RipRig>(disc, [&](emu::Disc& d) {
      if (end == End::AllUnreadable) d.Faults.Unreadable = {{0, 100000}};
    }, throwing);
    if (end == End::Cancel)
      rig->OnReport = [&](const TProgressEvent& e) {
        if (e.Code == pcSetPosition && e.Value >= 50) rig->Ripper.Cancel();
      };
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    if (end == End::WriteError) {
      ::signal(SIGXFSZ, SIG_IGN);
      rlimit small = saved;
      small.rlim_cur = 100000;
      ::setrlimit(RLIMIT_FSIZE, &small);
    }
    if (end == End::OpenFailure) fs::create_directory(rig->Output());  // no file can be made there
    TDriveSetting setting = RipSetting(3);
    setting.UseSpti = 1;
    const bool done = rig->Rip(track, setting);
    ::setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_EQ(done, end == End::Done) << what;
    EXPECT_EQ(rig->Ripper.GetState(), wsIdle) << what;
    rig->ExpectDriveRestored(what);
    if (end == End::OpenFailure) {
      EXPECT_NE(rig->LogText().find("\nRip Failure AudioOpen"), std::string::npos);
      for (const auto& entry : rig->Emulated->Log()) EXPECT_NE(entry.Cdb[0], 0x1E) << "the tray was never locked";
      continue;
    }
    std::error_code ec;
    const auto size = static_cast<int64_t>(fs::file_size(rig->Output(), ec));
    const std::string info = Capture("sox --i -s " + Quote(rig->Output()) + " 2>&1");
    EXPECT_EQ(std::atoll(info.c_str()), (size - 44) / 4) << what << ": " << info;
    const int64_t whole = track.SectorCount() * 2352;
    EXPECT_TRUE(end == End::Done ? size - 44 == whole : end != End::Cancel || size - 44 < whole) << what;
  }
}

// The pre-emphasised track comes out on the analogue de-emphasis curve when asked, and
// untouched when not.
TEST(AudioRipperTest, DeEmphasisFollowsTheAnalogueCurveOnlyWhereAsked) {
  const RipDisc& disc = Disc();
  const TCdTrack track = disc.Track(2);
  ASSERT_EQ(track.FileSystem, fsCddaEmph);
  RipRig rig(disc);
  rig.Ripper.DeEmph = 0;
  ASSERT_TRUE(rig.Rip(track, RipSetting()));
  const Samples source = disc.Between(track.Head * 588, track.Tail * 588);
  EXPECT_EQ(SoxSamples(rig.Output()), Silenced(source, rig.FlakySilence(0, "untouched")));

  rig.Ripper.DeEmph = 1;
  ASSERT_TRUE(rig.Rip(track, RipSetting()));
  const Samples out = SoxSamples(rig.Output());
  ASSERT_EQ(out.size(), source.size());
  // The frames of sectors given up as silence carry no tone to measure.
  const Samples heard = Silenced(Samples(source.size(), 1), rig.FlakySilence(0, "de-emphasised"));
  const auto rmsDb = [&](int channel) {
    double in = 0, filtered = 0;
    for (size_t i = 44100 + static_cast<size_t>(channel); i < 44100 * 2; i += 2) {
      if (heard[i] == 0) continue;
      in += double(source[i]) * source[i];
      filtered += double(out[i]) * out[i];
    }
    return 10 * std::log10(filtered / in);
  };
  const auto analogueDb = [](double hz) {
    const double w = 2 * std::numbers::pi * hz;
    return 10 * std::log10((1 + w * w * 15e-6 * 15e-6) / (1 + w * w * 50e-6 * 50e-6));
  };
  EXPECT_NEAR(rmsDb(0), analogueDb(200), 0.1);
  EXPECT_NEAR(rmsDb(1), analogueDb(10000), 0.1);

  // The same track marked plain CD-DA is never filtered.
  TCdTrack plain = track;
  plain.FileSystem = fsCdda;
  ASSERT_TRUE(rig.Rip(plain, RipSetting()));
  EXPECT_EQ(SoxSamples(rig.Output()), Silenced(source, rig.FlakySilence(0, "plain")));
}

// Settings from a hand-edited file are held to the record's ranges; tracks that are not
// audio start nothing; the log starts afresh with a new run and then grows.
TEST(AudioRipperTest, SettingsAreClampedAndTheLogFollowsTheRuns) {
  const RipDisc& disc = Disc();
  RipRig rig(disc);
  TCdTrack data = disc.Track(0);
  data.FileSystem = fsIso9660;
  EXPECT_FALSE(rig.Ripper.StartRip(data));
  EXPECT_FALSE(fs::exists(rig.Ripper.GetLogPath()));

  // DaeCmd, CdgMode, ReadAtOnce, Overlaps, Compares, Interval, OffsetSamples as set and
  // as the rip uses them.
  using Values = std::array<int64_t, 7>;
  const std::vector<std::pair<Values, Values>> cases = {
      {{1, 0, 1, 3, 3, 0, 0}, {1, 0, 1, 0, 0, 0, 0}},
      {{3, 1, 5, 5, 6, 0, 0}, {3, 1, 5, 4, 4, 0, 0}},
      {{2, 2, 8, 2, 1, 0, 0}, {2, 1, 8, 2, 1, 0, 0}},
      {{7, 5, 300, 40, 40, 90000, 0}, {0, 0, 27, 13, 13, 1000, 0}},
      {{0, 0, 8, 2, 1, 0, -99999}, {0, 0, 8, 2, 1, 0, -10000}},
  };
  const TCdTrack track = disc.Track(1);
  for (const auto& [set, used] : cases) {
    TDriveSetting wild = RipSetting();
    wild.DaeCmd = static_cast<uint32_t>(set[0]);
    wild.CdgMode = static_cast<uint32_t>(set[1]);
    wild.ReadAtOnce = static_cast<uint32_t>(set[2]);
    wild.Overlaps = static_cast<uint32_t>(set[3]);
    wild.Compares = static_cast<uint32_t>(set[4]);
    wild.Interval = static_cast<uint32_t>(set[5]);
    wild.OffsetSamples = static_cast<int32_t>(set[6]);
    rig.Emulated->ClearLog();
    const std::string what = "DaeCmd " + std::to_string(set[0]) + " ReadAtOnce " + std::to_string(set[2]);
    const bool done = rig.RipChecked(track, wild, what);
    const TDriveSetting& s = rig.Ripper.GetSetting();
    EXPECT_EQ((Values{s.DaeCmd, s.CdgMode, s.ReadAtOnce, s.Overlaps, s.Compares, s.Interval, s.OffsetSamples}), used);
    const int64_t shift = used[6];
    if (done) {
      const Samples expected = disc.Between(track.Head * 588 + shift, track.Tail * 588 + shift);
      EXPECT_EQ(SoxSamples(rig.Output()), Silenced(expected, rig.FlakySilence(0, what))) << what;
    }
    for (const auto& entry : rig.Emulated->Log())
      EXPECT_TRUE(entry.Cdb[0] != 0xBE || entry.Cdb[8] <= used[2]) << "no read of more than ReadAtOnce";
    EXPECT_EQ(rig.View.Window.GetModel().GetMaximum(), track.SectorCount() + (used[6] ? 1 : 0));
  }
  rig.Rip(track, RipSetting());

  const std::string first = rig.LogText();
  EXPECT_EQ(first.rfind("\nRip\nRip HaID   = ", 0), 0u);
  EXPECT_NE(first.find("\nDAE Command = 1\n"), std::string::npos);
  EXPECT_NE(first.find("\nRip " + Low32Text(track.Head * 588) + ", " + Low32Text(track.Tail * 588)), std::string::npos);
  EXPECT_NE(first.find("\nRip AudioFlush\n\nRip Ripping Roop End\n"), std::string::npos);
  ASSERT_TRUE(rig.Rip(track, RipSetting()));
  EXPECT_EQ(rig.LogText().rfind(first, 0), 0u) << "a second rip appends";
  TAudioRipper next(rig.Ripper.GetLogPath());
  next.WriteLog("\nRip");
  EXPECT_EQ(rig.LogText(), "\nRip") << "a new run starts the log anew";
}

}  // namespace
