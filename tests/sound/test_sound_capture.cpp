// What the sound layer delivers to the output device, captured sample for
// sample by OpenAL Soft's "wave" driver (see capture.h).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "capture.h"
#include "platform/sound.h"
#include "wav_builder.h"

namespace {

using namespace soundtest;
using namespace std::chrono_literals;
using platform::SoundLoad;
using platform::SoundLoaded;
using platform::SoundPlay;
using platform::SoundPlaying;
using Capture = std::vector<std::uint8_t>;

// Long enough for several loops and several device updates (1024 samples,
// 23 ms each), short enough to keep a test well under a second.
constexpr auto kListen = 200ms;
// What kListen guarantees at least, leaving a few updates for the mixer to
// pick up a change.
constexpr auto kListenAtLeast = 100ms;

class CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(UseCaptureDevice(), "");
    ASSERT_EQ(platform::SoundLayerInit(), 1);
  }
  void TearDown() override { platform::SoundLayerEnd(); }

  // Closing the device finalises the capture file.
  static Capture EndAndCapture() {
    platform::SoundLayerEnd();
    return ReadCapture();
  }
  // Until the mixer has taken slot 0's sound past its first sample.
  static bool WaitStarted() {
    return WaitUntil([] {
      double offset = 0.0;
      double latency = 0.0;
      return platform::SoundPosition(0, &offset, &latency) == 1 && offset > 0.0;
    });
  }
  static bool WaitPlayedOut() {
    return WaitUntil([] { return SoundPlaying(0) == 0; });
  }
};

// How many samples from `start` on equal `expected`, read once or, when
// `cyclic`, over and over.
std::size_t Matching(const Capture& capture, std::size_t start, const Bytes& expected,
                     bool cyclic) {
  std::size_t n = 0;
  while (start + n < capture.size() && (cyclic || n < expected.size()) &&
         capture[start + n] == expected[n % expected.size()]) {
    ++n;
  }
  return n;
}

bool AllSilent(const Capture& capture, std::size_t from) {
  return FirstSound(capture, from) == capture.size();
}

// ---- A sound played once ------------------------------------------------

struct OnceCase {
  const char* name;
  Bytes image;
  long long loopFrames;
  Bytes expected;  // what the device must receive
};

Bytes Doubled(const Bytes& samples) {
  Bytes out;
  for (std::uint8_t sample : samples) out.insert(out.end(), 2, sample);
  return out;
}

Bytes WithTrailingZeros(Bytes image) {
  image.insert(image.end(), 2, 0);
  return image;
}

WavFormat Pcm(int bits) {
  WavFormat format;
  format.bits = bits;
  return format;
}

WavFormat ShortFmtChunk() {
  WavFormat format;
  format.extraSizeField = false;
  return format;
}

// 4999 samples: an odd data size, and not a whole number of device updates,
// so silence follows in the update where the sound ends.
const Bytes kNoise = Noise(4999, 1);

std::vector<OnceCase> OnceCases() {
  return {
      {"Mono8", Wav8(kNoise), 0, kNoise},
      {"Mono8ShortFmtChunk", MakeWav(ShortFmtChunk(), kNoise), 0, kNoise},
      {"Mono8TrailingZeroBytes", WithTrailingZeros(Wav8(kNoise)), 0, kNoise},
      {"LoopPointsUnusedOnce", Wav8(kNoise), 1000, kNoise},
      {"Mono16", MakeWav(Pcm(16), Widen(kNoise, 16)), 0, kNoise},
      {"Mono24", MakeWav(Pcm(24), Widen(kNoise, 24)), 0, kNoise},
      {"Mono32", MakeWav(Pcm(32), Widen(kNoise, 32)), 0, kNoise},
      // Half the device's rate: the point resampler repeats each sample;
      // interpolation would put in-between values.
      {"HalfRateRepeatsSamples", Wav8(kNoise, kDeviceRate / 2), 0, Doubled(kNoise)},
  };
}

class PlayedOnce : public CaptureTest, public ::testing::WithParamInterface<OnceCase> {};

TEST_P(PlayedOnce, DeliversExactlyItsSamples) {
  const OnceCase& c = GetParam();
  ASSERT_EQ(SoundLoad(0, c.image.data(), c.image.size(), c.loopFrames), 1);
  ASSERT_EQ(SoundPlay(0, 0), 1);
  ASSERT_TRUE(WaitPlayedOut());
  std::this_thread::sleep_for(50ms);  // some silence after the end
  const Capture capture = EndAndCapture();

  const std::size_t start = FirstSound(capture);
  ASSERT_LT(start, capture.size()) << "nothing reached the device";
  ASSERT_EQ(Matching(capture, start, c.expected, false), c.expected.size());
  const std::size_t end = start + c.expected.size();
  EXPECT_LT(end, capture.size());
  EXPECT_TRUE(AllSilent(capture, end)) << "sound at " << FirstSound(capture, end);
}

INSTANTIATE_TEST_SUITE_P(Formats, PlayedOnce, ::testing::ValuesIn(OnceCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- A looped sound -----------------------------------------------------

// Five 100-sample periods and a 37-sample tail unlike any period, as a pulse
// train whose length is not a whole number of periods.
constexpr long long kPeriods = 500;
const Bytes kPeriod = Noise(100, 2);

Bytes LoopSamples() {
  Bytes samples;
  for (int i = 0; i < 5; ++i) samples.insert(samples.end(), kPeriod.begin(), kPeriod.end());
  samples.insert(samples.end(), 37, 60);
  return samples;
}

const Bytes kLoopSamples = LoopSamples();
const Bytes kLoopImage = Wav8(kLoopSamples);

// The first `frames` samples of the looped sound.
Bytes LoopCycle(std::size_t frames) {
  return Bytes(kLoopSamples.begin(), kLoopSamples.begin() + static_cast<std::ptrdiff_t>(frames));
}

struct LoopCase {
  const char* name;
  long long loopFrames;
  std::size_t repeated;  // frames repeated from the sound's start
};

class Looped : public CaptureTest, public ::testing::WithParamInterface<LoopCase> {};

TEST_P(Looped, RepeatsWithoutSeam) {
  const LoopCase& c = GetParam();
  ASSERT_EQ(SoundLoad(0, kLoopImage.data(), kLoopImage.size(), c.loopFrames), 1);
  ASSERT_EQ(SoundPlay(0, 1), 1);
  ASSERT_TRUE(WaitStarted());
  std::this_thread::sleep_for(kListen);
  EXPECT_EQ(SoundPlaying(0), 1);
  const Capture capture = EndAndCapture();

  const Bytes cycle = LoopCycle(c.repeated);
  const std::size_t start = FirstSound(capture);
  const std::size_t run = Matching(capture, start, cycle, true);
  EXPECT_GE(run, Samples(kListenAtLeast)) << "loop broke after " << run << " samples";
  // The loop only ends where the layer was ended.
  EXPECT_TRUE(AllSilent(capture, start + run)) << "stray sound at " << start + run;
}

INSTANTIATE_TEST_SUITE_P(LoopFrames, Looped,
                         ::testing::Values(LoopCase{"WholePeriods", kPeriods, kPeriods},
                                           LoopCase{"ZeroLoopsWholeSound", 0, 537},
                                           LoopCase{"NegativeLoopsWholeSound", -5, 537},
                                           LoopCase{"LengthLoopsWholeSound", 537, 537},
                                           LoopCase{"BeyondLengthLoopsWholeSound", 100000, 537}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Changing what plays ------------------------------------------------

Bytes Truncated(Bytes image, std::size_t bytes) {
  image.resize(bytes);
  return image;
}

TEST_F(CaptureTest, FailedLoadLeavesLoopPlaying) {
  ASSERT_EQ(SoundLoad(0, kLoopImage.data(), kLoopImage.size(), kPeriods), 1);
  ASSERT_EQ(SoundPlay(0, 1), 1);
  ASSERT_TRUE(WaitStarted());

  const Bytes samples = Noise(1000, 3);
  const struct {
    const char* name;
    Bytes image;
  } bad[] = {
      {"garbage", Noise(300, 4)},
      {"header cut short", Truncated(Wav8(samples), 30)},
      {"rate 0", MakeWav(Format(1, 1, 0, 8), samples)},
      {"rate 500000", MakeWav(Format(1, 1, 500000, 8), samples)},
      {"three channels", MakeWav(Format(1, 3, 44100, 8), Noise(999, 5))},
      {"floating point", MakeWav(Format(3, 1, 44100, 32), Bytes(4000, 0))},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.name);
    EXPECT_EQ(SoundLoad(0, b.image.data(), b.image.size(), 0), 0);
    EXPECT_EQ(SoundLoaded(0), 1);
    EXPECT_EQ(SoundPlaying(0), 1);
  }
  EXPECT_EQ(SoundLoad(0, nullptr, 100, 0), 0);
  EXPECT_EQ(SoundLoad(0, kLoopImage.data(), 0, 0), 0);
  EXPECT_EQ(SoundPlaying(0), 1);
  std::this_thread::sleep_for(kListen);
  const Capture capture = EndAndCapture();

  const Bytes cycle = LoopCycle(kPeriods);
  const std::size_t start = FirstSound(capture);
  const std::size_t run = Matching(capture, start, cycle, true);
  EXPECT_GE(run, Samples(kListenAtLeast)) << "loop broke after " << run << " samples";
  EXPECT_TRUE(AllSilent(capture, start + run));
}

TEST_F(CaptureTest, StopSilencesAndPlayStartsOver) {
  const Bytes sound = Noise(Samples(300ms), 6);
  const Bytes image = Wav8(sound);
  ASSERT_EQ(SoundLoad(0, image.data(), image.size(), 0), 1);
  ASSERT_EQ(SoundPlay(0, 0), 1);
  ASSERT_TRUE(WaitStarted());
  EXPECT_EQ(platform::SoundStop(0), 1);
  EXPECT_EQ(SoundPlaying(0), 0);
  EXPECT_EQ(SoundLoaded(0), 1);
  std::this_thread::sleep_for(kListen);
  ASSERT_EQ(SoundPlay(0, 0), 1);
  ASSERT_TRUE(WaitPlayedOut());
  std::this_thread::sleep_for(50ms);
  const Capture capture = EndAndCapture();

  const std::size_t first = FirstSound(capture);
  const std::size_t cut = first + Matching(capture, first, sound, false);
  EXPECT_LT(cut, first + sound.size()) << "the stop did not cut the sound short";
  const std::size_t second = FirstSound(capture, cut);
  EXPECT_GE(second - cut, Samples(kListenAtLeast)) << "too little silence after the stop";
  EXPECT_EQ(Matching(capture, second, sound, false), sound.size()) << "replay not from start";
  EXPECT_TRUE(AllSilent(capture, second + sound.size()));
}

TEST_F(CaptureTest, FreeSilencesAndEmptiesTheSlot) {
  ASSERT_EQ(SoundLoad(0, kLoopImage.data(), kLoopImage.size(), kPeriods), 1);
  ASSERT_EQ(SoundPlay(0, 1), 1);
  ASSERT_TRUE(WaitStarted());
  EXPECT_EQ(platform::SoundFree(0), 1);
  EXPECT_EQ(SoundLoaded(0), 0);
  EXPECT_EQ(SoundPlaying(0), 0);
  EXPECT_EQ(SoundPlay(0, 1), 0);
  EXPECT_EQ(platform::SoundStop(0), 0);
  EXPECT_EQ(platform::SoundFree(0), 0);
  std::this_thread::sleep_for(kListen);
  const Capture capture = EndAndCapture();

  const Bytes cycle = LoopCycle(kPeriods);
  const std::size_t start = FirstSound(capture);
  const std::size_t end = start + Matching(capture, start, cycle, true);
  EXPECT_TRUE(AllSilent(capture, end));
  EXPECT_GE(capture.size() - end, Samples(kListenAtLeast)) << "silence came only at the end";
}

TEST_F(CaptureTest, SuccessfulLoadReplacesPlayingSound) {
  ASSERT_EQ(SoundLoad(0, kLoopImage.data(), kLoopImage.size(), kPeriods), 1);
  ASSERT_EQ(SoundPlay(0, 1), 1);
  ASSERT_TRUE(WaitStarted());
  const Bytes next = Wav8(kNoise);
  ASSERT_EQ(SoundLoad(0, next.data(), next.size(), 0), 1);
  EXPECT_EQ(SoundPlaying(0), 0) << "the new sound must not play before it is played";
  std::this_thread::sleep_for(kListen);
  ASSERT_EQ(SoundPlay(0, 0), 1);
  ASSERT_TRUE(WaitPlayedOut());
  std::this_thread::sleep_for(50ms);
  const Capture capture = EndAndCapture();

  const Bytes cycle = LoopCycle(kPeriods);
  const std::size_t first = FirstSound(capture);
  const std::size_t cut = first + Matching(capture, first, cycle, true);
  const std::size_t second = FirstSound(capture, cut);
  EXPECT_GE(second - cut, Samples(kListenAtLeast)) << "the old sound went on after the load";
  EXPECT_EQ(Matching(capture, second, kNoise, false), kNoise.size());
  EXPECT_TRUE(AllSilent(capture, second + kNoise.size()));
}

}  // namespace
