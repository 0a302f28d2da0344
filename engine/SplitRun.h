#pragma once
// The state of a run that both split paths share: what the whole run holds
// (SplitRun), what one engine serving files one after another holds
// (Worker), and what one file being split holds (FileSplit). Nothing of a
// file's split lives anywhere else, so files can be split side by side, one
// worker each.

#include "bridge/EngineSession.h"
#include "engine/PartFiles.h"
#include "engine/SplitJob.h"

#include <cstdint>
#include <mutex>
#include <set>
#include <string>

namespace sundrel::engine {

// What every file of a run shares; safe to use from several threads.
class SplitRun {
public:
  SplitRun(const SplitJob& runJob, SplitObserver& runObserver);

  const SplitJob& job;
  const settings::SplitSettings& settings;
  const std::uint64_t limit;
  SplitObserver& observer;
  const ListedInputs inputs; // no part may replace one of them

  // Claims the name of a part about to be written; false when this run has
  // claimed it already. releasePart gives back the name of a part that was
  // not written after all.
  bool claimPart(const std::string& path);
  void releasePart(const std::string& path);

private:
  std::mutex mutex_;
  std::set<std::string> parts_;
};

// One engine serving files one after another: its session (when it offers
// one) and the properties file its commands read.
class Worker {
public:
  Worker() = default;
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  bridge::EngineSession session;
  bool offersSession = true; // until the engine fails the handshake
  std::string infoPath;      // made on first use, removed with the worker
};

enum class FileResult { Continue, StopRun };

// One file being split.
class FileSplit {
public:
  // The file's events go to observer: the run's, or one that keeps them in
  // list order while files are split side by side.
  FileSplit(SplitRun& run, Worker& worker, FileReport& report, std::size_t index,
            SplitObserver& observer);

  SplitRun& run;
  Worker& worker;
  FileReport& report;
  SplitObserver& observer;
  std::string source; // absolute, so the engine never reads it as a keyword or handle
  int deadlineMs = 0; // of one engine command on this source
  FileProgress at;
  bool warnedOfSecurity = false; // the security stage's warning is in the report

  // Asks the job's stop flag and the observer before an engine command;
  // once either said stop, every later failure of the file is the stop.
  bool stopRequested();
  bool stopped() const { return stopped_; }

  void setPages(int pages);
  void reach(int page);
  // Records a finished part and tells the observer.
  void partDone(const PartRecord& part);
  void warn(const std::string& text);

  // Marks the file failed, tells the observer and returns what the run does
  // next; after a stop, marks it not reached and ends the run instead.
  FileResult fail(FailureKind kind, const std::string& reason,
                  FileResult next = FileResult::Continue,
                  EngineReason engineReason = EngineReason::None);
  // The file failed for what the engine said, at a step whose own kind is `step`.
  FileResult failFor(const bridge::EngineMessage& engine, FailureKind step, const std::string& what,
                     FileResult next = FileResult::Continue);

  // Whether the part path may be written: not the source nor any other file
  // the run lists, not a part this run already wrote. Claims the name, or
  // fails the file with the reason.
  bool claimPartPath(const std::string& partPath);

private:
  bool stopped_ = false;
};

// Splits the job's file at index with worker's engine, its events told to
// observer; fills report.
FileResult splitFile(SplitRun& run, Worker& worker, std::size_t index, FileReport& report,
                     SplitObserver& observer);

// Whether files can be split side by side: worker's engine offers a session
// (its session started), so that no file's failure has to end the run.
bool sideBySideReady(Worker& worker);

// Splits the run's files side by side, up to the job's count at a time, one
// worker each (first among them), events told in list order; fills report.
void splitSideBySide(SplitRun& run, Worker& first, SplitReport& report);

// Splits one file with one engine process per command (any engine).
FileResult splitByProcess(FileSplit& file);

// Splits one file through the engine's session: few measurements per part.
FileResult splitInSession(FileSplit& file, const std::string& password);

// The properties text in the worker's file, made on first use; false when
// the temporary folder takes none.
bool ensureInfoFile(Worker& worker, const settings::SplitSettings& settings);

} // namespace sundrel::engine
