// The playback worker on the real window and sound layers (offscreen Qt,
// OpenAL Soft's null output): its lifetime against the loop box, Stop and
// shutdown, and what it leaves behind. Leaks show up in the sanitizer build.
#include <QAbstractButton>
#include <chrono>
#include <functional>

#include "platform/memory.h"
#include "platform/sound.h"
#include "platform/thread.h"
#include "pulse/worker.h"
#include "window_fixture.h"

namespace {

using namespace ui;

class WorkerTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(platform::SoundLayerInit());
    pulse::pauseUs = 1000;
    pulse::pulseUs = 1000;
  }
  void TearDown() override {
    platform::SoundLayerEnd();
    WindowTest::TearDown();
  }

  // Starts a worker on a job as Start would after setting the playing state.
  int StartWorker(std::int32_t frequencyHz, std::int32_t durationMs, std::int32_t sampleRate) {
    SetPlayingControls();
    pulse::stopRequested = 0;
    auto* job = static_cast<pulse::PulseJob*>(platform::MemAlloc(sizeof(pulse::PulseJob)));
    *job = {frequencyHz, durationMs, 127, sampleRate};
    job_ = job;
    return platform::ThreadStart(pulse::PulseWorker, job);
  }

  // Serves the worker's calls until `done` holds; false after 20 s (a hang).
  static bool ServeUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > limit) return false;
      Pump();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    Pump();
    return true;
  }

  // Serves for about `ms` milliseconds of clock time.
  static void ServeFor(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    ServeUntil([&] { return std::chrono::steady_clock::now() >= until; });
  }

  static void SetLoop(bool on) { static_cast<QAbstractButton*>(W(CheckLoop))->setChecked(on); }

  static bool Idle() { return W(ButtonStart)->isEnabled() && !W(ButtonStop)->isEnabled(); }
  static bool Playing() { return !W(ButtonStart)->isEnabled() && W(ButtonStop)->isEnabled(); }

  pulse::PulseJob* job_ = nullptr;
};

TEST_F(WorkerTest, SinglePlayRunsItsLengthThenHandsBack) {
  const auto start = std::chrono::steady_clock::now();
  const int worker = StartWorker(500, 100, 44100);
  ASSERT_GE(worker, 1);
  ASSERT_TRUE(ServeUntil([&] { return !platform::ThreadRunning(worker); }));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(100));  // at least its 100 passes
  EXPECT_TRUE(Idle());
  EXPECT_EQ(pulse::stopRequested.load(), 1);
  EXPECT_EQ(platform::SoundLoaded(pulse::kSoundSlot), 1);  // played once, stays loaded
}

TEST_F(WorkerTest, StopEndsASinglePlayWithinAPass) {
  const int worker = StartWorker(500, 60000, 44100);
  ASSERT_TRUE(ServeUntil([] { return platform::SoundPlaying(pulse::kSoundSlot) == 1; }));
  pulse::stopRequested = 1;  // what Stop writes
  ASSERT_TRUE(ServeUntil([&] { return !platform::ThreadRunning(worker); }));
  EXPECT_TRUE(Idle());
}

TEST_F(WorkerTest, CheckedLoopKeepsTheWorkerUntilUnchecked) {
  SetLoop(true);
  const int worker = StartWorker(500, 20, 44100);
  ASSERT_TRUE(ServeUntil([] { return platform::SoundPlaying(pulse::kSoundSlot) == 1; }));
  pulse::stopRequested = 1;
  ServeFor(100);  // far past its 20 passes, and a stop asked for
  EXPECT_TRUE(platform::ThreadRunning(worker));
  EXPECT_TRUE(Playing());
  SetLoop(false);
  ASSERT_TRUE(ServeUntil([&] { return !platform::ThreadRunning(worker); }));
  EXPECT_TRUE(Idle());
  EXPECT_EQ(pulse::stopRequested.load(), 1);
  // The worker never stops the sound itself: the loop plays on.
  EXPECT_EQ(platform::SoundPlaying(pulse::kSoundSlot), 1);
}

TEST_F(WorkerTest, LoopUncheckedLaterWithoutStopLeavesTheLoopPlaying) {
  SetLoop(true);
  const int worker = StartWorker(500, 150, 44100);
  ASSERT_TRUE(ServeUntil([] { return platform::SoundPlaying(pulse::kSoundSlot) == 1; }));
  SetLoop(false);
  ASSERT_TRUE(ServeUntil([&] { return !platform::ThreadRunning(worker); }));
  EXPECT_TRUE(Idle());
  ServeFor(300);  // longer than the 1 s image would play once? no: check it loops
  EXPECT_EQ(platform::SoundPlaying(pulse::kSoundSlot), 1);
}

TEST_F(WorkerTest, LoopCheckedDuringASinglePlayHoldsTheWorker) {
  const int worker = StartWorker(500, 30, 44100);
  ASSERT_TRUE(ServeUntil([] { return platform::SoundPlaying(pulse::kSoundSlot) == 1; }));
  SetLoop(true);
  ServeFor(150);
  EXPECT_TRUE(platform::ThreadRunning(worker));
  EXPECT_TRUE(Playing());
  SetLoop(false);
  ASSERT_TRUE(ServeUntil([&] { return !platform::ThreadRunning(worker); }));
  EXPECT_TRUE(Idle());
}

TEST_F(WorkerTest, EndedWhileWaitingTouchesNothingAndLeavesTheJob) {
  SetLoop(true);
  const int worker = StartWorker(500, 10, 44100);
  ASSERT_TRUE(ServeUntil([] { return platform::SoundPlaying(pulse::kSoundSlot) == 1; }));
  ASSERT_EQ(platform::ThreadEnd(worker), 1);
  ASSERT_TRUE(ServeUntil([&] { return !platform::ThreadRunning(worker); }));
  EXPECT_TRUE(Playing());                     // no hand-back
  EXPECT_EQ(pulse::stopRequested.load(), 0);  // not touched
  platform::MemFree(job_);                    // the ender's to release
}

TEST_F(WorkerTest, RefusedJobIsFreedAndLeavesTheControls) {
  // 30000 Hz at 44100 Hz: above round(0.6 × 44100) = 26460.
  const int worker = StartWorker(30000, 100, 44100);
  ASSERT_TRUE(ServeUntil([&] { return !platform::ThreadRunning(worker); }));
  EXPECT_TRUE(Playing());
  EXPECT_EQ(platform::SoundLoaded(pulse::kSoundSlot), 0);
  EXPECT_EQ(pulse::stopRequested.load(), 0);
}

TEST_F(WorkerTest, UnbuildableImageHandsBackWithoutPlaying) {
  const int worker = StartWorker(0, 100, 0);  // no period can be formed
  ASSERT_TRUE(ServeUntil([&] { return !platform::ThreadRunning(worker); }));
  EXPECT_TRUE(Idle());
  EXPECT_EQ(platform::SoundLoaded(pulse::kSoundSlot), 0);
}

TEST_F(WorkerTest, FailedLoadStillWaitsAndHandsBack) {
  // 500 Hz at 500000 Hz is a valid train but no output plays that rate.
  const auto start = std::chrono::steady_clock::now();
  const int worker = StartWorker(500, 50, 500000);
  ASSERT_TRUE(ServeUntil([&] { return !platform::ThreadRunning(worker); }));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  EXPECT_TRUE(Idle());
  EXPECT_EQ(platform::SoundLoaded(pulse::kSoundSlot), 0);
}

TEST_F(WorkerTest, WindowGoneMeansNoHandBack) {
  const int worker = StartWorker(500, 40, 44100);
  platform::WindowClose(MainWindow);
  ASSERT_TRUE(ServeUntil([&] { return !platform::ThreadRunning(worker); }));
  EXPECT_EQ(pulse::stopRequested.load(), 1);
}

}  // namespace
