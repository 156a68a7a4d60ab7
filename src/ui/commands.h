// The Start and Stop commands, and the end of the newest worker at shutdown.
//
// Threads: main thread.
#pragma once

namespace ui {

// Playing controls, clear stopRequested, PrepareRun, start a PulseWorker.
void OnStart();

// Idle controls, set stopRequested, stop and free sound slot 0.
void OnStop();

// Ends the newest worker if it still runs, releasing its job unless the
// worker released it already. Never waits. Safe to call twice.
void EndNewestWorker();

}  // namespace ui
