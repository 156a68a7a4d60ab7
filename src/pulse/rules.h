// The numbers of a run, as pure functions of the field texts: how a field is
// read, the frequency rule and the corrections Start applies. No toolkit, no
// globals; the window program and pulsegen-wav share them.
//
// Threads: any thread.
#pragma once

#include <cstdint>
#include <string_view>

namespace pulse {

// Settings of one run handed to its worker: four signed 32-bit integers in
// this order, 16 bytes, allocated zero-filled by Start.
struct PulseJob {
  std::int32_t frequencyHz;
  std::int32_t durationMs;
  std::int32_t amplitude;
  std::int32_t sampleRate;
};
static_assert(sizeof(PulseJob) == 16);

// Start always asks for this amplitude (the high sample is 2 × 127 = 254).
inline constexpr std::int32_t kJobAmplitude = 127;

// Reads a field's text as a signed 32-bit integer: blanks and tabs skipped,
// an optional '-' or '+', then digits up to the first non-digit, accumulated
// with 32-bit wrap-around ("2147483648" reads as -2147483648). No digits: 0.
std::int32_t ParseFieldInteger(std::string_view text);

// round(1000000 / (pauseUs + pulseUs)) in 64-bit floating point, halves to
// even. A quotient that is not finite or does not fit 32 bits (a zero sum)
// gives INT32_MIN.
std::int32_t ComputeFrequency(double pauseUs, double pulseUs);

// The values of a run after Start's corrections, and which were corrected.
struct RunSettings {
  std::int32_t pauseUs = 0;
  std::int32_t pulseUs = 0;
  std::int32_t frequencyHz = 0;  // from the values as read, before corrections
  std::int32_t durationMs = 0;
  std::int32_t sampleRate = 0;
  bool pauseCorrected = false;  // was <= 0, now 1000
  bool pulseCorrected = false;  // was <= 0, now 1000
  bool sizeCorrected = false;   // was <= 1, now 1000
  bool rateCorrected = false;   // was below 2 × frequency, now 2 × frequency
};

// The corrected pause, pulse, size and rate, in µs, µs, ms and Hz.
inline constexpr std::int32_t kCorrectedPauseUs = 1000;
inline constexpr std::int32_t kCorrectedPulseUs = 1000;
inline constexpr std::int32_t kCorrectedDurationMs = 1000;

// Applies the frequency rule and Start's corrections to values read from the
// four fields.
RunSettings CorrectRunSettings(std::int32_t pauseUs, std::int32_t pulseUs, std::int32_t durationMs,
                               std::int32_t sampleRate);

// The job Start hands to its worker for `settings`.
PulseJob MakeJob(const RunSettings& settings);

}  // namespace pulse
