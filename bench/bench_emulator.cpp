// Throughput of the emulated drive's read path.
#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <vector>

#include "emulator/EmulatedDrive.h"
#include "sector/SectorEncoder.h"

namespace {

constexpr int32_t kSectors = 4000;
constexpr uint32_t kPerCommand = 26;

std::shared_ptr<emu::Disc> Mode1Disc() {
  auto disc = std::make_shared<emu::Disc>();
  auto store = std::make_shared<emu::MemorySectorStore>(kSectors);
  std::array<uint8_t, 2048> user;
  for (int32_t lba = 0; lba < kSectors; ++lba) {
    for (size_t i = 0; i < user.size(); ++i) user[i] = static_cast<uint8_t>(lba + i);
    EncodeMode1Sector(store->MutableMain(lba), lba + 150, user.data());
    EncodeQFrame(store->MutableSub(lba) + 12, 4, 1, 1, lba, lba + 150);
  }
  disc->Store = store;
  disc->Layout.push_back({0, kSectors, emu::SectorKind::Mode1, 4});
  emu::TocDescriptor leadOut;
  leadOut.Session = 1;
  leadOut.AdrControl = 0x14;
  leadOut.Point = 0xA2;
  const int32_t frames = kSectors + 150;
  leadOut.PMin = static_cast<uint8_t>(frames / 4500);
  leadOut.PSec = static_cast<uint8_t>(frames / 75 % 60);
  leadOut.PFrame = static_cast<uint8_t>(frames % 75);
  disc->Toc.push_back(leadOut);
  return disc;
}

void ReadCd(benchmark::State& state, uint8_t flags, uint8_t sub, size_t sectorBytes) {
  emu::EmulatedDrive drive(Mode1Disc());
  std::vector<uint8_t> buffer(kPerCommand * sectorBytes);
  std::array<uint8_t, 12> cdb = {0xBE, 0, 0, 0, 0, 0, 0, 0, kPerCommand, flags, sub, 0};
  int32_t lba = 0;
  int64_t sectors = 0;
  int64_t commands = 0;
  for (auto _ : state) {
    cdb[4] = static_cast<uint8_t>(lba >> 8);
    cdb[5] = static_cast<uint8_t>(lba);
    const platform::ScsiResult r = drive.Execute(cdb, platform::DataDirection::In, buffer, 30000);
    if (!r.Good()) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(buffer.data());
    sectors += kPerCommand;
    lba += kPerCommand;
    if (lba + static_cast<int32_t>(kPerCommand) > kSectors) lba = 0;
    if (++commands % 4096 == 0) {
      state.PauseTiming();
      drive.ClearLog();
      state.ResumeTiming();
    }
  }
  state.counters["sectors/s"] = benchmark::Counter(static_cast<double>(sectors), benchmark::Counter::kIsRate);
}

void BM_ReadCdRaw(benchmark::State& state) { ReadCd(state, 0xF8, 0, 2352); }
void BM_ReadCdCooked(benchmark::State& state) { ReadCd(state, 0x10, 0, 2048); }
void BM_ReadCdRawWithSubchannel(benchmark::State& state) { ReadCd(state, 0xF8, 1, 2448); }

BENCHMARK(BM_ReadCdRaw);
BENCHMARK(BM_ReadCdCooked);
BENCHMARK(BM_ReadCdRawWithSubchannel);

}  // namespace
