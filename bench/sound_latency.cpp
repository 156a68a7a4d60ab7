// Sound layer latency at the default run: what the load and play cost the
// calling thread, and how long from the load until the sound's first sample
// is due at the output device.
//
// Headless, on OpenAL Soft's null driver (mixes in real time, reports the
// latency of a device with the configured buffering):
//   ALSOFT_DRIVERS=null sound_latency
// OpenAL Soft takes its update size and count from its configuration
// (period_size, periods; 1024 x 3 samples unless set), not from the
// program; an ALSOFT_CONF file with "[general]" and "period_size = 256"
// shows their effect.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/sound.h"

namespace {

using Clock = std::chrono::steady_clock;

void PutLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void PutTag(std::vector<std::uint8_t>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(tag[i]));
}

// The image of a run at the default settings: 44100 samples at 44100 Hz in
// 88-sample periods of 44 samples at 254 and 44 at 1; 44,146 bytes.
std::vector<std::uint8_t> DefaultImage() {
  constexpr std::uint32_t kRate = 44100;
  constexpr std::uint32_t kSamples = 44100;
  std::vector<std::uint8_t> image;
  PutTag(image, "RIFF");
  PutLittleEndian(image, kSamples + 38, 4);
  PutTag(image, "WAVE");
  PutTag(image, "fmt ");
  PutLittleEndian(image, 18, 4);
  PutLittleEndian(image, 1, 2);  // PCM
  PutLittleEndian(image, 1, 2);  // channels
  PutLittleEndian(image, kRate, 4);
  PutLittleEndian(image, kRate, 4);  // bytes per second
  PutLittleEndian(image, 1, 2);      // block align
  PutLittleEndian(image, 8, 2);      // bits per sample
  PutLittleEndian(image, 0, 2);      // extra format bytes
  PutTag(image, "data");
  PutLittleEndian(image, kSamples, 4);
  for (std::uint32_t i = 0; i < kSamples; ++i) image.push_back(i % 88 < 44 ? 254 : 1);
  return image;
}

const std::vector<std::uint8_t> kImage = DefaultImage();

bool OpenLayer(benchmark::State& state) {
  if (platform::SoundLayerInit() == 1) return true;
  state.SkipWithError("no sound output (try ALSOFT_DRIVERS=null)");
  return false;
}

// What a run's load and play cost the calling thread.
void BM_LoadAndPlay(benchmark::State& state) {
  if (!OpenLayer(state)) return;
  for (auto _ : state) {
    if (platform::SoundLoad(0, kImage.data(), kImage.size(), 0) != 1 ||
        platform::SoundPlay(0, 0) != 1) {
      state.SkipWithError("load or play failed");
      break;
    }
  }
  platform::SoundLayerEnd();
}
BENCHMARK(BM_LoadAndPlay)->Unit(benchmark::kMicrosecond);

// From the load until the first sample is due at the device: the load and
// play, the wait for the mixer's next update, and the device's queue. Once
// the mixer has produced [0, offset), the sample at `offset` sounds
// `latency` seconds later, so the first one sounds (latency - offset) later.
void BM_LoadToDevice(benchmark::State& state) {
  if (!OpenLayer(state)) return;
  double latencySum = 0.0;
  double slowest = 0.0;  // seconds
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    platform::SoundLoad(0, kImage.data(), kImage.size(), 0);
    platform::SoundPlay(0, 0);
    double offset = 0.0;
    double latency = 0.0;
    while (platform::SoundPosition(0, &offset, &latency) == 1 && offset == 0.0 &&
           Clock::now() - start < std::chrono::seconds(1)) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    if (offset == 0.0) {
      state.SkipWithError("the sound did not start (no latency report?)");
      break;
    }
    const std::chrono::duration<double> mixed = Clock::now() - start;
    const double toDevice = mixed.count() + latency - offset;
    state.SetIterationTime(toDevice);
    slowest = std::max(slowest, toDevice);
    latencySum += latency;
    platform::SoundStop(0);
  }
  state.counters["device_latency_ms"] =
      benchmark::Counter(latencySum * 1000.0, benchmark::Counter::kAvgIterations);
  state.counters["slowest_ms"] = slowest * 1000.0;
  platform::SoundLayerEnd();
}
BENCHMARK(BM_LoadToDevice)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
