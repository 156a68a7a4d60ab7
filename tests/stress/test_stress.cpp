// The whole program under a storm of random user actions: the real RunProgram
// with its real window (offscreen), sound (OpenAL Soft's null output), worker
// threads and commands. A timer inside the program's own event wait plays the
// user: typing, pasting arbitrary text, Start, Stop, loop toggles and focus
// moves, thousands of times. Then it unchecks the loop box, lets every run end,
// plays one short run and stops it, and closes the window.
//
// The sequence is fixed by a seed (PULSEGEN_STRESS_SEED) so a failure repeats;
// PULSEGEN_STRESS_ACTIONS sets how many random actions are played.
// What counts: no crash, hang, leak or sanitizer report; the program exits
// with 0; at the end the controls are idle and sound slot 0 is empty.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "platform/sound.h"
#include "platform/thread.h"
#include "platform/window_qt_testing.h"
#include "pulse/worker.h"
#include "ui/controls.h"
#include "ui/program.h"

namespace {

using namespace ui;

unsigned EnvOr(const char* name, unsigned fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? static_cast<unsigned>(std::strtoul(value, nullptr, 10)) : fallback;
}

QWidget* W(int control) { return platform::TestControlWidget(control); }

bool Idle() {
  for (int c : {FieldPause, FieldPulse, FieldSize, FieldRate, ButtonStart}) {
    if (!W(c)->isEnabled()) return false;
  }
  return !W(ButtonStop)->isEnabled();
}

// Text a user might paste: letters, signs, blanks, ten and more digits
// (which wrap around), nothing at all.
const std::array<const char*, 16> kPastes = {
    "",           "abc",        "-7",          " +25x",       "+",
    "-",          "0",          "00001",       "2147483647",  "2147483648",
    "4294967295", "4294967296", "99999999999", "-2147483648", "12345678901234567890",
    "1 000"};

// Texts for the length (ms) and rate (Hz) fields: short runs and sane rates
// besides bad text. Arbitrary digits there could ask for gigabyte images,
// which would only make the test slow; pause and pulse take anything.
const std::array<const char*, 9> kSizes = {"2", "5", "20", "40", "1", "0", "-3", "x", "4294967298"};
const std::array<const char*, 9> kRates = {"8000", "11025", "22050", "44100",     "96000",
                                           "",     "-1",    "z",     "4294975296"};

class Storm {
 public:
  Storm(unsigned seed, unsigned actions) : rng_(seed), left_(actions) {}

  // One step per timer tick; returns false when the run is over.
  bool Step() {
    switch (phase_) {
      case Phase::WaitWindow:
        if (platform::TestWindowWidget() != nullptr && platform::TestWindowWidget()->isVisible()) {
          phase_ = Phase::Random;
        }
        return true;
      case Phase::Random:
        if (left_-- == 0) {
          phase_ = Phase::Settle;
          BoundWorkers();
          settleTicks_ = 0;
          ticks_ = 0;
        } else {
          RandomAction();
        }
        return true;
      case Phase::Settle:
        // Loop box off; a run still going is stopped; then every worker ends
        // by itself within its run (at most 1 s here).
        if (Checked()) Click(CheckLoop);
        if (W(ButtonStop)->isEnabled()) Click(ButtonStop);
        if ((Idle() && !AnyWorkerRuns()) || Timeout()) {
          // A loop whose box was unchecked without Stop plays on by design,
          // and a once-played sound stays loaded; with no worker left, clear
          // the slot so that the last run's load is the only one to watch.
          platform::SoundFree(pulse::kSoundSlot);
          SetText(FieldPause, "1000");
          SetText(FieldPulse, "1000");
          SetText(FieldSize, "200");
          SetText(FieldRate, "44100");
          Click(ButtonStart);
          phase_ = Phase::LastRun;
          ticks_ = 0;
        }
        return true;
      case Phase::LastRun:
        // Stop once the run's sound plays, so that no load can follow it.
        if (platform::SoundPlaying(pulse::kSoundSlot) || Timeout()) {
          Click(ButtonStop);
          phase_ = Phase::AfterStop;
          BoundWorkers();
          ticks_ = 0;
        }
        return true;
      case Phase::AfterStop:
        // The worker hands back after its next 1 ms pass and ends.
        if (AnyWorkerRuns() && !Timeout()) return true;
        endIdle_ = Idle();
        endSlotEmpty_ = platform::SoundLoaded(pulse::kSoundSlot) == 0;
        platform::TestWindowWidget()->close();  // the close box
        return false;
    }
    return false;
  }

  bool endIdle_ = false;
  bool endSlotEmpty_ = false;
  int startsWhileIdle_ = 0;
  int playsSeen_ = 0;
  bool timedOut_ = false;

 private:
  enum class Phase { WaitWindow, Random, Settle, LastRun, AfterStop };

  bool Timeout() {
    if (++ticks_ <= 20000) return false;
    timedOut_ = true;
    return true;
  }

  // Thread numbers only grow: a thread started now gets a number above every
  // worker started so far. Taken when no more Starts follow before the
  // search, so one probe serves a whole phase.
  void BoundWorkers() {
    workersBelow_ = platform::ThreadStart([](void*) { return 0; }, nullptr);
  }

  bool AnyWorkerRuns() {
    for (int n = 1; n < workersBelow_; ++n) {
      if (platform::ThreadRunning(n)) return true;
    }
    return false;
  }

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  bool Checked() { return static_cast<QAbstractButton*>(W(CheckLoop))->isChecked(); }

  void Click(int control) { QTest::mouseClick(W(control), Qt::LeftButton); }

  // Replaces a field's text the way a user does: select all, then type or
  // paste. Typed letters and signs are dropped by the field; pasted ones stay.
  void SetText(int field, const char* text, bool paste = false) {
    QWidget* w = W(field);
    if (!w->isEnabled()) return;
    w->setFocus();
    QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
    if (paste) {
      QGuiApplication::clipboard()->setText(QString::fromLatin1(text));
      QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
    } else if (*text == '\0') {
      QTest::keyClick(w, Qt::Key_Delete);
    } else {
      QTest::keyClicks(w, QString::fromLatin1(text));
    }
  }

  std::string Digits(int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += static_cast<char>('0' + Pick(10));
    return s;
  }

  void RandomAction() {
    if (platform::SoundPlaying(pulse::kSoundSlot)) ++playsSeen_;
    const int period = Pick(2) == 0 ? FieldPause : FieldPulse;
    switch (Pick(12)) {
      case 0:  // type digits (and stray keys) at the end of pause or pulse
        W(period)->setFocus();
        QTest::keyClick(W(period), Qt::Key_End);
        QTest::keyClicks(W(period), QString::fromStdString(Digits(1 + Pick(3)) + "a-"));
        break;
      case 1:  // replace pause or pulse with typed digits, up to a dozen
        SetText(period, Digits(1 + Pick(12)).c_str());
        break;
      case 2:
        SetText(period, kPastes[Pick(kPastes.size())], true);
        break;
      case 3:
        SetText(FieldSize, kSizes[Pick(kSizes.size())], Pick(2) == 0);
        break;
      case 4:
        SetText(FieldRate, kRates[Pick(kRates.size())], Pick(2) == 0);
        break;
      case 5:  // backspace in whatever field has the focus
        if (QApplication::focusWidget() != nullptr) {
          QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        }
        break;
      case 6:
      case 7:
        if (W(ButtonStart)->isEnabled()) ++startsWhileIdle_;
        Click(ButtonStart);
        break;
      case 8:
        Click(ButtonStop);
        break;
      case 9:
        Click(CheckLoop);
        break;
      case 10: {  // Tab or Shift+Tab
        QWidget* target = QApplication::focusWidget();
        if (target == nullptr) target = platform::TestWindowWidget();
        if (Pick(2) == 0) {
          QTest::keyClick(target, Qt::Key_Tab);
        } else {
          QTest::keyClick(target, Qt::Key_Backtab, Qt::ShiftModifier);
        }
        break;
      }
      case 11:  // Space on the focused control (a button or the loop box)
        if (QApplication::focusWidget() != nullptr) {
          QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        }
        break;
    }
  }

  std::mt19937 rng_;
  unsigned left_;
  Phase phase_ = Phase::WaitWindow;
  int workersBelow_ = 0;
  int settleTicks_ = 0;
  int ticks_ = 0;
};

Storm* storm = nullptr;

void DriveProgram() {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, [timer] {
    if (!storm->Step()) timer->stop();
  });
  timer->start(1);
}

TEST(Stress, RandomActionsEndIdleWithSlotEmptyAndExitZero) {
  const unsigned seed = EnvOr("PULSEGEN_STRESS_SEED", 20261211);
  const unsigned actions = EnvOr("PULSEGEN_STRESS_ACTIONS", 4000);
  std::printf("seed %u, %u actions\n", seed, actions);
  Storm s(seed, actions);
  storm = &s;
  qAddPreRoutine(DriveProgram);
  EXPECT_EQ(RunProgram(), 0);
  EXPECT_FALSE(s.timedOut_);
  EXPECT_TRUE(s.endIdle_);
  EXPECT_TRUE(s.endSlotEmpty_);
  // The storm did reach the playback paths, not only the fields.
  EXPECT_GT(s.startsWhileIdle_, 20);
  EXPECT_GT(s.playsSeen_, 20);
  std::printf("%d Starts from idle; sound playing at %d of the actions\n", s.startsWhileIdle_,
              s.playsSeen_);
}

}  // namespace
