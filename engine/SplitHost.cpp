#include "engine/SplitHost.h"

#include "engine/SplitEngine.h"

namespace sundrel::engine {
namespace {

// The run's events, told to the host.
class HostObserver : public SplitObserver {
public:
  explicit HostObserver(SplitHost& runHost) : host(runHost) {}

  bool stopRequested() override {
    host.pumpDialogMessages();
    return host.stopRequested();
  }
  void progress(const FileProgress& at) override { host.progress(at); }
  void fileSkipped(const FileProgress& at) override { host.fileSkipped(at.source); }
  void partWritten(const FileProgress&, const PartRecord& part) override {
    host.partWritten(part.path, part.firstPage, part.lastPage, part.bytes);
  }
  void fileFailed(const FileProgress&, const FileReport& file) override { host.fileNotSplit(file); }

private:
  SplitHost& host;
};

} // namespace

void SplitHost::progress(const FileProgress& at) {
  setProgressRange(0, at.pages + 1);
  setProgressPos(at.page);
}

void SplitHost::fileSkipped(const std::string& path) {
  showSkipMessage("\"" + path + "\" is too small, we will skip this PDF file.");
}

SplitReport runSplit(SplitHost& host, settings::SplitSettings& settings) {
  const int rows = host.rowCount();
  if (rows < 1)
    return {};
  settings.sizeLimit = host.limitBytes();
  settings.outputMode = host.originalDirectorySelected()
                            ? settings::OutputMode::OriginalDirectory
                            : settings::OutputMode::AlternativeDirectory;
  settings.outputFolder = host.outputFolder();
  SplitJob job;
  job.settings = settings;
  job.dryRun = host.dryRun();
  job.stop = host.stopFlag();
  for (int row = 0; row < rows; ++row)
    job.rows.push_back({host.rowPath(row), host.rowBytes(row), host.rowPassword(row)});
  HostObserver observer(host);
  return runSplit(job, observer);
}

} // namespace sundrel::engine
