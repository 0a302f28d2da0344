#pragma once
// Helpers for the window tests. onNextModal drives a modal dialog: schedule
// an action, then open the dialog; the action runs inside the dialog's own
// event loop as soon as a new modal widget is active.
//
//   auto ran = sundrel::test::onNextModal([](QWidget* dialog) {
//     QTest::mouseClick(dialog->findChild<QPushButton*>("1025"), Qt::LeftButton);
//   });
//   QCOMPARE(options.doModal(), QDialog::Accepted);
//   QVERIFY(*ran);
//
// When the action leaves a failed test behind and the dialog still open, the
// dialog is closed, so a failing check never hangs the suite.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <ctime>
#include <functional>
#include <memory>

namespace sundrel::test {

// Runs action on the next modal widget (one that is not already active when
// this is called). Polls every 10 ms; gives up after timeoutMs. The returned
// flag turns true once the action has run.
inline std::shared_ptr<bool> onNextModal(std::function<void(QWidget*)> action,
                                         int timeoutMs = 10000) {
  auto ran = std::make_shared<bool>(false);
  QPointer<QWidget> before = QApplication::activeModalWidget();
  auto* timer = new QTimer(qApp);
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, timer, [=]() mutable {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == before.data() || !modal->isVisible()) {
      if (clock->elapsed() > timeoutMs) {
        qWarning("onNextModal: no modal dialog appeared within %d ms", timeoutMs);
        timer->deleteLater();
      }
      return;
    }
    timer->stop();
    timer->deleteLater();
    QPointer<QWidget> guard = modal;
    *ran = true;
    action(modal);
    if (guard && guard->isVisible() && QTest::currentTestFailed()) {
      if (auto* dialog = qobject_cast<QDialog*>(guard.data()))
        dialog->reject();
      else
        guard->close();
    }
  });
  timer->start();
  return ran;
}

// As onNextModal, for a dialog of a known class.
template <class Dialog>
std::shared_ptr<bool> onNextModalOf(std::function<void(Dialog*)> action, int timeoutMs = 10000) {
  return onNextModal(
      [action = std::move(action)](QWidget* modal) {
        auto* dialog = qobject_cast<Dialog*>(modal);
        if (!dialog) {
          QTest::qFail("the modal widget is not of the expected class", __FILE__, __LINE__);
          return;
        }
        action(dialog);
      },
      timeoutMs);
}

// A control of a window by its numeric identifier (its object name).
template <class Control = QWidget> Control* control(const QWidget* window, int id) {
  return window->findChild<Control*>(QString::number(id));
}

// A control of a window by its descriptive name ("beginSplit"), which it
// carries beside its identifier as the "controlName" property.
template <class Control = QWidget> Control* named(const QWidget* window, const char* name) {
  for (Control* found : window->findChildren<Control*>())
    if (found->property("controlName").toString() == QLatin1String(name))
      return found;
  return nullptr;
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(), qPrintable(path));
}

// Sets an environment variable for the life of this object; TZ takes effect
// at once (tzset).
class ScopedEnv {
public:
  ScopedEnv(const char* name, const QByteArray& value)
      : name(name), old(qgetenv(name)), wasSet(qEnvironmentVariableIsSet(name)) {
    qputenv(name, value);
    tzset();
  }
  ~ScopedEnv() {
    if (wasSet)
      qputenv(name, old);
    else
      qunsetenv(name);
    tzset();
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  const char* name;
  QByteArray old;
  bool wasSet;
};

// Rows for a test of the tab control with its themed and its classic drawing.
inline void addThemedRows() {
  QTest::addColumn<bool>("themed");
  QTest::newRow("themed") << true;
  QTest::newRow("classic") << false;
}

} // namespace sundrel::test
