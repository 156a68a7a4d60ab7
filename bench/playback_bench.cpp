// Playback timing of the real program pieces, in one process: the real
// window layer (offscreen unless QT_QPA_PLATFORM says otherwise), the real
// sound layer (OpenAL Soft's null output unless ALSOFT_DRIVERS says
// otherwise), the real worker and the real Start/Stop commands.
//
//   worker start -> first sample at the device   (target <= 15 ms)
//   click on Start -> first sample at the device (target <= 20 ms)
//   click on Stop -> silence at the device       (target <= 10 ms)
//   a 1000 ms run: start -> controls handed back (target 1000..1080 ms)
//   CPU of a worker waiting on a checked loop box (target <= 2 % of a core)
//
// "At the device" adds the output latency the sound layer reports (the
// mixer's queue plus the device's buffer) to the moment the mixer takes the
// first sample, or stops taking samples.
//
//   playback_bench [RUNS]
#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "platform/memory.h"
#include "platform/sound.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "platform/window_qt_testing.h"
#include "pulse/settings.h"
#include "pulse/worker.h"
#include "ui/commands.h"
#include "ui/controls.h"
#include "ui/main_window.h"
#include "ui/program.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Plays the event loop for one round: every pending event is dispatched.
void Serve() {
  for (;;) {
    const platform::WindowEvent e = platform::TestPollEvent();
    if (e.kind == platform::EventKind::None) return;
    if (e.kind == platform::EventKind::Control) ui::DispatchControlEvent(e.control);
  }
}

bool Idle() {
  return platform::TestControlWidget(ui::ButtonStart)->isEnabled() &&
         !platform::TestControlWidget(ui::ButtonStop)->isEnabled();
}

// Serves until the mixer has taken the first samples of slot 0; returns the
// milliseconds from `start` until the first sample is due at the device,
// or -1 after 5 s.
double ServeUntilAtDevice(Clock::time_point start) {
  for (;;) {
    Serve();
    double offset = 0, latency = 0;
    if (platform::SoundPlaying(pulse::kSoundSlot) &&
        platform::SoundPosition(pulse::kSoundSlot, &offset, &latency) && offset > 0) {
      return MsSince(start) - offset * 1000.0 + latency * 1000.0;
    }
    if (MsSince(start) > 5000) return -1;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

void ServeUntil(bool (*done)()) {
  const auto start = Clock::now();
  while (!done() && MsSince(start) < 10000) {
    Serve();
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

void ServeFor(double ms) {
  const auto start = Clock::now();
  while (MsSince(start) < ms) {
    Serve();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

void Click(int control) { QTest::mouseClick(platform::TestControlWidget(control), Qt::LeftButton); }

void SetLoop(bool on) {
  static_cast<QAbstractButton*>(platform::TestControlWidget(ui::CheckLoop))->setChecked(on);
}

void Report(const char* what, std::vector<double> values, const char* target) {
  std::sort(values.begin(), values.end());
  const double median = values[values.size() / 2];
  std::printf("%-44s median %8.2f ms  min %8.2f  max %8.2f   (%s)\n", what, median, values.front(),
              values.back(), target);
}

void BenchWorkerStart(int runs) {
  std::vector<double> toDevice;
  for (int i = 0; i < runs; ++i) {
    ui::SetPlayingControls();
    pulse::stopRequested = 0;
    pulse::PulseJob* job = pulse::PrepareRun();
    const auto start = Clock::now();
    platform::ThreadStart(pulse::PulseWorker, job);
    toDevice.push_back(ServeUntilAtDevice(start));
    ui::OnStop();
    ServeUntil(Idle);
    ServeFor(20);
  }
  Report("worker start -> first sample at device", toDevice, "target <= 15 ms");
}

void BenchClicks(int runs) {
  std::vector<double> startToDevice, stopToSilence;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    Click(ui::ButtonStart);
    startToDevice.push_back(ServeUntilAtDevice(start));
    ServeFor(30);
    double offset = 0, latency = 0;
    platform::SoundPosition(pulse::kSoundSlot, &offset, &latency);
    const auto stop = Clock::now();
    Click(ui::ButtonStop);
    while (platform::SoundPlaying(pulse::kSoundSlot) && MsSince(stop) < 5000) Serve();
    stopToSilence.push_back(MsSince(stop) + latency * 1000.0);
    ServeUntil(Idle);
    ServeFor(20);
  }
  Report("click on Start -> first sample at device", startToDevice, "target <= 20 ms");
  Report("click on Stop -> silence at device", stopToSilence, "target <= 10 ms");
}

void BenchHandBack(int runs) {
  std::vector<double> handBack;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    Click(ui::ButtonStart);
    Serve();
    ServeUntil([] { return !Idle(); });
    ServeUntil(Idle);
    handBack.push_back(MsSince(start));
    ServeFor(20);
  }
  Report("1000 ms run: click -> controls handed back", handBack, "target 1000..1080 ms");
}

// Blocks in the real event wait for `seconds`, as the program does between
// user actions, and returns the process CPU time used meanwhile.
double CpuWhileWaiting(double seconds) {
  const double before = ProcessCpuSeconds();
  // A changed text gives the field's event that ends the wait; the same
  // text again would give none.
  static int round = 0;
  const std::string text = (++round % 2) ? "999" : "1000";
  std::thread waker([seconds, text] {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    platform::ControlSetText(ui::FieldSize, text);
  });
  for (;;) {
    const platform::WindowEvent e = platform::WaitEvent();
    if (e.kind == platform::EventKind::Control && e.control == ui::FieldSize) break;
  }
  waker.join();
  return ProcessCpuSeconds() - before;
}

void BenchLoopWaitCpu() {
  constexpr double kSeconds = 3.0;
  SetLoop(true);
  Click(ui::ButtonStart);
  ServeUntilAtDevice(Clock::now());
  ServeFor(1200);  // past the run's length: the worker now only watches the box
  const double withWorker = CpuWhileWaiting(kSeconds);
  SetLoop(false);
  ServeUntil(Idle);  // the worker ends; the loop plays on
  ServeFor(100);
  const double loopOnly = CpuWhileWaiting(kSeconds);
  Click(ui::ButtonStop);
  ServeUntil(Idle);
  std::printf(
      "%-44s %8.2f %% of a core (process %.2f %%, without the worker %.2f %%)"
      "   (target <= 2 %%)\n",
      "worker waiting on a checked loop box", (withWorker - loopOnly) / kSeconds * 100,
      withWorker / kSeconds * 100, loopOnly / kSeconds * 100);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("ALSOFT_DRIVERS", "null", 0);
  std::string error;
  if (!platform::WindowLayerInit(&error)) {
    std::fprintf(stderr, "playback_bench: %s\n", error.c_str());
    return 1;
  }
  platform::ThreadLayerInit();
  if (!platform::SoundLayerInit()) {
    std::fprintf(stderr, "playback_bench: no sound output\n");
    return 1;
  }
  ui::CreateMainWindow();
  pulse::UpdateFrequencyReadout();
  ServeFor(50);
  {
    double offset = 0, latency = 0;
    platform::ThreadStart(pulse::PulseWorker, pulse::PrepareRun());
    ServeUntilAtDevice(Clock::now());
    platform::SoundPosition(pulse::kSoundSlot, &offset, &latency);
    std::printf("output latency reported by the sound layer: %.2f ms\n", latency * 1000.0);
    ui::OnStop();
    ServeUntil(Idle);
  }
  BenchWorkerStart(runs);
  BenchClicks(runs);
  BenchHandBack(std::max(3, runs / 3));
  BenchLoopWaitCpu();
  ui::EndNewestWorker();
  platform::WindowClose(ui::MainWindow);
  platform::ThreadLayerEnd();
  platform::SoundLayerEnd();
  platform::WindowLayerEnd();
  return 0;
}
