// The pulse-train image a run plays: a complete RIFF/WAVE image in memory,
// one channel of unsigned 8-bit PCM, in which one period of high and low
// samples repeats for the whole length of the sound.
//
// Layout (little-endian; offsets in bytes):
//    0 "RIFF"   4 dataSize + 38   8 "WAVE"  12 "fmt "  16 18 (fmt chunk size)
//   20 1 (PCM) 22 1 (channel)    24 rate   28 rate (bytes/s)
//   32 1 (block align)           34 8 (bits/sample)    36 0 (extra bytes)
//   38 "data"  42 dataSize       46 samples, one byte each
// The image is dataSize + 46 bytes inside a zero-filled block of
// dataSize + 48 bytes; the two trailing zero bytes belong to no chunk.
//
// Threads: every function may be called from any thread; none keeps state.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pulse/rules.h"

namespace pulse {

// Size of the header before the first sample, and of the slack after the
// last one inside the block, in bytes.
inline constexpr std::size_t kWaveHeaderBytes = 46;
inline constexpr std::size_t kWaveSlackBytes = 2;

// Largest dataSize whose block (dataSize + 48 bytes) still has a signed
// 32-bit size, in samples (= bytes).
inline constexpr std::int64_t kMaxWaveDataSize = INT32_MAX - 48;

// Samples per period = highCount / dutyDivisor: pause / pulse, or
// pause / pulse + 1 when that quotient is <= 1 (so 3000/1000 gives 3,
// 1000/3000 gives 1.333..., equal values give 2). In 64-bit floating point;
// a zero or negative pulse gives an infinite, NaN or negative divisor, which
// BuildPulseWave accepts (see there).
double DutyDivisor(double pauseUs, double pulseUs);

// Number of samples in an image: truncate(durationMs × sampleRate / 1000.0),
// in 64-bit floating point so the product cannot overflow. Negative for a
// negative length or rate.
std::int64_t WaveDataSize(std::int32_t durationMs, std::int32_t sampleRate);

// The worker's refusal rule: true when frequencyHz > round(0.6 × sampleRate)
// (nearest, halves to even). Start's rate correction keeps every job with a
// frequency of at least 1 Hz within it.
bool FrequencyAboveRateBound(std::int32_t frequencyHz, std::int32_t sampleRate);

enum class WaveStatus {
  Ok,
  NoPeriod,  // frequency below 1 Hz, or above the rate (the period would be 0 samples)
  TooLarge,  // the block would not have a signed 32-bit size
  NoMemory,  // the block or the pattern could not be allocated
  BadJob,    // negative length or sample rate
};

struct PulseWave {
  // MemAlloc'd, dataSize + 48 bytes; the image is its first imageBytes.
  unsigned char* block = nullptr;
  std::size_t imageBytes = 0;  // dataSize + 46
  // PulsePattern: one period of sample bytes, period + 2 entries, MemAlloc'd.
  // Entries 0..period are written (highCount high bytes, then 1s), entry
  // period + 1 stays 0; only entries 0..period - 1 reach the samples.
  unsigned char* pattern = nullptr;
  std::int32_t dataSize = 0;   // samples (= bytes) after the header
  std::int32_t period = 0;     // samples per period: sampleRate / frequencyHz, truncated
  std::int32_t highCount = 0;  // high samples at the start of each period, 0..period
};

// Builds the image and the pattern for `job` with the given divisor. An
// amplitude outside 0..127 is replaced by 127; the high sample is
// truncate(amplitude × 2.0), the low one 1. highCount is
// round(period / dutyDivisor) with the quotient held as a 64-bit double
// (halves to even), then held within 0..period: a NaN or negative quotient
// gives 0, one beyond the period gives the whole period.
//
// Refusals, checked in this order before anything is allocated: BadJob for a
// negative durationMs or sampleRate, NoPeriod for a frequency below 1 Hz or a
// period of 0 samples, TooLarge for a dataSize above kMaxWaveDataSize,
// NoMemory when an allocation fails. On any status but Ok nothing stays
// allocated and *wave is left empty. `wave` must not hold blocks (assert).
WaveStatus BuildPulseWave(const PulseJob& job, double dutyDivisor, PulseWave* wave);

// Free the block / the pattern and clear their pointers (and imageBytes);
// the numbers stay for SeamlessLoopFrames. Each is safe to call twice.
void FreeWaveImage(PulseWave* wave);
void FreeWavePattern(PulseWave* wave);

// One line a user can act on, for logs and the command line.
const char* WaveStatusReason(WaveStatus status);

// Frames a looped play should repeat so the train stays periodic:
// period × floor(dataSize / period), or dataSize when the image is shorter
// than one period (or has no period).
std::int64_t SeamlessLoopFrames(const PulseWave& wave);

}  // namespace pulse
