// Thread service: numbered threads running a procedure with one pointer
// argument. Numbers start at 1 and are never reused.
//
// Ending is cooperative and never waits: ThreadEnd marks a thread as ended;
// the thread sees it through ThreadWasEnded() and ThreadBeginFinal() and
// returns without touching the program's shared state. The caller of
// ThreadEnd never blocks.
//
// Threads: every call is safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

using ThreadProc = int (*)(void* argument);

// Ready the layer. Returns 1.
int ThreadLayerInit();

// Forgets every thread record. Running threads are not stopped; they keep
// their own record alive until they return. Safe to call twice.
void ThreadLayerEnd();

// Starts `proc(argument)` on a new detached thread. Returns its number (>= 1),
// or 0 if the thread could not be started (the argument stays the caller's).
int ThreadStart(ThreadProc proc, void* argument);

// 1 while thread `number` has not returned from its procedure.
int ThreadRunning(int number);

// Ends thread `number` without waiting for it (at most for a copy of its
// argument in progress, see ThreadCopyArgument). Returns 1 if the thread was
// still before its final steps (see ThreadBeginFinal): it will then touch
// nothing more of the program, and what it owned is the caller's to release.
// Returns 0 if the number is unknown, the thread has returned, was ended
// already, or has begun its final steps.
int ThreadEnd(int number);

// For the calling thread: copies `bytes` of what `argument` points to into
// `copy`, unless the thread was ended first. Returns 1 with the copy made, 0
// if it was ended (the argument is then the ender's, who may have freed it:
// the thread must not touch it and should return). ThreadEnd and this copy
// exclude each other, so an ender that frees the argument after a successful
// ThreadEnd never frees it under the copy. On a thread not started by
// ThreadStart it just copies and returns 1.
int ThreadCopyArgument(void* copy, const void* argument, std::size_t bytes);

// For the calling thread: 1 once ThreadEnd has been called on it.
// 0 on a thread not started by ThreadStart.
int ThreadWasEnded();

// For the calling thread: claims its final steps (handing back, freeing what
// it owns). Returns 1 if it may go on, after which ThreadEnd can no longer
// end it; 0 if it was ended and must return at once. 1 on a thread not
// started by ThreadStart.
int ThreadBeginFinal();

// Paces a run of sleeps on one thread. Each SleepMs(n) returns n ms after the
// previous one was due rather than after it returned, so a run of 1 ms passes
// keeps to the clock instead of drifting late by each sleep's overshoot
// (about 0.1-0.3 ms per sleep on a loaded machine). After a stall the next
// passes return at once until the run has caught up. n <= 0 returns at once.
// One pacer per thread; not to be shared between threads.
class ThreadPacer {
 public:
  ThreadPacer();
  void SleepMs(int milliseconds);

 private:
  std::int64_t dueNs_;  // CLOCK_MONOTONIC time the last sleep was due
};

}  // namespace platform
