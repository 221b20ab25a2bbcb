// Throughput of the sector codecs: EDC of one sector and Mode 1 correction.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <random>

#include "sector/Errorcorrectmode1.h"
#include "sector/Kredc.h"
#include "sector/SectorEncoder.h"

namespace {

using TSector = std::array<uint8_t, 2352>;

TSector EncodedSector() {
  std::mt19937 rng(7);
  std::array<uint8_t, 2048> data;
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  TSector sector;
  EncodeMode1Sector(sector.data(), 12345, data.data());
  return sector;
}

void SetSectorRate(benchmark::State& state) {
  state.counters["sectors/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_EdcCalc(benchmark::State& state) {
  const TKrEdc edc;
  const TSector sector = EncodedSector();
  for (auto _ : state) {
    benchmark::DoNotOptimize(sector.data());
    benchmark::DoNotOptimize(edc.Calc(sector.data()));
  }
  SetSectorRate(state);
}
BENCHMARK(BM_EdcCalc);

// Each iteration corrects a fresh copy of the given sector (the copy is part of the cost).
void RunCorrect(benchmark::State& state, const TSector& given, bool expected) {
  TMode1ErrorCorrect corrector;
  TSector work;
  for (auto _ : state) {
    std::memcpy(work.data(), given.data(), work.size());
    const bool ok = corrector.Correct(work.data(), 2);
    if (ok != expected) {
      state.SkipWithError("unexpected correction result");
      break;
    }
    benchmark::DoNotOptimize(work.data());
  }
  SetSectorRate(state);
}

void BM_CorrectIntact(benchmark::State& state) { RunCorrect(state, EncodedSector(), true); }
BENCHMARK(BM_CorrectIntact);

void BM_CorrectOneError(benchmark::State& state) {
  TSector sector = EncodedSector();
  sector[16 + 700] ^= 0x5A;
  RunCorrect(state, sector, true);
}
BENCHMARK(BM_CorrectOneError);

void BM_CorrectUncorrectable(benchmark::State& state) {
  // Two Q codewords sharing two P codewords, two errors each: no pass can repair it.
  TSector sector = EncodedSector();
  const auto qByte = [](int i, int j) { return 12 + 2 * ((44 * j + 43 * i) % 1118); };
  sector[qByte(3, 5)] ^= 0x11;
  sector[qByte(3, 9)] ^= 0x22;
  sector[qByte(8, 5)] ^= 0x33;
  sector[qByte(8, 9)] ^= 0x44;
  RunCorrect(state, sector, false);
}
BENCHMARK(BM_CorrectUncorrectable);

void BM_CorrectOrRestoreUncorrectable(benchmark::State& state) {
  TSector given = EncodedSector();
  const auto qByte = [](int i, int j) { return 12 + 2 * ((44 * j + 43 * i) % 1118); };
  given[qByte(3, 5)] ^= 0x11;
  given[qByte(3, 9)] ^= 0x22;
  given[qByte(8, 5)] ^= 0x33;
  given[qByte(8, 9)] ^= 0x44;
  TMode1ErrorCorrect corrector;
  TSector work;
  for (auto _ : state) {
    std::memcpy(work.data(), given.data(), work.size());
    benchmark::DoNotOptimize(corrector.CorrectOrRestore(work.data(), 2));
  }
  SetSectorRate(state);
}
BENCHMARK(BM_CorrectOrRestoreUncorrectable);

void BM_EncodeMode1(benchmark::State& state) {
  std::array<uint8_t, 2048> data{};
  data[5] = 1;
  TSector sector;
  int64_t address = 150;
  for (auto _ : state) {
    EncodeMode1Sector(sector.data(), address++, data.data());
    benchmark::DoNotOptimize(sector.data());
  }
  SetSectorRate(state);
}
BENCHMARK(BM_EncodeMode1);

}  // namespace
