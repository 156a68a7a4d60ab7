// Test access to the Qt backend of the window layer: the real widgets, for
// driving them with Qt Test input events, and a wait that does not block.
//
// Threads: main thread only.
#pragma once

#include "platform/window.h"

class QWidget;

namespace platform {

// Window 0's widget, or nullptr when it is not open.
QWidget* TestWindowWidget();

// Control `control`'s widget, or nullptr.
QWidget* TestControlWidget(int control);

// Handles whatever toolkit events are pending (serving other threads'
// requests too) without waiting, then returns the next queued window event,
// or an event of kind None when there is none.
WindowEvent TestPollEvent();

// The control that had the focus when it was disabled, or -1.
int TestStaleFocus();

// How many calls of other threads are queued, not yet served.
int TestPendingRequests();

}  // namespace platform
