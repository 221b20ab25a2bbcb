// Detect throughput of the ten file-type plug-ins as the recovery scan uses them: 650 MB
// of 2048-byte sectors (noise, zeros, text and, now and then, the first sector of a real
// file), each offered to the plug-ins in the manager's default order (Reset, Detect)
// until one accepts. Prints MB/s on one core.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "recovery/Pluginmgr.h"
#include "tests/plugins/samples/SampleFiles.h"
#include "tests/support/TempDir.h"

namespace {

constexpr size_t kSectorSize = 2048;
constexpr size_t kDiscBytes = size_t{650} * 1024 * 1024;
constexpr size_t kFileStartEvery = 64;  // one sector in this many starts a real file

// A fixed 64-bit generator: the same disc at every run.
class Noise {
 public:
  uint64_t Next() {
    State ^= State << 13;
    State ^= State >> 7;
    State ^= State << 17;
    return State;
  }
  void Fill(uint8_t* out, size_t size) {
    for (size_t i = 0; i + 8 <= size; i += 8) {
      const uint64_t v = Next();
      std::memcpy(out + i, &v, 8);
    }
  }

 private:
  uint64_t State = 0x9E3779B97F4A7C15ull;
};

std::string TextPool() {
  std::string text;
  for (int i = 0; text.size() < 64 * 1024; ++i)
    text += "Line " + std::to_string(i) + ": BMW, RIFF and PK are words that a text may well begin with.\n";
  return text;
}

struct Disc {
  std::vector<uint8_t> Bytes;
  size_t FileStarts = 0;
  std::string Error;
};

Disc MakeDisc() {
  Disc disc;
  const test_support::TempDir folder("qnl-bench");
  const std::vector<plugin_samples::SampleFile> samples = plugin_samples::MakeSampleFiles(folder.Path.string());
  if (samples.empty()) {
    disc.Error = "no sample files: the tools that make them are missing";
    return disc;
  }
  const std::string text = TextPool();
  disc.Bytes.resize(kDiscBytes);  // zeros
  Noise noise;
  for (size_t s = 0; s < kDiscBytes / kSectorSize; ++s) {
    uint8_t* sector = disc.Bytes.data() + s * kSectorSize;
    if (s % kFileStartEvery == kFileStartEvery - 1) {
      const auto& file = samples[disc.FileStarts++ % samples.size()].Data;
      std::memcpy(sector, file.data(), std::min(file.size(), kSectorSize));
      continue;
    }
    switch (noise.Next() % 3) {
      case 0: noise.Fill(sector, kSectorSize); break;
      case 1: std::memcpy(sector, text.data() + (s * 97) % (text.size() - kSectorSize), kSectorSize); break;
      default: break;  // zeros
    }
  }
  return disc;
}

const Disc& TheDisc() {
  static const Disc disc = MakeDisc();
  return disc;
}

void BM_DetectAllPlugins(benchmark::State& state) {
  const Disc& disc = TheDisc();
  if (!disc.Error.empty()) {
    state.SkipWithError(disc.Error.c_str());
    return;
  }
  TPluginManager manager;
  if (manager.LoadPlugins(QNL_PLUGIN_DIR) != 10) {
    state.SkipWithError("the ten plug-in modules are not built");
    return;
  }
  std::vector<TFormatPlugin*> order;
  for (unsigned i = 0; i < manager.GetCount(); ++i)
    if (manager.GetEnabled(i)) order.push_back(manager.GetPlugin(i));

  size_t accepted = 0;
  for (auto _ : state) {
    accepted = 0;
    for (size_t offset = 0; offset < disc.Bytes.size(); offset += kSectorSize) {
      for (TFormatPlugin* plugin : order) {
        plugin->Reset();
        if (plugin->Detect(disc.Bytes.data() + offset, kSectorSize) != 0) {
          ++accepted;
          break;
        }
      }
    }
    benchmark::DoNotOptimize(accepted);
  }
  const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(disc.Bytes.size());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["MB/s"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
  state.counters["file starts"] = static_cast<double>(disc.FileStarts);
  state.counters["accepted"] = static_cast<double>(accepted);
}
BENCHMARK(BM_DetectAllPlugins)->Unit(benchmark::kMillisecond);

}  // namespace
