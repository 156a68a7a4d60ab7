#include "wav_builder.h"

namespace soundtest {
namespace {

void Put(Bytes& out, const char (&tag)[5]) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(tag[i]));
}

void PutLittleEndian(Bytes& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

Bytes MakeWav(const WavFormat& format, const Bytes& data,
              std::optional<std::uint32_t> claimedDataSize) {
  const int fmtSize = format.extraSizeField ? 18 : 16;
  const int blockAlign = format.channels * format.bits / 8;
  const std::uint32_t dataSize = claimedDataSize.value_or(static_cast<std::uint32_t>(data.size()));
  Bytes out;
  Put(out, "RIFF");
  PutLittleEndian(out, 4 + (8 + fmtSize) + 8 + std::uint64_t{dataSize}, 4);
  Put(out, "WAVE");
  Put(out, "fmt ");
  PutLittleEndian(out, fmtSize, 4);
  PutLittleEndian(out, format.formatTag, 2);
  PutLittleEndian(out, format.channels, 2);
  PutLittleEndian(out, static_cast<std::uint64_t>(format.rate), 4);
  PutLittleEndian(out, static_cast<std::uint64_t>(format.rate * blockAlign), 4);
  PutLittleEndian(out, blockAlign, 2);
  PutLittleEndian(out, format.bits, 2);
  if (format.extraSizeField) PutLittleEndian(out, 0, 2);
  Put(out, "data");
  PutLittleEndian(out, dataSize, 4);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes Wav8(const Bytes& samples, std::int64_t rate) {
  WavFormat format;
  format.rate = rate;
  return MakeWav(format, samples);
}

Bytes Widen(const Bytes& samples8, int bits) {
  Bytes out;
  for (std::uint8_t sample : samples8) {
    const auto centred = static_cast<std::int64_t>(sample) - 128;
    const auto value = static_cast<std::uint64_t>(centred * (std::int64_t{1} << (bits - 8)));
    PutLittleEndian(out, value, bits / 8);
  }
  return out;
}

Bytes Noise(std::size_t count, std::uint32_t seed) {
  Bytes out(count);
  std::uint32_t state = seed;
  for (std::uint8_t& sample : out) {
    state = state * 1664525u + 1013904223u;
    sample = static_cast<std::uint8_t>(state >> 24);
    if (sample == 128) sample = 129;
  }
  return out;
}

}  // namespace soundtest
