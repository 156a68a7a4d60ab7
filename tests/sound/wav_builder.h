// WAV images built by hand for the sound layer's tests, so that every header
// field (rate, channels, format tag, sizes) can be set to a bad value too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace soundtest {

using Bytes = std::vector<std::uint8_t>;

struct WavFormat {
  int formatTag = 1;  // 1 PCM, 3 IEEE float
  int channels = 1;
  std::int64_t rate = 44100;   // Hz; written as 32 bits
  int bits = 8;                // per sample
  bool extraSizeField = true;  // the 18-byte fmt chunk (else the 16-byte one)
};

// A format with the 18-byte fmt chunk.
inline WavFormat Format(int formatTag, int channels, std::int64_t rate, int bits) {
  WavFormat format;
  format.formatTag = formatTag;
  format.channels = channels;
  format.rate = rate;
  format.bits = bits;
  return format;
}

// A RIFF/WAVE image: the fmt chunk for `format`, then a data chunk holding
// `data` (already encoded). `claimedDataSize` overrides the data chunk's size
// field, to build images whose header lies.
Bytes MakeWav(const WavFormat& format, const Bytes& data,
              std::optional<std::uint32_t> claimedDataSize = std::nullopt);

// An 8-bit mono image of `samples` at `rate` Hz, with the 18-byte fmt chunk.
Bytes Wav8(const Bytes& samples, std::int64_t rate = 44100);

// Encodes 8-bit unsigned samples as signed little-endian PCM of `bits` (16,
// 24 or 32) with the same value, so the device's 8-bit output is unchanged.
Bytes Widen(const Bytes& samples8, int bits);

// `count` deterministic pseudo-random 8-bit samples, none of them 128 (the
// zero line), so every sample of a sound is told apart from silence.
Bytes Noise(std::size_t count, std::uint32_t seed);

}  // namespace soundtest
