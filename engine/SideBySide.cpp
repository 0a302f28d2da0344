// Files split side by side: threads take the files in list order, each with
// an engine session of its own. What a front end hears and what the report
// holds are those of one file after another: events of a file wait until
// every earlier file has told its own, and files whose parts could take the
// same names are split one after another, in list order.

#include "bridge/EngineRunner.h"
#include "engine/PartFiles.h"
#include "engine/SplitRun.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace sundrel::engine {
namespace {

// Passes every file's events on in list order, one at a time. Progress is
// told for the first unfinished file only: one place in the run at a time.
class OrderedEvents {
public:
  OrderedEvents(SplitObserver& out, std::size_t files) : out_(out), queued_(files), done_(files) {}

  bool stopRequested() {
    const std::lock_guard lock(mutex_);
    return out_.stopRequested();
  }
  void progress(const FileProgress& at) {
    const std::lock_guard lock(mutex_);
    if (at.file == head_)
      out_.progress(at);
  }
  void post(std::size_t file, std::function<void(SplitObserver&)> event) {
    const std::lock_guard lock(mutex_);
    if (file == head_)
      event(out_);
    else
      queued_[file].push_back(std::move(event));
  }
  void finish(std::size_t file) {
    const std::lock_guard lock(mutex_);
    done_[file] = true;
    while (head_ < done_.size()) {
      for (auto& event : queued_[head_])
        event(out_);
      queued_[head_].clear();
      if (!done_[head_])
        break;
      ++head_;
    }
  }

private:
  std::mutex mutex_;
  SplitObserver& out_;
  std::vector<std::vector<std::function<void(SplitObserver&)>>> queued_;
  std::vector<bool> done_;
  std::size_t head_ = 0;
};

// One file's observer: its events go through the ordered queue.
class FileEvents : public SplitObserver {
public:
  FileEvents(OrderedEvents& events, std::size_t file) : events_(events), file_(file) {}

  bool stopRequested() override { return events_.stopRequested(); }
  void progress(const FileProgress& at) override { events_.progress(at); }
  void fileSkipped(const FileProgress& at) override {
    events_.post(file_, [at](SplitObserver& out) { out.fileSkipped(at); });
  }
  void partWritten(const FileProgress& at, const PartRecord& part) override {
    events_.post(file_, [at, part](SplitObserver& out) { out.partWritten(at, part); });
  }
  void fileFailed(const FileProgress& at, const FileReport& file) override {
    events_.post(file_, [at, file](SplitObserver& out) { out.fileFailed(at, file); });
  }
  void warning(const FileProgress& at, const std::string& text) override {
    events_.post(file_, [at, text](SplitObserver& out) { out.warning(at, text); });
  }

private:
  OrderedEvents& events_;
  std::size_t file_;
};

// What decides a part's name besides its number and pages: its folder, and
// the source's base name when the pattern uses it. Files that share it could
// name parts alike, so the earlier file must claim its names first.
std::string nameGroup(const SplitRun& run, const std::string& source) {
  const settings::SplitSettings& settings = run.settings;
  std::string group =
      partFolder(source, settings.outputMode == settings::OutputMode::OriginalDirectory,
                 settings.outputFolder);
  if (settings.namePattern.find("{basename}") != std::string::npos)
    group += std::string(1, '\0') + source.substr(source.find_last_of('/') + 1);
  return group;
}

// Hands out the files: the first one not taken whose name group has no
// earlier file still unfinished.
class FileQueue {
public:
  explicit FileQueue(const SplitRun& run) : state_(run.job.rows.size(), kWaiting) {
    for (const SplitRow& row : run.job.rows)
      groups_.push_back(nameGroup(run, absolutePath(row.path)));
  }

  // The next file to split, or none when every file is taken.
  std::optional<std::size_t> take() {
    std::unique_lock lock(mutex_);
    for (;;) {
      bool waiting = false;
      for (std::size_t i = 0; i < state_.size(); ++i) {
        if (state_[i] != kWaiting)
          continue;
        waiting = true;
        if (mayStart(i)) {
          state_[i] = kTaken;
          return i;
        }
      }
      if (!waiting)
        return std::nullopt;
      changed_.wait(lock);
    }
  }
  void done(std::size_t file) {
    {
      const std::lock_guard lock(mutex_);
      state_[file] = kDone;
    }
    changed_.notify_all();
  }

private:
  enum State { kWaiting, kTaken, kDone };
  bool mayStart(std::size_t file) const {
    for (std::size_t i = 0; i < file; ++i)
      if (state_[i] != kDone && groups_[i] == groups_[file])
        return false;
    return true;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<State> state_;
  std::vector<std::string> groups_;
};

} // namespace

bool sideBySideReady(Worker& worker) {
  const std::string enginePath = bridge::programFilePath(bridge::kEngineFileName);
  if (!worker.session.active() && fileExists(enginePath))
    worker.offersSession = worker.session.start(enginePath);
  return worker.session.active();
}

void splitSideBySide(SplitRun& run, Worker& first, SplitReport& report) {
  const std::size_t files = run.job.rows.size();
  OrderedEvents events(run.observer, files);
  FileQueue queue(run);
  const auto threads = std::min<std::size_t>(static_cast<std::size_t>(run.job.jobs), files);
  std::vector<std::unique_ptr<Worker>> workers;
  auto work = [&](Worker& worker) {
    while (const std::optional<std::size_t> index = queue.take()) {
      FileEvents fileEvents(events, *index);
      // After a stop the files not begun stay not reached, as one at a time.
      const bool stopped =
          (run.job.stop != nullptr && run.job.stop->load()) || fileEvents.stopRequested();
      if (!stopped)
        splitFile(run, worker, *index, report.files[*index], fileEvents);
      queue.done(*index);
      events.finish(*index);
    }
  };
  std::vector<std::thread> started;
  for (std::size_t i = 1; i < threads; ++i) {
    workers.push_back(std::make_unique<Worker>());
    started.emplace_back(work, std::ref(*workers.back()));
  }
  work(first);
  for (std::thread& thread : started)
    thread.join();
  // A stop leaves the files in flight and after them not reached.
  for (const FileReport& file : report.files)
    report.stopped = report.stopped || file.outcome == FileOutcome::NotReached;
  report.stoppedEarly = report.stopped;
}

} // namespace sundrel::engine
