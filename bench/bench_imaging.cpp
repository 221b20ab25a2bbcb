// Throughput of imaging a recording: the sync search over a stretch without any, and
// the whole loop over a recording of scrambled sectors.
#include <benchmark/benchmark.h>

#include "audio/Analogimage.h"
#include "tests/support/Recording.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int kSectors = 4000;  // about 9 MB, 53 seconds of audio

struct AlwaysContinue : IAnalogSyncDecider {
  TSyncFoundChoice SyncFound(int32_t, int32_t&) override { return TSyncFoundChoice::Continue; }
  TNoSyncChoice NoSync(int32_t&) override { return TNoSyncChoice::Cancel; }
  TSyncLostChoice SyncLost(int32_t, int32_t&) override { return TSyncLostChoice::Descramble; }
};

void SetByteRate(benchmark::State& state, int64_t bytes) {
  state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_SearchSyncWithoutSync(benchmark::State& state) {
  test_support::TempDir dir;
  test_support::WriteRecording(dir / "noise.wav", kSectors * kRawSectorSize, {});
  TAnalogFile file;
  file.Open(dir / "noise.wav");
  for (auto _ : state) benchmark::DoNotOptimize(SearchSync(file, 0));
  SetByteRate(state, file.GetDataSize());
}

void BM_MakeImage(benchmark::State& state) {
  test_support::TempDir dir;
  test_support::WriteRecording(dir / "rec.wav", 1000, test_support::ScrambledSectors(kSectors));
  TAnalogFile file;
  file.Open(dir / "rec.wav");
  AlwaysContinue decider;
  for (auto _ : state) benchmark::DoNotOptimize(MakeImage(file, dir / "rec.bin", decider).Sectors);
  SetByteRate(state, file.GetDataSize());
}

}  // namespace

BENCHMARK(BM_SearchSyncWithoutSync)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeImage)->Unit(benchmark::kMillisecond);
