// The run: every file of the job in turn, skipped when it is below the
// limit, else split through the engine's session or, where that cannot be,
// one engine process per command.

#include "engine/SplitEngine.h"

#include "bridge/EngineRunner.h"
#include "bridge/OwnFiles.h"
#include "engine/PartFiles.h"
#include "engine/SplitRun.h"

#include <cstdio>
#include <fstream>

namespace sundrel::engine {
namespace {

ListedInputs listedInputs(const SplitJob& job) {
  ListedInputs inputs;
  for (const SplitRow& row : job.rows)
    inputs.add(row.path);
  return inputs;
}

// Why a file cannot go to one engine process per command (empty when it
// can): that path writes every part, and every argument of a process is
// visible to every user of the machine, so no password may travel in one.
std::string perProcessRefusal(const SplitJob& job, bool sourcePassword, bool oneLine) {
  const std::string cause =
      oneLine ? "this engine runs one process per command"
              : "its path or the output folder holds a line break, which no engine session "
                "takes, so the engine would run one process per command";
  const std::string change = oneLine ? "; use the engine that comes with Sundrel (tovix.dll)"
                                     : "; rename the file or folder without the line break";
  if (job.dryRun)
    return "a dry run needs an engine that measures without writing, but " + cause + change;
  if (sourcePassword)
    return "its password would be visible to every user in the process list: " + cause + change;
  const SplitSettings& settings = job.settings;
  if (wantsSecurity(settings) &&
      (!settings.openPassword.empty() || !settings.permissionsPassword.empty()))
    return "the passwords that the Options give the parts would be visible to every user in "
           "the process list: " +
           cause + change;
  return {};
}

// A part folder registered for the removal of engine leftovers while a file
// is split.
class EngineFolder {
public:
  explicit EngineFolder(std::string path) : path_(std::move(path)) {
    bridge::registerEngineFolder(path_);
  }
  ~EngineFolder() { bridge::unregisterEngineFolder(path_); }
  EngineFolder(const EngineFolder&) = delete;
  EngineFolder& operator=(const EngineFolder&) = delete;

private:
  std::string path_;
};

} // namespace

FileResult splitFile(SplitRun& run, Worker& worker, std::size_t index, FileReport& report,
                     SplitObserver& observer) {
  const SplitRow& row = run.job.rows[index];
  FileSplit file(run, worker, report, index, observer);
  // Every part stays below the limit: a file that is not below it is split.
  if (row.bytes < run.limit) {
    report.outcome = FileOutcome::SkippedTooSmall;
    file.observer.fileSkipped(file.at);
    return FileResult::Continue;
  }
  if (file.stopRequested())
    return file.fail(FailureKind::None, {});
  // One engine for the whole run when it offers a session; a session that
  // died is started again for the next file.
  const std::string enginePath = bridge::programFilePath(bridge::kEngineFileName);
  if (!worker.session.active() && worker.offersSession && fileExists(enginePath))
    worker.offersSession = worker.session.start(enginePath);
  worker.session.setCancel(run.job.stop);
  // A stopped or killed engine leaves its hidden file in the part folder:
  // the folder is known, so that the file is removed.
  const EngineFolder folder(
      partFolder(file.source, run.settings.outputMode == settings::OutputMode::OriginalDirectory,
                 run.settings.outputFolder));
  // A session command is one line: a path with a line break in it goes to
  // one process per command instead of being cut.
  const bool oneLine =
      (file.source + run.settings.outputFolder).find_first_of("\r\n") == std::string::npos;
  if (worker.session.active() && oneLine)
    return splitInSession(file, row.password);
  const std::string refusal = perProcessRefusal(run.job, !row.password.empty(), oneLine);
  if (!refusal.empty())
    return file.fail(FailureKind::PartNotWritten, refusal);
  return splitByProcess(file);
}

SplitRun::SplitRun(const SplitJob& runJob, SplitObserver& runObserver)
    : job(runJob), settings(runJob.settings), limit(runJob.settings.sizeLimit),
      observer(runObserver), inputs(listedInputs(runJob)) {}

bool SplitRun::claimPart(const std::string& path) {
  const std::lock_guard lock(mutex_);
  return parts_.insert(path).second;
}

void SplitRun::releasePart(const std::string& path) {
  const std::lock_guard lock(mutex_);
  parts_.erase(path);
}

Worker::~Worker() {
  session.stop();
  if (!infoPath.empty()) {
    std::remove(infoPath.c_str());
    bridge::unregisterCleanupPath(infoPath);
  }
}

bool ensureInfoFile(Worker& worker, const SplitSettings& settings) {
  if (!worker.infoPath.empty())
    return true;
  const std::string path = bridge::makeTempPath(".txt");
  if (path.empty())
    return false;
  const bridge::CleanupSection section;
  std::ofstream info(path, std::ios::trunc);
  info << infoText(settings);
  info.close();
  if (!info) {
    std::remove(path.c_str());
    return false;
  }
  worker.infoPath = path;
  bridge::registerCleanupPath(path);
  return true;
}

FileSplit::FileSplit(SplitRun& splitRun, Worker& splitWorker, FileReport& fileReport,
                     std::size_t index, SplitObserver& fileObserver)
    : run(splitRun), worker(splitWorker), report(fileReport), observer(fileObserver),
      source(absolutePath(splitRun.job.rows[index].path)) {
  at.file = index;
  at.files = run.job.rows.size();
  at.source = run.job.rows[index].path;
  deadlineMs = bridge::engineDeadlineMs(fileSize(source).value_or(run.job.rows[index].bytes));
}

bool FileSplit::stopRequested() {
  stopped_ =
      stopped_ || (run.job.stop != nullptr && run.job.stop->load()) || observer.stopRequested();
  return stopped_;
}

void FileSplit::setPages(int pages) {
  at.pages = pages;
}

void FileSplit::reach(int page) {
  at.page = page;
  observer.progress(at);
}

void FileSplit::partDone(const PartRecord& part) {
  report.parts.push_back(part);
  ++at.parts;
  observer.partWritten(at, part);
}

void FileSplit::warn(const std::string& text) {
  report.warnings.push_back(text);
  observer.warning(at, text);
}

FileResult FileSplit::fail(FailureKind kind, const std::string& reason, FileResult next,
                           EngineReason engineReason) {
  // A command that the stop flag ended fails as well: that is the stop too.
  stopped_ = stopped_ || (run.job.stop != nullptr && run.job.stop->load());
  if (stopped_) {
    // What failed is the command the stop refused: the file is not finished.
    report.outcome = FileOutcome::NotReached;
    return FileResult::StopRun;
  }
  report.outcome = FileOutcome::Failed;
  report.failure = kind;
  report.reason = reason;
  report.engineReason = engineReason;
  observer.fileFailed(at, report);
  return next;
}

FileResult FileSplit::failFor(const bridge::EngineMessage& engine, FailureKind step,
                              const std::string& what, FileResult next) {
  const std::string reason =
      engine.text.empty() ? what : (what.empty() ? engine.text : what + ": " + engine.text);
  return fail(bridge::failureKind(engine.reason, step), reason, next, engine.reason);
}

bool FileSplit::claimPartPath(const std::string& partPath) {
  // A pattern can name the source itself; the source is never overwritten.
  if (sameFile(partPath, source)) {
    fail(FailureKind::Overwrite,
         "the part name " + partPath +
             " is the source file itself; change the name pattern or the output folder");
    return false;
  }
  // Nor is any other file the run lists, however it is spelled: an earlier
  // part listed again, or a file of the same name in the output folder.
  const std::string listed = run.inputs.replacedBy(partPath);
  if (!listed.empty()) {
    fail(FailureKind::Overwrite, "its part " + partPath + " would replace " + listed +
                                     ", which is listed for this run too; choose another output "
                                     "folder or name pattern, or take that file off the list");
    return false;
  }
  if (!run.claimPart(partPath)) {
    fail(FailureKind::Overwrite,
         "its part " + partPath +
             " would replace a part this run already wrote; put {part:0000} in the name "
             "pattern, or split files of the same name into different folders");
    return false;
  }
  return true;
}

bool replaceToken(std::string& text, std::string_view token, std::string_view value) {
  const std::size_t at = text.find(token);
  if (at == std::string::npos)
    return false;
  text.replace(at, token.size(), value);
  return true;
}

SplitReport runSplit(const SplitJob& job, SplitObserver& observer) {
  SplitReport report;
  report.limit = job.settings.sizeLimit;
  if (job.rows.empty())
    return report;
  SplitRun run(job, observer);
  report.files.resize(job.rows.size());
  for (std::size_t index = 0; index < job.rows.size(); ++index)
    report.files[index].source = job.rows[index].path;

  Worker worker;
  if (job.jobs > 1 && job.rows.size() > 1 && sideBySideReady(worker)) {
    splitSideBySide(run, worker, report);
    return report;
  }
  for (std::size_t index = 0; index < job.rows.size(); ++index) {
    FileReport& file = report.files[index];
    if (splitFile(run, worker, index, file, observer) == FileResult::StopRun) {
      report.stoppedEarly = index + 1 < job.rows.size() || file.outcome == FileOutcome::NotReached;
      report.stopped = file.outcome == FileOutcome::NotReached;
      break;
    }
  }
  return report;
}

} // namespace sundrel::engine
