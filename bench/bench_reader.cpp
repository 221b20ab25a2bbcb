// A whole 74-minute Mode 1 disc (333,000 sectors) read through the sector reader from
// the emulated drive, against the drive's own READ CD rate on the same disc. The
// reader's cost is its time less the drive's time for the same commands; it must stay
// below the drive's own.
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/BenchDrive.h"
#include "drive/Krcdrom.h"
#include "emulator/EmulatedDrive.h"
#include "platform/EmulatedScsiDevice.h"
#include "platform/Machine.h"
#include "reader/Discend.h"
#include "reader/Sectorreader.h"
#include "sector/SectorEncoder.h"

namespace {

constexpr int32_t kDiscSectors = 333000;
constexpr uint32_t kBatch = 15;
using bench_drive::kFirstFrame;

std::shared_ptr<const emu::Disc> WholeDisc() {
  static const std::shared_ptr<const emu::Disc> disc = bench_drive::Mode1Disc(kDiscSectors, [](int32_t lba, uint8_t* user) {
    for (size_t i = 0; i < 2048; ++i) user[i] = static_cast<uint8_t>(lba * 31 + i * 7);
  });
  return disc;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The whole disc in READ CD commands of kBatch sectors, straight on the drive.
bool EmulatorPass(emu::EmulatedDrive& drive, uint8_t flags, size_t sectorBytes) {
  std::vector<uint8_t> buffer(kBatch * sectorBytes);
  std::array<uint8_t, 12> cdb = {0xBE, 0, 0, 0, 0, 0, 0, 0, 0, flags, 0, 0};
  for (int32_t lba = 0; lba < kDiscSectors; lba += kBatch) {
    const uint32_t count = std::min<uint32_t>(kBatch, kDiscSectors - lba);
    cdb[2] = static_cast<uint8_t>(lba >> 24);
    cdb[3] = static_cast<uint8_t>(lba >> 16);
    cdb[4] = static_cast<uint8_t>(lba >> 8);
    cdb[5] = static_cast<uint8_t>(lba);
    cdb[8] = static_cast<uint8_t>(count);
    std::span<uint8_t> in(buffer.data(), count * sectorBytes);
    if (!drive.Execute(cdb, platform::DataDirection::In, in, 30000).Good()) return false;
    benchmark::DoNotOptimize(buffer.data());
  }
  return true;
}

void BM_EmulatorReadCd(benchmark::State& state) {
  const bool raw = state.range(0) != 0;
  emu::EmulatedDrive drive(WholeDisc());
  for (auto _ : state) {
    if (!EmulatorPass(drive, raw ? 0xF8 : 0x10, raw ? 2352 : 2048)) state.SkipWithError("READ CD failed");
    state.PauseTiming();
    drive.ClearLog();
    state.ResumeTiming();
  }
  state.counters["sectors/s"] = benchmark::Counter(double(kDiscSectors) * double(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}

using bench_drive::MachineWithDrive;

// Whole-disc passes through the reader with DataReadCmd 0 (user data) or 2 (raw, with
// the soft-ECC check). One untimed pass of the drive alone, with the same commands,
// gives the reader's own share.
void BM_SectorReaderWholeDisc(benchmark::State& state) {
  const uint32_t command = static_cast<uint32_t>(state.range(0));
  auto drive = std::make_shared<emu::EmulatedDrive>(WholeDisc());
  MachineWithDrive machine(drive);
  const int64_t savedDiscEnd = DiscEndAddress;
  DiscEndAddress = kFirstFrame + kDiscSectors;

  const auto emulatorStart = std::chrono::steady_clock::now();
  if (!EmulatorPass(*drive, command == 2 ? 0xF8 : 0x10, command == 2 ? 2352 : 2048))
    state.SkipWithError("READ CD failed");
  const double emulatorSeconds = Seconds(emulatorStart);
  drive->ClearLog();

  TDriveSetting setting{};
  setting.UseSpti = 1;
  setting.DataReadCmd = command;
  setting.DataReadAtOnce = kBatch;
  setting.ExtReadAtOnce = kBatch;
  setting.SoftEccEnabled = 1;
  setting.SoftEccRetryCount = 2;
  TSectorReader reader;
  reader.SetDrive(TKrCdRom(std::string("D:")), setting);
  std::array<uint8_t, 2352> sector;
  double readerSeconds = 0;
  for (auto _ : state) {
    reader.Prepare();
    const auto start = std::chrono::steady_clock::now();
    int64_t failed = 0;
    uint8_t type = 0;
    for (int64_t a = kFirstFrame; a < kFirstFrame + kDiscSectors; ++a)
      failed += reader.ReadSector(a, 2, type, sector.data()) ? 0 : 1;
    benchmark::DoNotOptimize(sector.data());
    readerSeconds += Seconds(start);
    if (failed != 0) state.SkipWithError("sectors failed");
    state.PauseTiming();
    reader.Release();
    drive->ClearLog();
    state.ResumeTiming();
  }
  const double perPass = readerSeconds / double(state.iterations());
  state.counters["sectors/s"] = benchmark::Counter(double(kDiscSectors) * double(state.iterations()),
                                                   benchmark::Counter::kIsRate);
  state.counters["emulator_sectors/s"] = kDiscSectors / emulatorSeconds;
  // Below 1: the reader costs less than the emulated drive it reads from.
  state.counters["reader_cost/emulator_cost"] = (perPass - emulatorSeconds) / emulatorSeconds;
  DiscEndAddress = savedDiscEnd;
}

BENCHMARK(BM_EmulatorReadCd)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SectorReaderWholeDisc)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
