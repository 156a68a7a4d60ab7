// Qt 6 Widgets backend of the window layer.
//
// Cross-thread calls: a caller on another thread queues a Request under the
// layer's mutex, posts a ServeEvent to a QObject living on the main thread
// and sleeps on a condition variable. The main thread serves the queue when
// that event is delivered, which happens in WaitEvent's blocking wait and in
// any modal loop (message box, window move) alike. WindowLayerEnd marks the
// layer as stopped under the same mutex, drops the queue and wakes every
// caller, so nobody waits on a main thread that has gone.
#include <unistd.h>
#include <xcb/xcb.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/text_1251.h"
#include "platform/window.h"
#include "platform/window_qt_testing.h"
#include "resources/app_icon.h"

namespace platform {
namespace {

const char* const kControlProperty = "pulsegenControl";

struct Request {
  std::function<int()> call;
  int result = 0;
  bool done = false;
};

class ControlFilter;

struct Layer {
  // Shared with other threads, guarded by `mutex`.
  std::mutex mutex;
  std::condition_variable served;
  std::deque<Request*> requests;
  bool running = false;
  QAbstractEventDispatcher* dispatcher = nullptr;  // the main thread's, while running

  // Readable from any thread without a round trip.
  std::atomic<std::thread::id> mainThread{};
  std::atomic<int> windowOpen{0};
  std::array<std::atomic<int>, kMaxControls> checked{};

  // Main thread only.
  QApplication* app = nullptr;
  QMetaObject::Connection serveConnection;
  ControlFilter* filter = nullptr;
  QWidget* window = nullptr;  // a MainWindow
  std::array<QWidget*, kMaxControls> controls{};
  std::array<ControlKind, kMaxControls> kinds{};
  std::vector<int> creationOrder;
  std::deque<WindowEvent> events;
  int staleFocus = -1;      // had the focus when it was disabled
  bool quietFocus = false;  // focus changes made by the layer give no event
};

// Never destroyed: a detached worker may still call in while the process exits.
Layer& L() {
  static Layer* layer = new Layer;
  return *layer;
}

bool OnMainThread() { return std::this_thread::get_id() == L().mainThread.load(); }

QString ToQt(const std::string& text1251) { return QString::fromUtf8(Utf8From1251(text1251)); }
std::string FromQt(const QString& text) { return Utf8To1251(text.toUtf8().toStdString()); }

void PushEvent(EventKind kind, int control = -1) { L().events.push_back({kind, control}); }

QWidget* Control(int control) {
  if (control < 0 || control >= kMaxControls) return nullptr;
  return L().controls[static_cast<size_t>(control)];
}

int ControlNumberOf(const QObject* object) {
  if (object == nullptr) return -1;
  const QVariant v = object->property(kControlProperty);
  return v.isValid() ? v.toInt() : -1;
}

bool TakesFocus(int control) {
  return L().kinds[static_cast<size_t>(control)] != ControlKind::Label;
}

void ServeRequests() {
  Layer& l = L();
  std::unique_lock lock(l.mutex);
  while (!l.requests.empty()) {
    Request* request = l.requests.front();
    l.requests.pop_front();
    lock.unlock();
    const int result = request->call();
    lock.lock();
    request->result = result;
    request->done = true;
  }
  l.served.notify_all();
}

// Runs `call` on the main thread: inline there, queued from anywhere else.
int CallOnMain(std::function<int()> call) {
  Layer& l = L();
  if (OnMainThread()) return call();
  Request request{std::move(call)};
  std::unique_lock lock(l.mutex);
  if (!l.running) return 0;
  l.requests.push_back(&request);
  // The main thread's event dispatcher reports `awake` each time it is about
  // to handle events, also inside a modal loop; ServeRequests runs there. A
  // wake-up carries no data: the request itself passes under our mutex.
  l.dispatcher->wakeUp();
  l.served.wait(lock, [&] { return request.done || !l.running; });
  return request.done ? request.result : 0;
}

// The next (or previous) enabled, visible tab stop after `from` in creation
// order, wrapping; `from` = -1 starts before the first (or after the last).
QWidget* NextTabStop(int from, bool forward) {
  Layer& l = L();
  std::vector<int> stops;
  for (int n : l.creationOrder) {
    if (TakesFocus(n)) stops.push_back(n);
  }
  if (stops.empty()) return nullptr;
  const int count = static_cast<int>(stops.size());
  int index = forward ? -1 : count;
  for (int i = 0; i < count; ++i) {
    if (stops[static_cast<size_t>(i)] == from) index = i;
  }
  for (int step = 1; step <= count; ++step) {
    const int i = ((index + (forward ? step : -step)) % count + count) % count;
    QWidget* w = Control(stops[static_cast<size_t>(i)]);
    if (w->isEnabled() && w->isVisibleTo(l.window)) return w;
  }
  return nullptr;
}

class MainWindow : public QWidget {
 public:
  MainWindow()
      : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {}

  bool allowClose = false;

 protected:
  void closeEvent(QCloseEvent* e) override {
    if (allowClose) {
      e->accept();
      return;
    }
    // A close request only reports itself; the program closes the window.
    e->ignore();
    PushEvent(EventKind::Close);
  }

  // The Tab walk: enabled tab stops in creation order, wrapping. Qt also
  // calls this when the focused control is being disabled; the control then
  // keeps no focus and Tab waits until the user moves on with Shift+Tab.
  bool focusNextPrevChild(bool next) override {
    Layer& l = L();
    QWidget* focus = QApplication::focusWidget();
    const int current = ControlNumberOf(focus);
    if (current >= 0 && !focus->isEnabled()) {
      l.staleFocus = current;
      return false;
    }
    if (current < 0 && l.staleFocus >= 0 && next) return true;
    QWidget* target = NextTabStop(current < 0 ? -1 : current, next);
    if (target != nullptr) target->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
  }

  bool event(QEvent* e) override {
    switch (e->type()) {
      case QEvent::WindowActivate:
        PushEvent(EventKind::Other);
        break;
      case QEvent::WindowDeactivate:
        // Activation gives no control the focus: park it on the window.
        setFocus(Qt::ActiveWindowFocusReason);
        PushEvent(EventKind::Other);
        break;
      case QEvent::Move:
        PushEvent(EventKind::Other);
        break;
      default:
        break;
    }
    return QWidget::event(e);
  }
};

// Digit fields: keyboard text other than 0-9 is refused; editing keys,
// shortcuts (paste included) and Tab pass. Focus changes become events.
class ControlFilter : public QObject {
 public:
  bool eventFilter(QObject* object, QEvent* e) override {
    const int control = ControlNumberOf(object);
    if (control < 0) return false;
    Layer& l = L();
    switch (e->type()) {
      case QEvent::KeyPress:
        return IsField(control) && RefuseKey(static_cast<QKeyEvent*>(e));
      case QEvent::FocusIn:
        l.staleFocus = -1;
        if (IsField(control) && !l.quietFocus) PushEvent(EventKind::Control, control);
        return false;
      case QEvent::FocusOut:
        if (IsField(control) && !l.quietFocus) PushEvent(EventKind::Control, control);
        return false;
      default:
        return false;
    }
  }

 private:
  // Only fields report focus changes; buttons and check boxes report clicks.
  static bool IsField(int control) {
    return L().kinds[static_cast<size_t>(control)] == ControlKind::DigitField;
  }

  static bool RefuseKey(const QKeyEvent* key) {
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const QString text = key->text();
    for (const QChar c : text) {
      if (c.isPrint() && !(c >= u'0' && c <= u'9')) return true;
    }
    return false;
  }
};

void InstallFatalHandler() {
  static QtMessageHandler previous = nullptr;
  static bool installed = false;
  if (installed) return;
  installed = true;
  previous = qInstallMessageHandler(
      [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type == QtFatalMsg) {
          std::fprintf(stderr, "pulsegen: %s\n", message.toLocal8Bit().constData());
          std::fflush(stderr);
          _exit(1);  // no abort, no core dump
        }
        if (previous != nullptr) previous(type, context, message);
      });
}

// The xcb platform needs a reachable X server; probe it before Qt does, as
// Qt aborts the process when it finds none.
bool ProbeDisplay(std::string* error) {
  const char* platformName = std::getenv("QT_QPA_PLATFORM");
  if (platformName != nullptr && *platformName != '\0' && std::strncmp(platformName, "xcb", 3) != 0)
    return true;
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    if (error) *error = "no display: DISPLAY is not set";
    return false;
  }
  xcb_connection_t* connection = xcb_connect(display, nullptr);
  const bool ok = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  if (!ok && error) *error = std::string("cannot open display \"") + display + "\"";
  return ok;
}

QIcon AppIcon() {
  QImage image;
  image.loadFromData(kAppIconPng, static_cast<int>(kAppIconPngSize), "PNG");
  return QIcon(QPixmap::fromImage(image));
}

void DestroyWindow() {
  Layer& l = L();
  if (l.window == nullptr) return;
  l.windowOpen.store(0);
  for (auto& c : l.checked) c.store(0);
  l.controls.fill(nullptr);
  l.creationOrder.clear();
  l.staleFocus = -1;
  auto* window = static_cast<MainWindow*>(l.window);
  l.window = nullptr;
  window->allowClose = true;
  window->close();
  delete window;
}

}  // namespace

int WindowLayerInit(std::string* error) {
  Layer& l = L();
  if (l.app != nullptr) return 1;
  if (!ProbeDisplay(error)) return 0;
  InstallFatalHandler();
  static int argc = 1;
  static char name[] = "pulsegen";
  static char* argv[] = {name, nullptr};
  l.mainThread.store(std::this_thread::get_id());
  l.app = new QApplication(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  l.serveConnection =
      QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, &ServeRequests);
  l.filter = new ControlFilter;
  l.events.clear();
  std::lock_guard lock(l.mutex);
  l.dispatcher = dispatcher;
  l.running = true;
  return 1;
}

void WindowLayerEnd() {
  Layer& l = L();
  if (l.app == nullptr) return;
  assert(OnMainThread());
  {
    std::lock_guard lock(l.mutex);
    l.running = false;
    l.dispatcher = nullptr;
    l.requests.clear();  // their callers wake and return 0
    l.served.notify_all();
  }
  DestroyWindow();
  delete l.filter;
  l.filter = nullptr;
  QObject::disconnect(l.serveConnection);
  l.events.clear();
  delete l.app;
  l.app = nullptr;
  l.mainThread.store(std::thread::id{});
}

int WindowOpen(int window, int clientWidth, int clientHeight, const std::string& caption) {
  Layer& l = L();
  assert(l.app == nullptr || OnMainThread());
  if (window != 0 || l.app == nullptr || l.window != nullptr) return 0;
  auto* w = new MainWindow;
  w->setFixedSize(clientWidth, clientHeight);
  w->setWindowTitle(ToQt(caption));
  w->setWindowIcon(AppIcon());
  w->setCursor(Qt::ArrowCursor);
  w->setBackgroundRole(QPalette::Window);
  w->setAutoFillBackground(true);
  // Centred on the whole primary screen, the outer size capped to it.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    const int outerW = std::min(clientWidth, area.width());
    const int outerH = std::min(clientHeight, area.height());
    w->move(area.x() + (area.width() - outerW) / 2, area.y() + (area.height() - outerH) / 2);
  }
  w->setFocus(Qt::OtherFocusReason);  // no control focused on opening
  l.window = w;
  l.windowOpen.store(1);
  w->show();
  return 1;
}

int WindowExists(int window) { return window == 0 ? L().windowOpen.load() : 0; }

int WindowClose(int window) {
  if (window != 0) return 0;
  return CallOnMain([] {
    if (L().window == nullptr) return 0;
    DestroyWindow();
    return 1;
  });
}

int ControlCreate(int control, ControlKind kind, int x, int y, int width, int height,
                  const std::string& text, unsigned flags) {
  Layer& l = L();
  assert(l.app == nullptr || OnMainThread());
  if (control < 0 || control >= kMaxControls || l.window == nullptr || Control(control) != nullptr)
    return 0;
  QWidget* parent = l.window;
  QWidget* widget = nullptr;
  const size_t index = static_cast<size_t>(control);
  switch (kind) {
    case ControlKind::Label: {
      auto* label = new QLabel(ToQt(text), parent);
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(true);
      label->setAlignment(((flags & kControlCentred) ? Qt::AlignHCenter : Qt::AlignLeft) |
                          Qt::AlignTop);
      widget = label;
      break;
    }
    case ControlKind::DigitField: {
      auto* field = new QLineEdit(ToQt(text), parent);
      field->setFrame(true);
      field->setAttribute(Qt::WA_InputMethodEnabled, false);
      field->setAcceptDrops(false);
      QObject::connect(field, &QLineEdit::textChanged,
                       [control] { PushEvent(EventKind::Control, control); });
      widget = field;
      break;
    }
    case ControlKind::PushButton: {
      auto* button = new QPushButton(ToQt(text), parent);
      button->setAutoDefault(false);
      button->setDefault(false);
      QObject::connect(button, &QPushButton::clicked,
                       [control] { PushEvent(EventKind::Control, control); });
      widget = button;
      break;
    }
    case ControlKind::CheckBox: {
      auto* box = new QCheckBox(ToQt(text), parent);
      QObject::connect(box, &QCheckBox::toggled, [control](bool on) {
        L().checked[static_cast<size_t>(control)].store(on ? 1 : 0);
        PushEvent(EventKind::Control, control);
      });
      widget = box;
      break;
    }
  }
  widget->setProperty(kControlProperty, control);
  if (kind != ControlKind::Label) {
    widget->setFocusPolicy(Qt::StrongFocus);
    widget->installEventFilter(l.filter);
  }
  widget->setGeometry(x, y, width, height);
  if (flags & kControlDisabled) widget->setEnabled(false);
  l.controls[index] = widget;
  l.kinds[index] = kind;
  l.checked[index].store(0);
  l.creationOrder.push_back(control);
  widget->show();
  return 1;
}

int ControlEnable(int control, int enabled) {
  return CallOnMain([control, enabled] {
    QWidget* w = Control(control);
    if (w == nullptr) return 0;
    Layer& l = L();
    w->setEnabled(enabled != 0);
    // A control that lost the focus by being disabled gets it back when it
    // is enabled again, as long as nothing else took it meanwhile.
    if (enabled != 0 && l.staleFocus == control &&
        ControlNumberOf(QApplication::focusWidget()) < 0) {
      l.quietFocus = true;
      w->setFocus(Qt::OtherFocusReason);
      l.quietFocus = false;
      l.staleFocus = -1;
    }
    return 1;
  });
}

int ControlIsEnabled(int control) {
  return CallOnMain([control] {
    QWidget* w = Control(control);
    return w != nullptr && w->isEnabled() ? 1 : 0;
  });
}

int ControlGetText(int control, std::string* text) {
  if (text == nullptr) return 0;
  text->clear();
  std::string result;
  const int ok = CallOnMain([control, &result] {
    QWidget* w = Control(control);
    if (w == nullptr) return 0;
    if (auto* field = qobject_cast<QLineEdit*>(w)) {
      result = FromQt(field->text());
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
      result = FromQt(label->text());
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      result = FromQt(button->text());
    }
    return 1;
  });
  if (ok) *text = std::move(result);
  return ok;
}

int ControlSetText(int control, const std::string& text) {
  return CallOnMain([control, &text] {
    QWidget* w = Control(control);
    if (w == nullptr) return 0;
    if (auto* field = qobject_cast<QLineEdit*>(w)) {
      field->setText(ToQt(text));
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
      label->setText(ToQt(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      button->setText(ToQt(text));
    }
    return 1;
  });
}

int ControlIsChecked(int control) {
  if (control < 0 || control >= kMaxControls) return 0;
  return L().checked[static_cast<size_t>(control)].load();
}

WindowEvent WaitEvent() {
  Layer& l = L();
  assert(l.app == nullptr || OnMainThread());
  while (l.app != nullptr) {
    if (!l.events.empty()) {
      const WindowEvent e = l.events.front();
      l.events.pop_front();
      return e;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return {};
}

int ShowMessageBox(const std::string& caption, const std::string& text) {
  Layer& l = L();
  assert(l.app == nullptr || OnMainThread());
  if (l.app == nullptr) return 0;
  QMessageBox box(QMessageBox::NoIcon, ToQt(caption), ToQt(text), QMessageBox::Ok, nullptr);
  box.exec();
  return 1;
}

QWidget* TestWindowWidget() { return L().window; }

QWidget* TestControlWidget(int control) { return Control(control); }

WindowEvent TestPollEvent() {
  Layer& l = L();
  if (l.app == nullptr) return {};
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  if (l.events.empty()) return {};
  const WindowEvent e = l.events.front();
  l.events.pop_front();
  return e;
}

int TestStaleFocus() { return L().staleFocus; }

int TestPendingRequests() {
  std::lock_guard lock(L().mutex);
  return static_cast<int>(L().requests.size());
}

}  // namespace platform
