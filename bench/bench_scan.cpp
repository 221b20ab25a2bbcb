// The recovery scan over a whole 650 MB Mode 1 disc on the emulated drive: files of every
// plug-in's format (made by real tools) among noise and zero sectors, all ten plug-ins
// enabled, listing only. Prints the scan's sectors per second and its time as a ratio to
// the sector reader's own pass over the same disc; the scan may cost at most twice the
// reader, so that a real drive (about 3,900 sectors a second at 52x) stays the bottleneck.
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/BenchDrive.h"
#include "platform/Clock.h"
#include "reader/Discend.h"
#include "reader/Sectorreader.h"
#include "recovery/Isoextracter.h"
#include "recovery/Pluginmgr.h"
#include "sector/Datasector.h"
#include "tests/plugins/samples/SampleFiles.h"
#include "tests/support/TempDir.h"
#include "worker/Headlessprogressview.h"

namespace {

using bench_drive::kFirstFrame;

constexpr int32_t kDiscSectors = 333000;
constexpr int32_t kBlock = 256;      // each block: one real file, then noise, then zeros
constexpr int32_t kZerosFrom = 240;  // sectors of a block from here on are zero
constexpr uint32_t kBatch = 15;

uint64_t Mix(uint64_t v) {
  v ^= v >> 33;
  v *= 0xff51afd7ed558ccdull;
  v ^= v >> 33;
  return v;
}

struct Layout {
  std::vector<plugin_samples::SampleFile> Samples;

  void Fill(int32_t lba, uint8_t* user) const {
    const int32_t block = lba / kBlock, at = lba % kBlock;
    const auto& sample = Samples[static_cast<size_t>(block) % Samples.size()].Data;
    const size_t offset = size_t(at) * 2048;
    std::memset(user, 0, 2048);
    if (offset < sample.size()) {
      std::memcpy(user, sample.data() + offset, std::min<size_t>(2048, sample.size() - offset));
    } else if (at < kZerosFrom) {
      for (size_t i = 0; i < 2048; i += 8) {
        const uint64_t v = Mix(uint64_t(lba) << 12 | i);
        std::memcpy(user + i, &v, 8);
      }
      user[0] = 0x11;  // text-like first byte: no plug-in takes it for a file start
    }
  }
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

TDriveSetting Setting() {
  TDriveSetting s{};
  s.UseSpti = 1;
  s.DataReadCmd = 0;
  s.DataReadAtOnce = kBatch;
  s.ExtReadAtOnce = kBatch;
  return s;
}

void BM_RecoveryScanWholeDisc(benchmark::State& state) {
  const test_support::TempDir folder("qnl-bench-scan");
  Layout layout;
  layout.Samples = plugin_samples::MakeSampleFiles(folder.Path.string());
  if (layout.Samples.empty()) return state.SkipWithError("no sample files: their tools are missing");
  auto drive = std::make_shared<emu::EmulatedDrive>(
      bench_drive::Mode1Disc(kDiscSectors, [&](int32_t lba, uint8_t* user) { layout.Fill(lba, user); }));
  bench_drive::MachineWithDrive machine(drive);
  const platform::ClockOverride clock(std::make_shared<platform::FakeClock>());
  const int64_t savedDiscEnd = DiscEndAddress;
  DiscEndAddress = kFirstFrame + kDiscSectors;

  TSectorReader reader;
  reader.SetDrive(TKrCdRom(std::string("D:")), Setting());
  reader.Prepare();
  std::array<uint8_t, 2352> sector;
  uint8_t type = 0;
  const auto readerStart = std::chrono::steady_clock::now();
  for (int64_t a = kFirstFrame; a < kFirstFrame + kDiscSectors; ++a) reader.ReadSector(a, dtMode1, type, sector.data());
  const double readerSeconds = Seconds(readerStart);
  reader.Release();
  drive->ClearLog();

  TPluginManager plugins;
  if (plugins.LoadPlugins(QNL_PLUGIN_DIR) != 10) state.SkipWithError("the ten plug-ins did not load");
  TIsoExtracter extracter(reader, plugins);
  extracter.SetDrive(TKrCdRom(std::string("D:")), Setting());
  THeadlessProgressView view;
  extracter.SetProgressView(&view);
  const TCdTrack track{1, 1, kFirstFrame, kFirstFrame + kDiscSectors, dtMode1, fsIso9660};
  double scanSeconds = 0;
  size_t entries = 0;
  for (auto _ : state) {
    extracter.Clear();
    const auto start = std::chrono::steady_clock::now();
    if (!extracter.ExtractFiles(track)) state.SkipWithError("the scan failed");
    scanSeconds += Seconds(start);
    entries = extracter.Root.Children.size();
    state.PauseTiming();
    drive->ClearLog();
    state.ResumeTiming();
  }
  const double perScan = scanSeconds / double(state.iterations());
  state.counters["scan_sectors/s"] = kDiscSectors / perScan;
  state.counters["reader_sectors/s"] = kDiscSectors / readerSeconds;
  // At most 2: the scan may cost twice the reader's pass over the same disc.
  state.counters["scan/reader"] = perScan / readerSeconds;
  state.counters["entries"] = double(entries);
  DiscEndAddress = savedDiscEnd;
}

BENCHMARK(BM_RecoveryScanWholeDisc)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
