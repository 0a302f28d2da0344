#include "ui/main/ProtectionCheck.h"

#include "bridge/EngineRunner.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>

namespace sundrel::ui {

namespace {
std::string enginePath() {
  return bridge::programFilePath(bridge::kEngineFileName);
}
} // namespace

Protection protectionOf(const bridge::ProcessResult& run) {
  if (bridge::engineWrote(run))
    return Protection::Open;
  return bridge::engineFailure(run).reason == bridge::EngineReason::PasswordRequired
             ? Protection::Required
             : Protection::Unknown;
}

ProtectionChecker::ProtectionChecker(QObject* parent) : QObject(parent) {}

ProtectionChecker::~ProtectionChecker() {
  // No engine outlives the window that asked for it.
  waiting.clear();
  for (const Check& check : std::as_const(running))
    check.cancel->store(true);
  for (QThread* thread : running.keys()) {
    thread->wait();
    delete thread;
  }
}

bool ProtectionChecker::check(const QString& path) {
  if (!QFileInfo(QFile::decodeName(QByteArray::fromStdString(enginePath()))).isExecutable())
    return false;
  const QString absolute = QFileInfo(path).absoluteFilePath();
  const bool checking = std::any_of(running.cbegin(), running.cend(),
                                    [&](const Check& check) { return check.path == absolute; });
  if (!waiting.contains(absolute) && !checking)
    waiting << absolute;
  startNext();
  return true;
}

void ProtectionChecker::startNext() {
  while (!waiting.isEmpty() && running.size() < kParallel) {
    const QString path = waiting.takeFirst();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    // The absolute path starts with '/', so the engine never reads it as a
    // handle ("A=file") or an option.
    const std::string command = bridge::quoteArgument(enginePath()) + " " +
                                bridge::quoteArgument(QFile::encodeName(path).toStdString()) +
                                " dump_data output - dont_ask";
    QThread* thread = QThread::create([this, command, cancel] {
      // A damaged or hostile file must not keep its row waiting for ever.
      const bridge::ProcessResult run =
          bridge::runProcess(command, {bridge::WaitMode::Blocking, kTimeoutMs, cancel.get()});
      const Protection protection = protectionOf(run);
      QThread* self = QThread::currentThread();
      QMetaObject::invokeMethod(
          this, [this, self, protection] { finish(self, protection); }, Qt::QueuedConnection);
    });
    running.insert(thread, {path, cancel});
    thread->start();
  }
}

void ProtectionChecker::finish(QThread* thread, Protection protection) {
  const auto found = running.find(thread);
  if (found == running.end())
    return;
  const QString path = found->path;
  running.erase(found);
  thread->wait();
  delete thread;
  startNext();
  emit checked(path, protection);
  if (pending() == 0)
    emit idle();
}

void ProtectionChecker::waitUntilIdle() {
  if (pending() == 0)
    return;
  QEventLoop loop;
  connect(this, &ProtectionChecker::idle, &loop, &QEventLoop::quit);
  loop.exec();
}

void ProtectionChecker::dropUnlisted(const QSet<QString>& listed) {
  const bool wasPending = pending() != 0;
  waiting.removeIf([&](const QString& path) { return !listed.contains(path); });
  if (wasPending && pending() == 0)
    emit idle();
}

} // namespace sundrel::ui
