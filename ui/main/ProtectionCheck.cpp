#include "ui/main/ProtectionCheck.h"

#include "bridge/EngineRunner.h"
#include "bridge/EngineSession.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <algorithm>

namespace sundrel::ui {

namespace {
QString enginePath() {
  return QFile::decodeName(
      QByteArray::fromStdString(bridge::programFilePath(bridge::kEngineFileName)));
}
} // namespace

Protection protectionFromEngineRun(int exitCode, const QByteArray& errorOutput) {
  // Our engine says "OWNER OR USER PASSWORD REQUIRED", pdftk "OWNER PASSWORD
  // REQUIRED" (it also wants the owner's password for a file it could read).
  if (errorOutput.contains("PASSWORD REQUIRED"))
    return Protection::Required;
  return exitCode == 0 ? Protection::Open : Protection::Unknown;
}

ProtectionChecker::ProtectionChecker(QObject* parent) : QObject(parent) {}

ProtectionChecker::~ProtectionChecker() {
  // No engine outlives the window that asked for it.
  waiting.clear();
  const QList<QProcess*> processes = running.keys();
  running.clear();
  for (QProcess* process : processes) {
    process->disconnect(this);
    process->kill();
    process->waitForFinished(1000);
    delete process;
  }
}

bool ProtectionChecker::check(const QString& path) {
  if (!QFileInfo(enginePath()).isExecutable())
    return false;
  const QString absolute = QFileInfo(path).absoluteFilePath();
  if (!waiting.contains(absolute) &&
      std::find(running.cbegin(), running.cend(), absolute) == running.cend())
    waiting << absolute;
  startNext();
  return true;
}

void ProtectionChecker::startNext() {
  while (!waiting.isEmpty() && running.size() < kParallel) {
    const QString path = waiting.takeFirst();
    auto* process = new QProcess(this);
    running.insert(process, path);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    // The absolute path starts with '/', so the engine never reads it as a
    // handle ("A=file") or an option.
    process->setArguments({path, QStringLiteral("dump_data"), QStringLiteral("output"),
                           QStringLiteral("-"), QStringLiteral("dont_ask")});
    process->setProgram(enginePath());
    connect(process, &QProcess::started, this,
            [process] { bridge::limitEngineProcess(pid_t(process->processId())); });
    connect(process, &QProcess::finished, this,
            [this, process](int exitCode, QProcess::ExitStatus status) {
              const int code = status == QProcess::NormalExit ? exitCode : -1;
              finish(process, protectionFromEngineRun(code, process->readAllStandardError()));
            });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
      if (error == QProcess::FailedToStart)
        finish(process, Protection::Unknown);
    });
    // A damaged or hostile file must not keep its row waiting for ever.
    QTimer::singleShot(kTimeoutMs, process, [process] { process->kill(); });
    process->start();
  }
}

void ProtectionChecker::finish(QProcess* process, Protection protection) {
  const auto found = running.find(process);
  if (found == running.end())
    return;
  const QString path = found.value();
  running.erase(found);
  process->disconnect(this);
  process->deleteLater();
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
