// Window-and-control service: one top-level window (number 0) and up to
// kMaxControls controls inside it, all addressed by number.
//
// Texts cross this interface as Windows-1251 bytes; the backend converts them
// at the toolkit boundary.
//
// Threads: WindowLayerInit, WindowLayerEnd, WindowOpen, ControlCreate,
// WaitEvent and ShowMessageBox belong to the main thread (asserted). Every
// other call may come from any thread: a call from another thread is queued
// to the main thread, served inside its event wait (or any modal loop it
// runs), and returns only then. Once the layer has ended, a waiting caller is
// released at once with 0 and later calls do nothing and give 0.
//
// Numbers: an operation on a window or control number that is not in use
// does nothing and gives 0.
#pragma once

#include <string>

namespace platform {

inline constexpr int kMaxControls = 16;

enum class ControlKind { Label, DigitField, PushButton, CheckBox };

// ControlCreate flags.
inline constexpr unsigned kControlCentred = 1u;   // label text centred
inline constexpr unsigned kControlDisabled = 2u;  // created disabled

enum class EventKind {
  None,     // the layer has ended: nothing more will come
  Control,  // a control changed, was clicked or gained/lost the focus
  Close,    // the user asked to close window 0 (it stays open)
  Other,    // activation, move and the like
};

struct WindowEvent {
  EventKind kind = EventKind::None;
  int control = -1;  // the control number for EventKind::Control, else -1
};

// Starts the toolkit. Returns 1, or 0 with a one-line reason in *error when
// no display can be reached (the process does not abort).
int WindowLayerInit(std::string* error);

// Closes whatever windows remain, releases every caller still waiting on the
// main thread, and makes all later calls no-ops. Safe to call twice.
void WindowLayerEnd();

// Opens window 0: fixed client size in pixels, caption, the application
// icon, centred on the primary screen and shown. Returns 1, or 0 if the
// number is not 0, the window is already open or the layer is not running.
int WindowOpen(int window, int clientWidth, int clientHeight, const std::string& caption);

// 1 while window `window` is open.
int WindowExists(int window);

// Closes window `window` and destroys its controls. 1 if it was open.
int WindowClose(int window);

// Creates control `control` (0 <= control < kMaxControls) in window 0 at
// client position (x, y) with the given size, initial text and flags.
// Returns 0 if the number is in use or out of range, or window 0 is not open.
int ControlCreate(int control, ControlKind kind, int x, int y, int width, int height,
                  const std::string& text, unsigned flags);

// Enables (enabled != 0) or disables a control. 1 on success.
int ControlEnable(int control, int enabled);

// 1 if the control exists and is enabled.
int ControlIsEnabled(int control);

// Copies a control's text into *text. 1 on success; *text is left empty on 0.
int ControlGetText(int control, std::string* text);

// Replaces a control's text. A field reports the change as a control event,
// just as typed text. 1 on success.
int ControlSetText(int control, const std::string& text);

// 1 if the control is a check box and is checked; 0 otherwise, also once the
// control no longer exists. Reads a mirror kept by the main thread, so it
// costs no round trip from a worker.
int ControlIsChecked(int control);

// Blocks until the next window event and returns it. Requests of other
// threads are served meanwhile and give no event.
WindowEvent WaitEvent();

// Shows a modal message box with no icon, no owner and one OK button.
// Returns 1 when the user has closed it.
int ShowMessageBox(const std::string& caption, const std::string& text);

}  // namespace platform
