#pragma once
// Finds out, in the background, whether listed files need an open password:
// one short engine run per file ("dump_data" to nowhere) on a thread of its
// own, a few at a time, so a folder of hundreds of files never holds up the
// window. No password ever goes to these runs.

#include "bridge/Process.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class QThread;

namespace sundrel::ui {

enum class Protection {
  Open,     // the engine read the file without a password
  Required, // the engine needs an open password for it
  Unknown,  // no engine, or it failed for another reason (the run will say which)
};

// What one engine run says about its file.
Protection protectionOf(const bridge::ProcessResult& run);

class ProtectionChecker : public QObject {
  Q_OBJECT

public:
  explicit ProtectionChecker(QObject* parent = nullptr);
  ~ProtectionChecker() override;

  // Queues a check of path; a path already waiting or being checked is not
  // queued twice. Returns false (and checks nothing) when there is no engine.
  bool check(const QString& path);
  // Checks waiting or running.
  int pending() const { return int(waiting.size() + running.size()); }
  // Runs the event loop until no check is pending.
  void waitUntilIdle();
  // Drops the checks that have not started yet of paths not in listed
  // (absolute paths).
  void dropUnlisted(const QSet<QString>& listed);

  // At most this many engines at once; and how long one check may take.
  static constexpr int kParallel = 2;
  static constexpr int kTimeoutMs = 60000;

signals:
  void checked(const QString& path, sundrel::ui::Protection protection);
  void idle();

private:
  struct Check {
    QString path;
    std::shared_ptr<std::atomic<bool>> cancel;
  };

  void startNext();
  void finish(QThread* thread, Protection protection);

  QStringList waiting;
  QHash<QThread*, Check> running;
};

} // namespace sundrel::ui
