// The sound layer on a machine without sound output: OpenAL Soft is given a
// driver that does not exist, so no device opens.
#include <gtest/gtest.h>

#include "platform/sound.h"
#include "wav_builder.h"

namespace {

using namespace platform;

TEST(NoDevice, InitFailsAndEveryCallGivesZero) {
  const soundtest::Bytes image = soundtest::Wav8(soundtest::Noise(441, 1));
  EXPECT_EQ(SoundLayerInit(), 0);
  EXPECT_EQ(SoundLoad(0, image.data(), image.size(), 0), 0);
  EXPECT_EQ(SoundPlay(0, 0), 0);
  EXPECT_EQ(SoundStop(0), 0);
  EXPECT_EQ(SoundFree(0), 0);
  EXPECT_EQ(SoundLoaded(0), 0);
  EXPECT_EQ(SoundPlaying(0), 0);
  EXPECT_EQ(SoundLayerInit(), 0) << "a second try finds no device either";
  SoundLayerEnd();
  SoundLayerEnd();
  EXPECT_EQ(SoundLoad(0, image.data(), image.size(), 0), 0);
}

}  // namespace
