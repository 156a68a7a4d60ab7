// The sound layer's calls and results on OpenAL Soft's "null" driver, which
// mixes in real time and discards the output.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <thread>

#include "capture.h"
#include "platform/sound.h"
#include "wav_builder.h"

namespace {

using namespace soundtest;
using platform::kMaxSoundSlots;
using platform::SoundFree;
using platform::SoundLoad;
using platform::SoundLoaded;
using platform::SoundPlay;
using platform::SoundPlaying;
using platform::SoundPosition;
using platform::SoundStop;

const Bytes kShort = Wav8(Noise(441, 1));  // 10 ms at 44100 Hz

class SoundLayer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(platform::SoundLayerInit(), 1); }
  void TearDown() override { platform::SoundLayerEnd(); }
};

int Load(int slot, const Bytes& image) { return SoundLoad(slot, image.data(), image.size(), 0); }

// Every operation on `slot` gives 0 and changes nothing.
void ExpectInert(int slot) {
  SCOPED_TRACE(slot);
  EXPECT_EQ(Load(slot, kShort), 0);
  EXPECT_EQ(SoundPlay(slot, 1), 0);
  EXPECT_EQ(SoundStop(slot), 0);
  EXPECT_EQ(SoundFree(slot), 0);
  EXPECT_EQ(SoundLoaded(slot), 0);
  EXPECT_EQ(SoundPlaying(slot), 0);
  double offset = -1.0;
  double latency = -1.0;
  EXPECT_EQ(SoundPosition(slot, &offset, &latency), 0);
  EXPECT_EQ(offset, -1.0);
  EXPECT_EQ(latency, -1.0);
}

// ---- Which images load --------------------------------------------------

Bytes Pcm(int channels, std::int64_t rate, int bits, std::size_t frames) {
  return MakeWav(Format(1, channels, rate, bits), Bytes(frames * channels * bits / 8, 100));
}

struct LoadCase {
  const char* name;
  Bytes image;
  int loads;
};

std::vector<LoadCase> LoadCases() {
  Bytes cutShort = kShort;
  cutShort.resize(30);
  return {
      {"Mono8", kShort, 1},
      {"Stereo8", Pcm(2, 44100, 8, 441), 1},
      {"Stereo16", Pcm(2, 44100, 16, 441), 1},
      {"Mono24", Pcm(1, 44100, 24, 441), 1},
      {"LowestRate", Pcm(1, 1, 8, 4), 1},
      {"HighestRate", Pcm(1, 384000, 8, 3840), 1},
      {"NoSamples", Pcm(1, 44100, 8, 0), 1},
      {"HeaderClaimsMoreThanPresent", MakeWav(Format(1, 1, 44100, 8), Noise(441, 2), 1u << 30), 1},
      {"RateZero", Pcm(1, 0, 8, 441), 0},
      {"RateAboveHighest", Pcm(1, 384001, 8, 441), 0},
      {"Rate500000", Pcm(1, 500000, 8, 441), 0},
      {"ThreeChannels", Pcm(3, 44100, 8, 441), 0},
      {"FloatingPoint", MakeWav(Format(3, 1, 44100, 32), Bytes(1764, 0)), 0},
      {"Garbage", Noise(300, 3), 0},
      {"HeaderCutShort", cutShort, 0},
  };
}

class LoadImage : public SoundLayer, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadImage, TakesPlayablePcmWavOnly) {
  const LoadCase& c = GetParam();
  EXPECT_EQ(Load(1, c.image), c.loads);
  EXPECT_EQ(SoundLoaded(1), c.loads);
  EXPECT_EQ(SoundPlay(1, 0), c.loads);
}

INSTANTIATE_TEST_SUITE_P(Images, LoadImage, ::testing::ValuesIn(LoadCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SoundLayer, RefusesMissingImage) {
  EXPECT_EQ(SoundLoad(0, nullptr, kShort.size(), 0), 0);
  EXPECT_EQ(SoundLoad(0, kShort.data(), 0, 0), 0);
  EXPECT_EQ(SoundLoaded(0), 0);
}

// ---- Slots ---------------------------------------------------------------

TEST_F(SoundLayer, BadSlotNumbersGiveZero) {
  for (int slot : {-1, kMaxSoundSlots, INT_MIN, INT_MAX}) ExpectInert(slot);
}

TEST_F(SoundLayer, EmptySlotGivesZero) {
  EXPECT_EQ(SoundPlay(2, 0), 0);
  EXPECT_EQ(SoundStop(2), 0);
  EXPECT_EQ(SoundFree(2), 0);
  EXPECT_EQ(SoundLoaded(2), 0);
  EXPECT_EQ(SoundPlaying(2), 0);
}

TEST_F(SoundLayer, SlotsAreIndependent) {
  ASSERT_EQ(Load(0, kShort), 1);
  ASSERT_EQ(Load(1, kShort), 1);
  ASSERT_EQ(SoundPlay(0, 1), 1);
  ASSERT_EQ(SoundPlay(1, 1), 1);
  EXPECT_EQ(SoundStop(1), 1);
  EXPECT_EQ(SoundPlaying(0), 1);
  EXPECT_EQ(SoundPlaying(1), 0);
  EXPECT_EQ(SoundFree(0), 1);
  EXPECT_EQ(SoundLoaded(0), 0);
  EXPECT_EQ(SoundLoaded(1), 1);
}

TEST_F(SoundLayer, PlayOnceEndsAndCanBePlayedAgain) {
  ASSERT_EQ(Load(0, kShort), 1);
  ASSERT_EQ(SoundPlay(0, 0), 1);
  ASSERT_TRUE(WaitUntil([] { return SoundPlaying(0) == 0; }));
  EXPECT_EQ(SoundLoaded(0), 1);
  EXPECT_EQ(SoundPlay(0, 0), 1);
}

TEST_F(SoundLayer, EmptySoundEndsAtOnce) {
  const Bytes empty = Pcm(1, 44100, 8, 0);
  ASSERT_EQ(Load(0, empty), 1);
  ASSERT_EQ(SoundPlay(0, 1), 1);
  EXPECT_TRUE(WaitUntil([] { return SoundPlaying(0) == 0; }));
}

TEST_F(SoundLayer, PositionAdvancesAndReportsDeviceLatency) {
  ASSERT_EQ(Load(0, kShort), 1);
  ASSERT_EQ(SoundPlay(0, 1), 1);
  double offset = 0.0;
  double latency = 0.0;
  ASSERT_TRUE(WaitUntil([&] { return SoundPosition(0, &offset, &latency) == 1 && offset > 0.0; }));
  EXPECT_LT(offset, 0.01) << "a looped 10 ms sound stays within its length";
  EXPECT_GT(latency, 0.0);
}

// ---- Life cycle ----------------------------------------------------------

TEST_F(SoundLayer, InitAgainKeepsSounds) {
  ASSERT_EQ(Load(0, kShort), 1);
  EXPECT_EQ(platform::SoundLayerInit(), 1);
  EXPECT_EQ(SoundLoaded(0), 1);
}

TEST_F(SoundLayer, EveryCallGivesZeroAfterEndUntilInitAgain) {
  ASSERT_EQ(Load(0, kShort), 1);
  ASSERT_EQ(SoundPlay(0, 1), 1);
  platform::SoundLayerEnd();
  for (int slot = 0; slot < kMaxSoundSlots; ++slot) ExpectInert(slot);
  platform::SoundLayerEnd();

  ASSERT_EQ(platform::SoundLayerInit(), 1);
  EXPECT_EQ(SoundLoaded(0), 0) << "a reopened layer starts empty";
  EXPECT_EQ(Load(0, kShort), 1);
  EXPECT_EQ(SoundPlay(0, 0), 1);
}

// ---- Threads -------------------------------------------------------------

// A worker loads and plays while the main thread stops and frees, as a run
// and the Stop command do on slot 0.
TEST_F(SoundLayer, LoadPlayRacesStopFreeSafely) {
  constexpr int kRounds = 300;
  std::atomic<int> failedLoads{0};
  std::thread worker([&] {
    for (int i = 0; i < kRounds; ++i) {
      if (SoundLoad(0, kShort.data(), kShort.size(), 100) != 1) ++failedLoads;
      SoundPlay(0, i % 2);
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    SoundStop(0);
    SoundFree(0);
    SoundPlaying(0);
  }
  worker.join();
  EXPECT_EQ(failedLoads.load(), 0) << "a stop or free made a valid load fail";
  SoundFree(0);
  EXPECT_EQ(SoundLoaded(0), 0);
}

// A worker left running calls in while the layer ends, as at program exit.
TEST_F(SoundLayer, CallsDuringAndAfterEndAreSafe) {
  std::atomic<bool> ended{false};
  std::atomic<bool> quit{false};
  std::atomic<int> rounds{0};
  std::atomic<int> workedAfterEnd{0};
  std::thread worker([&] {
    while (!quit) {
      const bool afterEnd = ended;
      const int loaded = Load(0, kShort);
      const int played = SoundPlay(0, 1);
      if (afterEnd && (loaded != 0 || played != 0)) ++workedAfterEnd;
      ++rounds;
    }
  });
  ASSERT_TRUE(WaitUntil([&] { return rounds >= 20; }));
  platform::SoundLayerEnd();
  ended = true;
  const int atEnd = rounds;
  const bool workerRanOn = WaitUntil([&] { return rounds >= atEnd + 20; });
  quit = true;
  worker.join();
  EXPECT_TRUE(workerRanOn);
  EXPECT_EQ(workedAfterEnd.load(), 0);
}

}  // namespace
