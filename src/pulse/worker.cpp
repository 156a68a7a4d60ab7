#include "pulse/worker.h"

#include <limits>

#include "platform/memory.h"
#include "platform/sound.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "pulse/settings.h"
#include "pulse/wave.h"
#include "ui/controls.h"
#include "ui/main_window.h"

namespace pulse {

std::atomic<std::int32_t> stopRequested{0};

namespace {

// Loads the image into the slot and starts it, looped if the loop box is
// checked now. A looped sound repeats whole periods only, so the train stays
// periodic across the seam. A failed load plays nothing new.
void LoadAndPlay(const PulseWave& wave) {
  if (!platform::SoundLoad(kSoundSlot, wave.block, wave.imageBytes, SeamlessLoopFrames(wave))) {
    return;
  }
  platform::SoundPlay(kSoundSlot, platform::ControlIsChecked(ui::CheckLoop));
}

// Sleeps in 1 ms passes until (the counter has reached durationMs or a stop
// was asked for) and the loop box is not checked. The counter counts passes,
// not clock time. Returns false if the thread was ended meanwhile.
bool WaitOutRun(std::int32_t runMs) {
  std::int32_t counter = 0;
  platform::ThreadPacer pacer;  // 1 ms passes on the clock, not 1 ms + overshoot
  for (;;) {
    if (counter < std::numeric_limits<std::int32_t>::max()) ++counter;
    pacer.SleepMs(1);
    if (platform::ThreadWasEnded()) return false;
    // stopRequested is read only while the counter is below the length, the
    // loop box only once the first half of the test holds.
    if ((counter >= runMs || stopRequested.load() == 1) &&
        !platform::ControlIsChecked(ui::CheckLoop)) {
      return true;
    }
  }
}

void HandBackControls() {
  if (platform::WindowExists(ui::MainWindow)) ui::SetIdleControls();
}

}  // namespace

int PulseWorker(void* argument) {
  auto* job = static_cast<PulseJob*>(argument);
  const double dutyDivisor = DutyDivisor(pauseUs.load(), pulseUs.load());
  // Ended before it could copy its job (a close right after Start): the job
  // is the ender's and may be gone already.
  PulseJob run{};
  if (!platform::ThreadCopyArgument(&run, job, sizeof run)) return 0;

  if (FrequencyAboveRateBound(run.frequencyHz, run.sampleRate)) {
    if (platform::ThreadBeginFinal()) platform::MemFree(job);
    return 0;
  }

  PulseWave wave;
  const WaveStatus status = BuildPulseWave(run, dutyDivisor, &wave);
  bool ended = platform::ThreadWasEnded();
  if (status == WaveStatus::Ok && !ended) {
    LoadAndPlay(wave);
    ended = !WaitOutRun(run.durationMs);
  }
  // From here on the job and the controls are ours only if nobody ended us.
  if (ended || !platform::ThreadBeginFinal()) {
    FreeWaveImage(&wave);
    FreeWavePattern(&wave);
    return 0;
  }
  HandBackControls();
  if (status == WaveStatus::Ok) stopRequested.store(1);
  FreeWaveImage(&wave);
  platform::MemFree(job);
  FreeWavePattern(&wave);
  return 1;
}

}  // namespace pulse
