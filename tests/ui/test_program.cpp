// The whole program run in-process: start-up without sound output shows the
// error box before the window, the window then opens as usual, and a close
// request ends the run with code 0.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <string>

#include "platform/window.h"
#include "platform/window_qt_testing.h"
#include "ui/controls.h"
#include "ui/program.h"

namespace {

// What the driver saw, filled in on the main thread while RunProgram runs.
struct Seen {
  bool box = false;
  bool windowWhileBox = true;
  bool boxHadOwner = true;
  QString caption, text;
  QMessageBox::Icon icon = QMessageBox::Information;
  int buttons = 0;
  bool window = false;
  QString readout;
  bool closeRequested = false;
};
Seen seen;

// Plays the user: closes the box with OK, then asks to close the window.
void DriveProgram() {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, [timer] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      seen.box = true;
      seen.windowWhileBox = platform::WindowExists(ui::MainWindow) != 0;
      seen.boxHadOwner = box->parentWidget() != nullptr;
      seen.caption = box->windowTitle();
      seen.text = box->text();
      seen.icon = box->icon();
      seen.buttons = static_cast<int>(box->buttons().size());
      box->button(QMessageBox::Ok)->click();
      return;
    }
    QWidget* window = platform::TestWindowWidget();
    if (window != nullptr && window->isVisible() && !seen.closeRequested) {
      seen.window = true;
      seen.readout = static_cast<QLabel*>(platform::TestControlWidget(ui::LabelFrequency))->text();
      seen.closeRequested = true;
      window->close();
      timer->stop();
    }
  });
  timer->start(5);
}

TEST(Program, WithoutSoundShowsTheBoxFirstThenRunsUntilClosed) {
  setenv("ALSOFT_DRIVERS", "nosuchdriver", 1);
  qAddPreRoutine(DriveProgram);
  EXPECT_EQ(ui::RunProgram(), 0);
  EXPECT_TRUE(seen.box);
  EXPECT_FALSE(seen.windowWhileBox);
  EXPECT_FALSE(seen.boxHadOwner);
  EXPECT_EQ(seen.caption, QString::fromUtf8("Ошибка!"));
  EXPECT_EQ(seen.text, QString::fromUtf8("Играть нечем"));
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
  EXPECT_EQ(seen.buttons, 1);
  EXPECT_TRUE(seen.window);
  EXPECT_EQ(seen.readout, "f=500 Hz");
  EXPECT_EQ(platform::WindowExists(ui::MainWindow), 0);  // closed at shutdown
}

}  // namespace
