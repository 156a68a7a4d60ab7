// The window program's main routine: start-up, the event loop and shutdown.
//
// Threads: main thread.
#pragma once

namespace ui {

// Runs the program until the close event. Returns the exit code: 0, or 1
// when no display can be reached (said in one line on standard error).
int RunProgram();

// Dispatches one control event by control number (exposed for tests).
void DispatchControlEvent(int control);

}  // namespace ui
