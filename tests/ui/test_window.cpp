// The window and its controls on the real Qt widgets (offscreen).
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "window_fixture.h"

namespace {

using namespace ui;

struct ControlCase {
  int number;
  const char* className;
  int x, y, width, height;
  const char* text;  // UTF-8
};

const ControlCase kControlCases[] = {
    {LabelPause, "QLabel", 20, 10, 50, 30, "Пауза, мкс."},
    {FieldPause, "QLineEdit", 20, 50, 50, 20, "1000"},
    {FieldPulse, "QLineEdit", 80, 50, 50, 20, "1000"},
    {ButtonStart, "QPushButton", 20, 100, 50, 20, "Пуск"},
    {ButtonStop, "QPushButton", 80, 100, 50, 20, "Стоп"},
    {LabelPulse, "QLabel", 80, 10, 50, 30, "Импульс, мкс."},
    {LabelSize, "QLabel", 200, 10, 50, 30, "Размер, мс."},
    {FieldSize, "QLineEdit", 200, 50, 50, 20, "1000"},
    {LabelRate, "QLabel", 140, 10, 50, 30, "Битрейт, бит/с"},
    {FieldRate, "QLineEdit", 140, 50, 50, 20, "44100"},
    {CheckLoop, "QCheckBox", 200, 70, 100, 20, "Зациклить"},
    {LabelFrequency, "QLabel", 20, 70, 110, 20, "f=500 Hz"},
};

TEST_F(WindowTest, ControlsStandWhereTheyBelongWithTheirInitialState) {
  for (const ControlCase& c : kControlCases) {
    SCOPED_TRACE(c.number);
    QWidget* w = W(c.number);
    ASSERT_NE(w, nullptr);
    EXPECT_STREQ(w->metaObject()->className(), c.className);
    EXPECT_EQ(w->geometry(), QRect(c.x, c.y, c.width, c.height));
    EXPECT_EQ(Text(c.number), c.text);
    EXPECT_EQ(w->isEnabled(), c.number != ButtonStop);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->font(), QApplication::font());
  }
  EXPECT_EQ(W(ControlCount), nullptr);
  EXPECT_FALSE(platform::TestControlWidget(-1));
  EXPECT_FALSE(static_cast<QCheckBox*>(W(CheckLoop))->isChecked());
  // Labels wrap words; only the frequency readout is centred.
  for (int label : {LabelPause, LabelPulse, LabelSize, LabelRate}) {
    auto* l = static_cast<QLabel*>(W(label));
    EXPECT_TRUE(l->wordWrap());
    EXPECT_TRUE(l->alignment() & Qt::AlignLeft);
  }
  EXPECT_TRUE(static_cast<QLabel*>(W(LabelFrequency))->alignment() & Qt::AlignHCenter);
  for (int field : {FieldPause, FieldPulse, FieldSize, FieldRate}) {
    auto* f = static_cast<QLineEdit*>(W(field));
    EXPECT_TRUE(f->hasFrame());
    EXPECT_EQ(f->maxLength(), 32767);  // Qt's own ceiling: no limit of ours
  }
}

TEST_F(WindowTest, WindowIsFixedCentredAndCaptioned) {
  QWidget* window = platform::TestWindowWidget();
  EXPECT_EQ(window->size(), QSize(300, 150));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_EQ(window->windowTitle(), QString::fromUtf8("Прямоугольные импульсы"));
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(window->isMinimized() || window->isMaximized());
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(window->pos(), QPoint((screen.width() - 300) / 2, (screen.height() - 150) / 2));
  const QIcon icon = window->windowIcon();
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.availableSizes().value(0), QSize(128, 128));
  EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
  EXPECT_TRUE(platform::WindowExists(MainWindow));
  EXPECT_FALSE(platform::WindowExists(1));
}

TEST_F(WindowTest, DigitFieldsTakeOnlyDigitsFromTheKeyboard) {
  auto* field = static_cast<QLineEdit*>(W(FieldPause));
  field->setFocus();
  field->clear();
  QTest::keyClicks(field, "1a2-b+3 .x");
  EXPECT_EQ(field->text(), "123");
  QTest::keyClick(field, Qt::Key_Backspace);
  EXPECT_EQ(field->text(), "12");
  // Paste and the program's own writes go in as they are.
  QGuiApplication::clipboard()->setText("-7x");
  QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(field->text(), "12-7x");
  EXPECT_TRUE(platform::ControlSetText(FieldPause, "abc -1"));
  EXPECT_EQ(field->text(), "abc -1");
  // No length limit and sideways scrolling: a long number is kept whole.
  const std::string longText(400, '9');
  EXPECT_TRUE(platform::ControlSetText(FieldRate, longText));
  EXPECT_EQ(Text(FieldRate), longText);
}

TEST_F(WindowTest, ReadoutFollowsTypingPastingAndFocus) {
  auto* pause = static_cast<QLineEdit*>(W(FieldPause));
  pause->setFocus();
  Pump();
  pause->selectAll();
  QTest::keyClick(pause, Qt::Key_Delete);
  Pump();
  EXPECT_EQ(Text(LabelFrequency), "f=1000 Hz");  // empty pause reads 0
  QTest::keyClicks(pause, "3");
  Pump();
  EXPECT_EQ(Text(LabelFrequency), "f=997 Hz");  // 1e6 / 1003
  QTest::keyClicks(pause, "000");
  Pump();
  EXPECT_EQ(Text(LabelFrequency), "f=250 Hz");
  QGuiApplication::clipboard()->setText("9");
  auto* pulse = static_cast<QLineEdit*>(W(FieldPulse));
  pulse->setFocus();
  pulse->end(false);
  QTest::keyClick(pulse, Qt::Key_V, Qt::ControlModifier);
  Pump();
  EXPECT_EQ(Text(LabelFrequency), "f=77 Hz");  // 1e6 / (3000 + 10009)

  // A value changed behind the readout's back is picked up when the focus
  // moves into or out of a field.
  pause->blockSignals(true);
  pause->setText("1000");
  pause->blockSignals(false);
  Pump();
  EXPECT_EQ(Text(LabelFrequency), "f=77 Hz");
  const auto events = Pump();
  (void)events;
  W(FieldSize)->setFocus();  // pulse loses the focus
  const auto focusEvents = ControlEvents(Pump());
  EXPECT_NE(std::find(focusEvents.begin(), focusEvents.end(), FieldPulse), focusEvents.end());
  EXPECT_EQ(Text(LabelFrequency), "f=91 Hz");  // 1e6 / (1000 + 10009)
}

// Events only: the program's dispatch is left out, so Start does not run.
TEST_F(WindowTest, EventsNameTheirControl) {
  QTest::mouseClick(W(ButtonStart), Qt::LeftButton);
  EXPECT_EQ(ControlEvents(Pump(false)), std::vector<int>{ButtonStart});
  W(ButtonStart)->setFocus();
  Pump(false);
  QTest::keyClick(W(ButtonStart), Qt::Key_Space);
  EXPECT_EQ(ControlEvents(Pump(false)), std::vector<int>{ButtonStart});
  // Enter has no default action.
  QTest::keyClick(W(ButtonStart), Qt::Key_Return);
  EXPECT_TRUE(ControlEvents(Pump(false)).empty());

  QTest::mouseClick(W(CheckLoop), Qt::LeftButton);
  EXPECT_EQ(platform::ControlIsChecked(CheckLoop), 1);
  QTest::mouseClick(W(CheckLoop), Qt::LeftButton);
  EXPECT_EQ(platform::ControlIsChecked(CheckLoop), 0);
  auto toggles = ControlEvents(Pump(false));
  toggles.erase(std::remove(toggles.begin(), toggles.end(), ButtonStart), toggles.end());
  EXPECT_EQ(toggles, (std::vector<int>{CheckLoop, CheckLoop}));

  QTest::mouseClick(W(LabelPause), Qt::LeftButton);
  EXPECT_TRUE(ControlEvents(Pump(false)).empty());

  EXPECT_TRUE(platform::ControlSetText(FieldSize, "5"));
  EXPECT_EQ(ControlEvents(Pump()), std::vector<int>{FieldSize});
  EXPECT_EQ(Text(LabelFrequency), "f=500 Hz");  // size events change nothing
}

TEST_F(WindowTest, CloseRequestOnlyReportsItself) {
  QWidget* window = platform::TestWindowWidget();
  window->close();
  const auto events = Pump();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().kind, platform::EventKind::Close);
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(platform::WindowExists(MainWindow));
  EXPECT_EQ(platform::WindowClose(MainWindow), 1);
  EXPECT_EQ(platform::WindowExists(MainWindow), 0);
  EXPECT_EQ(platform::WindowClose(MainWindow), 0);
  // Controls went with the window: operations on them do nothing.
  std::string text = "untouched";
  EXPECT_EQ(platform::ControlGetText(FieldPause, &text), 0);
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(platform::ControlEnable(FieldPause, 0), 0);
  EXPECT_EQ(platform::ControlSetText(FieldPause, "1"), 0);
}

TEST_F(WindowTest, TabWalksEnabledStopsInCreationOrderAndWraps) {
  EXPECT_EQ(FocusedControl(), -1);  // opening gives no control the focus
  const std::vector<int> forward = {FieldPause, FieldPulse, ButtonStart, FieldSize,
                                    FieldRate,  CheckLoop,  FieldPause};
  for (int expected : forward) {
    Press(Qt::Key_Tab);
    EXPECT_EQ(FocusedControl(), expected);
  }
  EXPECT_EQ(Text(FieldPause), "1000");  // the Tab key itself is not typed
  Press(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(FocusedControl(), CheckLoop);
  Press(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(FocusedControl(), FieldRate);

  // With ButtonStop enabled it joins the walk.
  ui::SetPlayingControls();
  W(ButtonStop)->setFocus();
  Press(Qt::Key_Tab);
  EXPECT_EQ(FocusedControl(), CheckLoop);
  Press(Qt::Key_Tab);
  EXPECT_EQ(FocusedControl(), ButtonStop);
}

TEST_F(WindowTest, NoFocusThenShiftTabGoesToTheLast) {
  Press(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(FocusedControl(), CheckLoop);
}

TEST_F(WindowTest, DisabledFocusedControlHoldsTabUntilShiftTab) {
  W(ButtonStart)->setFocus();
  ASSERT_EQ(FocusedControl(), ButtonStart);
  ui::SetPlayingControls();
  EXPECT_EQ(FocusedControl(), -1);
  EXPECT_EQ(platform::TestStaleFocus(), ButtonStart);
  Press(Qt::Key_Tab);
  EXPECT_EQ(FocusedControl(), -1);  // Tab does nothing
  Press(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(FocusedControl(), CheckLoop);  // the last enabled stop

  // Enabled again with nothing else focused, the control has its focus back.
  W(ButtonStop)->setFocus();
  ui::SetIdleControls();
  EXPECT_EQ(FocusedControl(), -1);
  EXPECT_EQ(platform::TestStaleFocus(), ButtonStop);
  ui::SetPlayingControls();
  EXPECT_EQ(FocusedControl(), ButtonStop);
}

TEST_F(WindowTest, ActivationGivesNoControlTheFocus) {
  W(FieldPulse)->setFocus();
  ASSERT_EQ(FocusedControl(), FieldPulse);
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  QWidget* window = platform::TestWindowWidget();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  EXPECT_EQ(FocusedControl(), -1);
  Press(Qt::Key_Tab);
  EXPECT_EQ(FocusedControl(), FieldPause);
}

TEST_F(WindowTest, UnknownNumbersDoNothing) {
  for (int n : {-1, 12, 15, 16, 1000}) {
    std::string text;
    EXPECT_EQ(platform::ControlEnable(n, 0), 0);
    EXPECT_EQ(platform::ControlSetText(n, "x"), 0);
    EXPECT_EQ(platform::ControlGetText(n, &text), 0);
    EXPECT_EQ(platform::ControlIsChecked(n), 0);
  }
  EXPECT_EQ(platform::ControlIsChecked(FieldPause), 0);
  EXPECT_EQ(platform::ControlCreate(FieldPause, platform::ControlKind::Label, 0, 0, 1, 1, "", 0),
            0);
  EXPECT_EQ(platform::WindowOpen(MainWindow, 10, 10, ""), 0);
}

}  // namespace
