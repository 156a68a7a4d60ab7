// Calls of other threads are served by the main thread inside its event wait
// and inside modal loops, and are released when the layer ends.
#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "window_fixture.h"

namespace {

using namespace ui;

TEST_F(WindowTest, WorkerCallsAreServedInsideTheEventWait) {
  std::string pauseText;
  int disabled = 0;
  std::thread worker([&] {
    disabled = platform::ControlEnable(ButtonStart, 0);
    platform::ControlGetText(FieldPause, &pauseText);
    // A text change is an event, so the main thread's wait below returns.
    platform::ControlSetText(FieldSize, "77");
  });
  platform::WindowEvent e;
  do {
    e = platform::WaitEvent();
  } while (!(e.kind == platform::EventKind::Control && e.control == FieldSize));
  worker.join();
  EXPECT_EQ(disabled, 1);
  EXPECT_FALSE(W(ButtonStart)->isEnabled());
  EXPECT_EQ(pauseText, "1000");
  EXPECT_EQ(Text(FieldSize), "77");
}

TEST_F(WindowTest, StateSettersFromAWorkerTakeEffectInOrder) {
  std::thread worker([] { ui::SetPlayingControls(); });
  while (W(ButtonStop)->isEnabled() == false) platform::TestPollEvent();
  worker.join();
  for (int field : {FieldPause, FieldPulse, FieldSize, FieldRate, ButtonStart}) {
    EXPECT_FALSE(W(field)->isEnabled()) << field;
  }
  std::thread back([] { ui::SetIdleControls(); });
  while (!W(ButtonStart)->isEnabled()) platform::TestPollEvent();
  back.join();
  EXPECT_FALSE(W(ButtonStop)->isEnabled());
  EXPECT_TRUE(W(FieldRate)->isEnabled());
}

TEST_F(WindowTest, WorkerCallsAreServedInsideAModalLoop) {
  std::atomic<int> served{0};
  std::thread worker([&] {
    served = platform::ControlSetText(FieldRate, "8000") + platform::ControlEnable(FieldRate, 0);
  });
  // The box closes itself once the worker's calls came through.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (served.load() == 2) {
      if (QWidget* box = QApplication::activeModalWidget()) box->close();
    }
  });
  poll.start(5);
  platform::ShowMessageBox("a", "b");
  worker.join();
  EXPECT_EQ(served.load(), 2);
  EXPECT_EQ(Text(FieldRate), "8000");
  EXPECT_FALSE(W(FieldRate)->isEnabled());
}

TEST_F(WindowTest, ChecksReadAMirrorWithoutARoundTrip) {
  static_cast<QAbstractButton*>(W(CheckLoop))->setChecked(true);
  // The main thread serves nothing while the worker reads.
  int checked = -1;
  std::thread worker([&] { checked = platform::ControlIsChecked(CheckLoop); });
  worker.join();
  EXPECT_EQ(checked, 1);
  EXPECT_EQ(platform::WindowExists(MainWindow), 1);
}

// Ending the layer releases a caller that waits for the main thread, and
// later calls do nothing.
TEST(WindowLayerEnd, ReleasesWaitingCallersAtOnce) {
  ASSERT_TRUE(platform::WindowLayerInit(nullptr));
  ASSERT_TRUE(ui::CreateMainWindow());
  std::atomic<int> result{-1};
  std::thread worker([&] { result = platform::ControlEnable(FieldPause, 0); });
  while (platform::TestPendingRequests() == 0) std::this_thread::yield();
  platform::WindowLayerEnd();
  worker.join();  // would hang if the caller were not released
  EXPECT_EQ(result.load(), 0);

  std::thread late([&] {
    std::string text;
    result = platform::ControlEnable(FieldPause, 1) + platform::ControlGetText(FieldPause, &text) +
             platform::ControlSetText(FieldPause, "1") + platform::ControlIsChecked(CheckLoop) +
             platform::WindowExists(MainWindow) + platform::WindowClose(MainWindow);
  });
  late.join();
  EXPECT_EQ(result.load(), 0);
  platform::WindowLayerEnd();  // a second end is harmless
}

}  // namespace
