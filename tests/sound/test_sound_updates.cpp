// The update size the sound layer asks OpenAL Soft for: short updates when no
// configuration sets one, the user's own when a configuration does. OpenAL
// reads its configuration once per process, so CTest runs this binary once
// per case, with the case's HOME and the latency it expects (ms) in
// EXPECTED_LATENCY_MS.
#include <gtest/gtest.h>

#include <cstdlib>

#include "capture.h"
#include "platform/sound.h"
#include "wav_builder.h"

namespace {

using namespace soundtest;

TEST(SoundUpdates, DeviceLatencyIsTheExpectedOne) {
  const char* expected = std::getenv("EXPECTED_LATENCY_MS");
  ASSERT_NE(expected, nullptr);
  ASSERT_EQ(platform::SoundLayerInit(), 1);
  ASSERT_EQ(std::getenv("ALSOFT_CONF"), nullptr) << "the request must not outlive the opening";
  const Bytes image = Wav8(Noise(441, 1));
  ASSERT_EQ(platform::SoundLoad(0, image.data(), image.size(), 0), 1);
  ASSERT_EQ(platform::SoundPlay(0, 1), 1);
  double offset = 0.0;
  double latency = 0.0;
  ASSERT_TRUE(WaitUntil([&] { return platform::SoundPosition(0, &offset, &latency) == 1; }));
  EXPECT_NEAR(latency * 1000.0, std::atof(expected), 0.5);
  platform::SoundLayerEnd();
}

}  // namespace
