#include "pulse/rules.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace pulse {

std::int32_t ParseFieldInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  // Unsigned arithmetic gives the 32-bit two's-complement wrap-around
  // without undefined behaviour.
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

std::int32_t ComputeFrequency(double pauseUs, double pulseUs) {
  const double sum = pauseUs + pulseUs;
  const double quotient = 1000000.0 / sum;  // a zero sum gives an infinity
  // nearbyint rounds halves to even in the default rounding mode.
  const double rounded = std::nearbyint(quotient);
  if (!std::isfinite(rounded) || rounded < -2147483648.0 || rounded > 2147483647.0) {
    return std::numeric_limits<std::int32_t>::min();
  }
  return static_cast<std::int32_t>(rounded);
}

RunSettings CorrectRunSettings(std::int32_t pauseUs, std::int32_t pulseUs, std::int32_t durationMs,
                               std::int32_t sampleRate) {
  RunSettings s;
  s.pauseUs = pauseUs;
  s.pulseUs = pulseUs;
  s.frequencyHz = ComputeFrequency(pauseUs, pulseUs);
  s.durationMs = durationMs;
  s.sampleRate = sampleRate;
  if (s.pauseUs <= 0) {
    s.pauseUs = kCorrectedPauseUs;
    s.pauseCorrected = true;
  }
  if (s.pulseUs <= 0) {
    s.pulseUs = kCorrectedPulseUs;
    s.pulseCorrected = true;
  }
  if (s.durationMs <= 1) {
    s.durationMs = kCorrectedDurationMs;
    s.sizeCorrected = true;
  }
  // The doubling is 32-bit arithmetic with wrap-around, the comparison signed.
  const auto twiceFrequency =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(s.frequencyHz) * 2u);
  if (s.sampleRate < twiceFrequency) {
    s.sampleRate = twiceFrequency;
    s.rateCorrected = true;
  }
  return s;
}

PulseJob MakeJob(const RunSettings& settings) {
  return PulseJob{settings.frequencyHz, settings.durationMs, kJobAmplitude, settings.sampleRate};
}

}  // namespace pulse
