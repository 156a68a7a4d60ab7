#include "pulse/wave.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>

#include "platform/memory.h"

namespace pulse {
namespace {

// Format of every image: PCM, one channel, 8 bits per sample.
constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kChannels = 1;
constexpr std::uint16_t kBitsPerSample = 8;
constexpr std::uint32_t kFmtChunkBytes = 18;  // the form with the extra-bytes size field
constexpr std::uint8_t kLowSample = 1;

// Once at least this many bytes of whole periods are in place (less than
// twice this, unless one period is longer), the rest of the image is copied
// from them: the source stays in the CPU cache, so each sample byte of the
// image is written once and never read back from memory.
constexpr std::size_t kCopyChunkBytes = std::size_t{32} << 10;

void PutU16(unsigned char* at, std::uint32_t value) {
  at[0] = static_cast<unsigned char>(value & 0xFFu);
  at[1] = static_cast<unsigned char>((value >> 8) & 0xFFu);
}

void PutU32(unsigned char* at, std::uint32_t value) {
  PutU16(at, value & 0xFFFFu);
  PutU16(at + 2, value >> 16);
}

void PutTag(unsigned char* at, const char (&tag)[5]) { std::memcpy(at, tag, 4); }

// The 46 header bytes, offsets 0 to 45, for `dataSize` samples at `sampleRate`.
void WriteWaveHeader(unsigned char* image, std::int32_t dataSize, std::int32_t sampleRate) {
  // truncate(channels × bits / 8.0) = 1 byte per frame.
  const auto blockAlign = static_cast<std::uint32_t>(kChannels * kBitsPerSample / 8.0);
  const auto size = static_cast<std::uint32_t>(dataSize);
  const auto rate = static_cast<std::uint32_t>(sampleRate);
  PutTag(image + 0, "RIFF");
  PutU32(image + 4, size + 38);
  PutTag(image + 8, "WAVE");
  PutTag(image + 12, "fmt ");
  PutU32(image + 16, kFmtChunkBytes);
  PutU16(image + 20, kFormatPcm);
  PutU16(image + 22, kChannels);
  PutU32(image + 24, rate);
  PutU32(image + 28, rate * blockAlign);
  PutU16(image + 32, blockAlign);
  PutU16(image + 34, kBitsPerSample);
  PutU16(image + 36, 0);  // no extra format bytes
  PutTag(image + 38, "data");
  PutU32(image + 42, size);
}

// round(period / dutyDivisor), halves to even, held within 0..period.
std::int32_t HighCount(std::int32_t period, double dutyDivisor) {
  // The quotient must be rounded to a 64-bit double before it is rounded to
  // an integer: an extended-precision 6 / 1.3333333333333333 is a little
  // above 4.5 and would give 5 instead of 4. The volatile store forces it.
  volatile double quotient = static_cast<double>(period) / dutyDivisor;
  const double rounded = std::nearbyint(quotient);  // default mode: halves to even
  if (!(rounded > 0.0)) return 0;                   // also NaN
  if (rounded >= static_cast<double>(period)) return period;
  return static_cast<std::int32_t>(rounded);
}

// One period of PulsePattern, period + 2 entries (H = the high sample):
//
//   H +-----------+
//     |           |
//   1 |           +-----------+ (entry `period` is 1, entry period + 1 stays 0)
//     0       highCount     period
void FillPattern(unsigned char* pattern, std::size_t period, std::size_t highCount,
                 unsigned char high) {
  std::memset(pattern, high, highCount);
  std::memset(pattern + highCount, kLowSample, period + 1 - highCount);
}

// Writes `count` samples repeating the first `period` bytes of `pattern`.
// Builds whole periods by doubling up to kCopyChunkBytes, then copies that
// cache-resident chunk along the rest: large memcpy calls instead of one
// index per sample, and every period starts at a multiple of `period`.
void FillSamples(unsigned char* samples, std::size_t count, const unsigned char* pattern,
                 std::size_t period) {
  std::size_t filled = std::min(period, count);
  std::memcpy(samples, pattern, filled);
  while (filled < count && filled < kCopyChunkBytes) {
    const std::size_t n = std::min(filled, count - filled);
    std::memcpy(samples + filled, samples, n);
    filled += n;
  }
  const std::size_t chunk = filled;  // whole periods, unless the image ended first
  while (filled < count) {
    const std::size_t n = std::min(chunk, count - filled);
    std::memcpy(samples + filled, samples, n);
    filled += n;
  }
}

}  // namespace

double DutyDivisor(double pauseUs, double pulseUs) {
  const double quotient = pauseUs / pulseUs;
  return quotient <= 1.0 ? quotient + 1.0 : quotient;
}

std::int64_t WaveDataSize(std::int32_t durationMs, std::int32_t sampleRate) {
  // Both factors are below 2^31, so the product is below 2^62: it rounds only
  // where the result is far beyond kMaxWaveDataSize anyway.
  const double samples = static_cast<double>(durationMs) * static_cast<double>(sampleRate) / 1000.0;
  return static_cast<std::int64_t>(samples);  // truncates toward zero
}

bool FrequencyAboveRateBound(std::int32_t frequencyHz, std::int32_t sampleRate) {
  const double bound = std::nearbyint(0.6 * static_cast<double>(sampleRate));
  return static_cast<double>(frequencyHz) > bound;
}

WaveStatus BuildPulseWave(const PulseJob& job, double dutyDivisor, PulseWave* wave) {
  assert(wave != nullptr && wave->block == nullptr && wave->pattern == nullptr);
  *wave = PulseWave{};
  if (job.durationMs < 0 || job.sampleRate < 0) return WaveStatus::BadJob;
  if (job.frequencyHz < 1) return WaveStatus::NoPeriod;
  const std::int32_t period = job.sampleRate / job.frequencyHz;
  if (period == 0) return WaveStatus::NoPeriod;
  const std::int64_t dataSize = WaveDataSize(job.durationMs, job.sampleRate);
  if (dataSize > kMaxWaveDataSize) return WaveStatus::TooLarge;

  const std::int32_t amplitude =
      job.amplitude < 0 || job.amplitude > 127 ? kJobAmplitude : job.amplitude;
  const auto high = static_cast<unsigned char>(amplitude * 2.0);  // 0..254, truncated
  const auto samples = static_cast<std::size_t>(dataSize);
  const auto periodBytes = static_cast<std::size_t>(period);

  auto* block =
      static_cast<unsigned char*>(platform::MemAlloc(samples + kWaveHeaderBytes + kWaveSlackBytes));
  auto* pattern = static_cast<unsigned char*>(platform::MemAlloc(periodBytes + 2));
  if (block == nullptr || pattern == nullptr) {
    platform::MemFree(block);
    platform::MemFree(pattern);
    return WaveStatus::NoMemory;
  }

  const std::int32_t highCount = HighCount(period, dutyDivisor);
  WriteWaveHeader(block, static_cast<std::int32_t>(dataSize), job.sampleRate);
  FillPattern(pattern, periodBytes, static_cast<std::size_t>(highCount), high);
  FillSamples(block + kWaveHeaderBytes, samples, pattern, periodBytes);

  wave->block = block;
  wave->imageBytes = samples + kWaveHeaderBytes;
  wave->pattern = pattern;
  wave->dataSize = static_cast<std::int32_t>(dataSize);
  wave->period = period;
  wave->highCount = highCount;
  return WaveStatus::Ok;
}

void FreeWaveImage(PulseWave* wave) {
  platform::MemFree(wave->block);
  wave->block = nullptr;
  wave->imageBytes = 0;
}

void FreeWavePattern(PulseWave* wave) {
  platform::MemFree(wave->pattern);
  wave->pattern = nullptr;
}

const char* WaveStatusReason(WaveStatus status) {
  switch (status) {
    case WaveStatus::Ok:
      return "the image was built";
    case WaveStatus::NoPeriod:
      return "no pulse period can be formed: 1000000 / (pause + pulse) must give at least 1 Hz "
             "and at most the sample rate";
    case WaveStatus::TooLarge:
      return "the image would exceed 2 GiB: lower the size (ms) or the sample rate";
    case WaveStatus::NoMemory:
      return "not enough memory for the image: lower the size (ms) or the sample rate";
    case WaveStatus::BadJob:
      return "the size and the sample rate must not be negative";
  }
  return "unknown image status";
}

std::int64_t SeamlessLoopFrames(const PulseWave& wave) {
  if (wave.period <= 0 || wave.dataSize < wave.period) return wave.dataSize;
  return std::int64_t{wave.period} * (wave.dataSize / wave.period);
}

}  // namespace pulse
