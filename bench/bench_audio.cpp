// Throughput of the audio block work: de-emphasis and volume in place, overlap synchronisation.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "audio/Deemphasize.h"
#include "audio/Sync.h"

namespace {

constexpr int Sector = 588;
constexpr int ReadAtOnce = 27;

std::vector<uint8_t> Noise(size_t bytes, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> data(bytes);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  return data;
}

void SetSectorRate(benchmark::State& state, int sectorsPerIteration) {
  state.counters["sectors/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * sectorsPerIteration, benchmark::Counter::kIsRate);
}

void BM_DeEmphasis(benchmark::State& state) {
  auto bytes = Noise(ReadAtOnce * Sector * 4, 1);
  std::vector<int16_t> block(bytes.size() / 2);
  std::memcpy(block.data(), bytes.data(), bytes.size());
  TDeEmphsizer filter;
  filter.SetEnabled(true);
  filter.SetVolume(static_cast<unsigned>(state.range(0)));
  for (auto _ : state) {
    filter.Process(block.data(), ReadAtOnce * Sector);
    benchmark::DoNotOptimize(block.data());
  }
  SetSectorRate(state, ReadAtOnce);
}
BENCHMARK(BM_DeEmphasis)->Arg(100)->Arg(50);

void BM_Volume(benchmark::State& state) {
  std::vector<int16_t> block(ReadAtOnce * Sector * 2, 12345);
  TDeEmphsizer filter;
  filter.SetVolume(50);
  for (auto _ : state) {
    filter.Process(block.data(), ReadAtOnce * Sector);
    benchmark::DoNotOptimize(block.data());
  }
  SetSectorRate(state, ReadAtOnce);
}
BENCHMARK(BM_Volume);

// One block of ReadAtOnce sectors read Overlaps sectors early, landing `jitter` samples off.
void BM_Sync(benchmark::State& state) {
  const int overlaps = static_cast<int>(state.range(0));
  const int jitter = static_cast<int>(state.range(1));
  const auto disc = Noise((2 * ReadAtOnce + 2) * Sector * 4, 2);
  const unsigned n = ReadAtOnce * Sector;
  const unsigned skip = overlaps * Sector;
  const uint8_t* previous = disc.data() + Sector * 4;
  const uint8_t* next = previous + (static_cast<size_t>(n - skip) + jitter) * 4;
  TSynchronizer sync;
  sync.SetCompareSectors(1);
  unsigned head = 0, count = 0;
  for (auto _ : state) {
    state.PauseTiming();
    sync.Reset();
    sync.Sync(previous, n, 0, head, count);
    state.ResumeTiming();
    benchmark::DoNotOptimize(sync.Sync(next, n, skip, head, count));
  }
  SetSectorRate(state, ReadAtOnce - overlaps);
}
BENCHMARK(BM_Sync)->Args({2, 0})->Args({2, 30})->Args({2, -30})->Args({13, 500});

// The worst case: the reference is nowhere in the block, so every place is compared.
void BM_SyncNotFound(benchmark::State& state) {
  const int overlaps = static_cast<int>(state.range(0));
  const auto first = Noise(ReadAtOnce * Sector * 4, 3);
  const auto other = Noise(ReadAtOnce * Sector * 4, 4);
  const unsigned n = ReadAtOnce * Sector;
  TSynchronizer sync;
  sync.SetCompareSectors(1);
  unsigned head = 0, count = 0;
  for (auto _ : state) {
    state.PauseTiming();
    sync.Reset();
    sync.Sync(first.data(), n, 0, head, count);
    state.ResumeTiming();
    benchmark::DoNotOptimize(sync.Sync(other.data(), n, overlaps * Sector, head, count));
  }
  SetSectorRate(state, ReadAtOnce - overlaps);
}
BENCHMARK(BM_SyncNotFound)->Arg(2)->Arg(13);

}  // namespace
