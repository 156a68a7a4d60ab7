// The playback worker: one thread per Start, which builds the run's image,
// plays it in sound slot 0, waits out the run in 1 ms passes and hands the
// controls back.
//
// Threads: PulseWorker runs on its own thread (started with
// platform::ThreadStart); stopRequested is shared with the main thread.
#pragma once

#include <atomic>
#include <cstdint>

namespace pulse {

// 0 or 1. Start writes 0, Stop writes 1, and every worker that completes its
// run writes 1. A worker reads it in each wait pass while its pass counter is
// below the run's length.
extern std::atomic<std::int32_t> stopRequested;

// The sound slot the program plays in.
inline constexpr int kSoundSlot = 0;

// Thread procedure. `argument` is a PulseJob (from PrepareRun) whose
// ownership passes to the worker. Returns 1 after a run, 0 when the job is
// refused (frequency above 0.6 × rate; the job is freed and the controls are
// left as they are) or when the thread was ended by platform::ThreadEnd (the
// job is then the ender's to release; the worker frees its own image and
// pattern and touches nothing else). A job whose image cannot be built
// (no period, too large, no memory) plays nothing: the worker hands the
// controls back, frees everything and returns 1.
int PulseWorker(void* argument);

}  // namespace pulse
