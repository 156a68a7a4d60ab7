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

// Ends thread `number` without waiting for it. Returns 1 if the thread was
// still before its final steps (see ThreadBeginFinal): it will then touch
// nothing more of the program, and what it owned is the caller's to release.
// Returns 0 if the number is unknown, the thread has returned, was ended
// already, or has begun its final steps.
int ThreadEnd(int number);

// For the calling thread: 1 once ThreadEnd has been called on it.
// 0 on a thread not started by ThreadStart.
int ThreadWasEnded();

// For the calling thread: claims its final steps (handing back, freeing what
// it owns). Returns 1 if it may go on, after which ThreadEnd can no longer
// end it; 0 if it was ended and must return at once. 1 on a thread not
// started by ThreadStart.
int ThreadBeginFinal();

// Sleeps the calling thread for `milliseconds` (at least that long).
void ThreadSleepMs(int milliseconds);

}  // namespace platform
