#include "ui/commands.h"

namespace ui {

// Start and Stop are built with the playback worker.
void OnStart() {}
void OnStop() {}
void EndNewestWorker() {}

}  // namespace ui
