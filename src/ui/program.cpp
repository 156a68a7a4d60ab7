#include "ui/program.h"

#include <cstdio>
#include <string>

#include "platform/sound.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "pulse/settings.h"
#include "ui/commands.h"
#include "ui/controls.h"
#include "ui/main_window.h"
#include "ui/texts.h"

namespace ui {
namespace {

void RunEventLoop() {
  for (;;) {
    const platform::WindowEvent event = platform::WaitEvent();
    if (event.kind == platform::EventKind::Close || event.kind == platform::EventKind::None) return;
    if (event.kind == platform::EventKind::Control) DispatchControlEvent(event.control);
  }
}

void Shutdown() {
  EndNewestWorker();
  platform::WindowClose(MainWindow);
  platform::ThreadLayerEnd();
  platform::SoundLayerEnd();
  platform::WindowLayerEnd();
}

}  // namespace

void DispatchControlEvent(int control) {
  switch (control) {
    case FieldPause:
    case FieldPulse:
      pulse::UpdateFrequencyReadout();
      break;
    case ButtonStart:
      OnStart();
      break;
    case ButtonStop:
      OnStop();
      break;
    default:
      break;  // size, rate and loop box events change nothing
  }
}

int RunProgram() {
  std::string error;
  if (!platform::WindowLayerInit(&error)) {
    std::fprintf(stderr, "pulsegen: %s\n", error.c_str());
    return 1;
  }
  platform::ThreadLayerInit();
  if (!platform::SoundLayerInit()) {
    // The program goes on without sound: the box only tells the user.
    platform::ShowMessageBox(kTextErrorCaption, kTextNoSound);
  }
  // Without a window no close event could ever come, so the loop is skipped.
  if (CreateMainWindow()) {
    pulse::UpdateFrequencyReadout();
    RunEventLoop();
  }
  Shutdown();
  return 0;
}

}  // namespace ui
