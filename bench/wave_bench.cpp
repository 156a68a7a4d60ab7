// Building the pulse-train image beside the cheapest way to produce the same
// number of bytes: a memset into a fresh block from the same allocator. Both
// pay the first touch of fresh pages, so their ratio shows what the fill
// itself costs. Printed at the end: build rate / memset rate per size.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/memory.h"
#include "pulse/wave.h"

namespace {

constexpr std::int32_t kRate = 44100;  // Hz, the default

struct Size {
  const char* label;
  std::int32_t durationMs;
};

// 44,100 B (defaults), 2.6 MB (60 s), 158.8 MB (one hour) and the longest
// length whose image still fits a signed 32-bit size (2,147,483,589 bytes).
constexpr Size kSizes[] = {{"1s", 1000}, {"60s", 60000}, {"1h", 3600000}, {"max", 48695773}};

std::size_t ImageBytes(std::int32_t durationMs) {
  return static_cast<std::size_t>(pulse::WaveDataSize(durationMs, kRate)) + pulse::kWaveHeaderBytes;
}

void BuildWave(benchmark::State& state, std::int32_t durationMs) {
  const pulse::PulseJob job{500, durationMs, pulse::kJobAmplitude, kRate};
  for (auto _ : state) {
    pulse::PulseWave wave;
    if (pulse::BuildPulseWave(job, 2.0, &wave) != pulse::WaveStatus::Ok) {
      state.SkipWithError("the image could not be built");
      break;
    }
    benchmark::DoNotOptimize(wave.block);
    pulse::FreeWaveImage(&wave);
    pulse::FreeWavePattern(&wave);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(ImageBytes(durationMs)));
}

void FreshMemset(benchmark::State& state, std::int32_t durationMs) {
  const std::size_t bytes = ImageBytes(durationMs);
  for (auto _ : state) {
    void* block = platform::MemAlloc(bytes + pulse::kWaveSlackBytes);
    if (block == nullptr) {
      state.SkipWithError("no memory");
      break;
    }
    std::memset(block, 1, bytes);
    benchmark::DoNotOptimize(block);
    benchmark::ClobberMemory();
    platform::MemFree(block);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}

// The console report (its G/s are GiB/s), then a table of build / memset
// rates per size in GB/s (10^9 bytes).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, so piped output stays plain text.
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_None) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type != Run::RT_Iteration && !median) continue;
      const auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) rates_[run.run_name.function_name] = rate->second.value;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-6s %14s %12s %12s %7s\n", "size", "bytes", "build GB/s", "memset GB/s",
                "ratio");
    for (const Size& size : kSizes) {
      const auto build = rates_.find(std::string("BuildPulseWave/") + size.label);
      const auto memset = rates_.find(std::string("FreshMemset/") + size.label);
      if (build == rates_.end() || memset == rates_.end()) continue;
      std::printf("%-6s %14zu %12.2f %12.2f %7.2f\n", size.label, ImageBytes(size.durationMs),
                  build->second / 1e9, memset->second / 1e9, build->second / memset->second);
    }
  }

 private:
  std::map<std::string, double> rates_;  // run name -> bytes per second
};

}  // namespace

int main(int argc, char** argv) {
  // Each size's two figures run one after the other, in the same process.
  for (const Size& size : kSizes) {
    benchmark::RegisterBenchmark((std::string("BuildPulseWave/") + size.label).c_str(), BuildWave,
                                 size.durationMs)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark((std::string("FreshMemset/") + size.label).c_str(), FreshMemset,
                                 size.durationMs)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // Warm-up, untimed: the first touch of memory the machine has never used
  // (a virtual machine's host backs guest pages only then) costs up to 20
  // times a later touch, and would fall on whichever figure runs first.
  const std::size_t largest = ImageBytes(kSizes[std::size(kSizes) - 1].durationMs);
  if (void* block = platform::MemAlloc(largest)) {
    std::memset(block, 0, largest);
    benchmark::DoNotOptimize(block);
    platform::MemFree(block);
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
