#include "ui/commands.h"

#include "platform/memory.h"
#include "platform/sound.h"
#include "platform/thread.h"
#include "pulse/settings.h"
#include "pulse/worker.h"
#include "ui/main_window.h"

namespace ui {
namespace {

// The newest worker and its job; earlier workers are forgotten.
int newestWorker = 0;  // thread number, 0 before the first Start
pulse::PulseJob* newestJob = nullptr;

}  // namespace

void OnStart() {
  SetPlayingControls();
  pulse::stopRequested.store(0);
  pulse::PulseJob* job = pulse::PrepareRun();
  // No period can be formed below 1 Hz (a sum of 2,000,000 µs or more, a
  // negative or a zero sum): nothing to play, so back to idle at once.
  if (job == nullptr || job->frequencyHz < 1) {
    platform::MemFree(job);
    SetIdleControls();
    return;
  }
  const int thread = platform::ThreadStart(pulse::PulseWorker, job);
  if (thread == 0) {
    platform::MemFree(job);
    SetIdleControls();
    return;
  }
  newestWorker = thread;
  newestJob = job;  // the worker's now; kept only for shutdown
}

void OnStop() {
  SetIdleControls();
  pulse::stopRequested.store(1);
  if (platform::SoundLoaded(pulse::kSoundSlot)) {
    platform::SoundStop(pulse::kSoundSlot);
    platform::SoundFree(pulse::kSoundSlot);
  }
}

void EndNewestWorker() {
  // ThreadEnd succeeds only before the worker has begun its final steps, in
  // which it frees the job itself; so exactly one of the two frees it.
  if (newestWorker != 0 && platform::ThreadRunning(newestWorker) &&
      platform::ThreadEnd(newestWorker)) {
    platform::MemFree(newestJob);
  }
  newestWorker = 0;
  newestJob = nullptr;
}

}  // namespace ui
