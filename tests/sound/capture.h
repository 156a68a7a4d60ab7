// What reaches the output device, captured by OpenAL Soft's "wave" driver.
//
// The driver writes the device's output to a WAV file, paced in real time
// from the moment the device starts; the file's sizes are only final once the
// device is closed (SoundLayerEnd). The device here is one channel of 8-bit
// unsigned samples at 44100 Hz with dither and limiter off, so an 8-bit mono
// sound at 44100 Hz arrives sample for sample, with 128 as silence.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace soundtest {

inline constexpr int kDeviceRate = 44100;  // Hz
inline constexpr std::uint8_t kSilence = 128;

// Points OpenAL Soft at a configuration (written once per process, in a
// fresh temporary folder) that selects the capture device described above.
// Must run before the process's first OpenAL call. Returns "" when ready,
// else what went wrong.
std::string UseCaptureDevice();

// The samples of the last capture, read after SoundLayerEnd. Fails the
// current test (and gives nothing) if the file is not the expected WAV.
std::vector<std::uint8_t> ReadCapture();

// Index of the first sample that is not silence, or samples.size().
std::size_t FirstSound(const std::vector<std::uint8_t>& samples, std::size_t from = 0);

// Index of the first silent sample at or after `from`, or samples.size().
std::size_t FirstSilence(const std::vector<std::uint8_t>& samples, std::size_t from);

// Polls `done` every millisecond until it holds; false if it still does not
// after `bound` (a bound only there to catch a hang).
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds bound = std::chrono::seconds(10));

// Number of device samples in `duration`.
std::size_t Samples(std::chrono::milliseconds duration);

}  // namespace soundtest
