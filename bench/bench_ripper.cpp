// A whole 74-minute audio disc (20 pre-emphasised tracks) ripped from the emulated drive
// to WAV files with overlap synchronisation and de-emphasis on, on one core. The speed
// is given as a multiple of real time ("x_realtime"); the ripper must stay far ahead of
// any drive (above 500x), so that only the drive sets the pace.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <numbers>
#include <vector>

#include "audio/Audioripper.h"
#include "drive/Kraspi.h"
#include "drive/Krspti.h"
#include "emulator/EmulatedDrive.h"
#include "platform/Clock.h"
#include "platform/EmulatedScsiDevice.h"
#include "platform/Machine.h"
#include "sector/Datasector.h"
#include "worker/Headlessprogressview.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kTracks = 20;
constexpr int32_t kTrackSectors = 16650;  // 20 x 16650 = 333,000 sectors, 74 minutes
constexpr int32_t kDiscSectors = kTracks * kTrackSectors;
constexpr double kDiscSeconds = kDiscSectors / 75.0;

// Music-like audio held once in memory (783 MB): two slowly moving tones and noise.
class AudioStore : public emu::SectorStore {
 public:
  AudioStore() : Data(size_t{kDiscSectors} * kRawSectorSize) {
    auto* samples = reinterpret_cast<int16_t*>(Data.data());
    uint32_t noise = 12345;
    const size_t frames = Data.size() / 4;
    for (size_t f = 0; f < frames; ++f) {
      const double t = static_cast<double>(f) / 44100.0;
      noise = noise * 1664525u + 1013904223u;
      const double n = static_cast<int16_t>(noise >> 16) / 8.0;
      samples[2 * f] = static_cast<int16_t>(9000 * std::sin(2 * std::numbers::pi * (220 + 30 * std::sin(t)) * t) + n);
      samples[2 * f + 1] = static_cast<int16_t>(7000 * std::sin(2 * std::numbers::pi * 3300 * t) - n);
    }
  }
  int32_t SectorCount() const override { return kDiscSectors; }
  const uint8_t* Main(int32_t lba) const override {
    return lba >= 0 && lba < kDiscSectors ? Data.data() + size_t(lba) * kRawSectorSize : nullptr;
  }
  const uint8_t* Sub(int32_t) const override { return nullptr; }

 private:
  std::vector<uint8_t> Data;
};

std::shared_ptr<emu::EmulatedDrive> Drive() {
  static const std::shared_ptr<emu::EmulatedDrive> drive = [] {
    auto disc = std::make_shared<emu::Disc>();
    disc->Store = std::make_shared<AudioStore>();
    disc->Layout.push_back({0, kDiscSectors, emu::SectorKind::Audio, /*Control=*/0x01});
    return std::make_shared<emu::EmulatedDrive>(disc);
  }();
  return drive;
}

void BM_RipWholeDisc(benchmark::State& state) {
  platform::MachineConfig config;
  config.SysfsRoot = "/nonexistent-sysfs";
  config.DevRoot = "/nonexistent-dev";
  config.ReadEnvironment = false;
  config.VirtualDrives.push_back(platform::EmulatedVirtualDrive(Drive()));
  platform::MachineOverride machine(std::make_shared<platform::Machine>(config));
  // The drive's pauses (spin-up, Interval) are the drive's pace, not the ripper's.
  platform::ClockOverride clock(std::make_shared<platform::FakeClock>());

  char pattern[] = "/tmp/qnl-bench-rip-XXXXXX";
  const fs::path dir = ::mkdtemp(pattern);
  THeadlessProgressView view;
  TAudioRipper ripper(dir / "rip_log.txt");
  ripper.SetProgressView(&view);
  TDriveSetting setting;
  setting.UseSpti = 1;
  setting.ReadAtOnce = 26;
  setting.Overlaps = 2;
  setting.Compares = 1;
  ripper.SetDrive(TKrCdRom(std::string("D:")), setting);
  ripper.DeEmph = 1;

  bool done = true;
  for (auto _ : state) {
    for (int32_t t = 0; t < kTracks; ++t) {
      TCdTrack track{1, static_cast<uint8_t>(t + 1), 150 + int64_t{t} * kTrackSectors,
                     150 + int64_t{t + 1} * kTrackSectors, dtAudio, fsCddaEmph};
      ripper.FileName = (dir / "track.wav").string();
      done = ripper.StartRip(track) && done;
      fs::remove(ripper.FileName);
    }
  }
  fs::remove_all(dir);
  if (!done) state.SkipWithError("a rip failed");
  state.counters["x_realtime"] =
      benchmark::Counter(kDiscSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RipWholeDisc)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
