// MainWindow and its twelve controls, and the two control states.
//
// Threads: CreateMainWindow on the main thread; the state setters from any
// thread (a worker hands the controls back with SetIdleControls).
#pragma once

namespace ui {

// Opens MainWindow and creates its controls in number order, ButtonStop
// disabled. Returns 1, or 0 if the window could not be opened (then no
// controls are created).
int CreateMainWindow();

// Fields and ButtonStart disabled, then ButtonStop enabled.
void SetPlayingControls();

// Fields enabled, then ButtonStop disabled, then ButtonStart enabled.
void SetIdleControls();

}  // namespace ui
