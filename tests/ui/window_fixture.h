// A started window program without its event loop: the test plays the loop
// (Pump) so that it can look between events.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <string>
#include <vector>

#include "platform/text_1251.h"
#include "platform/window.h"
#include "platform/window_qt_testing.h"
#include "pulse/settings.h"
#include "ui/controls.h"
#include "ui/main_window.h"
#include "ui/program.h"

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::WindowLayerInit(nullptr));
    ASSERT_TRUE(ui::CreateMainWindow());
    pulse::UpdateFrequencyReadout();
    QWidget* window = platform::TestWindowWidget();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    Pump();
  }

  void TearDown() override {
    platform::WindowClose(ui::MainWindow);
    platform::WindowLayerEnd();
  }

  // Hands every pending event to the program's dispatch, as the event loop
  // does (unless `dispatch` is false), and returns them.
  static std::vector<platform::WindowEvent> Pump(bool dispatch = true) {
    std::vector<platform::WindowEvent> seen;
    for (;;) {
      const platform::WindowEvent e = platform::TestPollEvent();
      if (e.kind == platform::EventKind::None) return seen;
      seen.push_back(e);
      if (dispatch && e.kind == platform::EventKind::Control) ui::DispatchControlEvent(e.control);
    }
  }

  // Control events among `events`, by control number.
  static std::vector<int> ControlEvents(const std::vector<platform::WindowEvent>& events) {
    std::vector<int> controls;
    for (const auto& e : events) {
      if (e.kind == platform::EventKind::Control) controls.push_back(e.control);
    }
    return controls;
  }

  static QWidget* W(int control) { return platform::TestControlWidget(control); }

  // A control's text as UTF-8, read through the layer.
  static std::string Text(int control) {
    std::string text;
    platform::ControlGetText(control, &text);
    return platform::Utf8From1251(text);
  }

  // A key press as the user makes it: to the focused widget, or the window.
  static void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    if (target == nullptr) target = platform::TestWindowWidget();
    QTest::keyClick(target, key, modifiers);
  }

  // The focused control's number, or -1 when no control has the focus.
  static int FocusedControl() {
    QWidget* focus = QApplication::focusWidget();
    for (int n = 0; n < ui::ControlCount; ++n) {
      if (focus != nullptr && focus == W(n)) return n;
    }
    return -1;
  }
};
