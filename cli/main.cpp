// sundrel-split: the split of the main window, without a window, for scripts,
// servers and benchmarks.

#include "cli/CommandLine.h"
#include "engine/SplitEngine.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsLocation.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace sundrel;

struct Row {
  std::string path;
  std::string sizeText;
};

class CliHost : public engine::SplitHost {
public:
  CliHost(std::vector<Row> rows, std::string sizeText, std::string outputDir, bool quiet)
      : rows(std::move(rows)), sizeText(std::move(sizeText)), outputDir(std::move(outputDir)),
        quiet(quiet), showBar(!quiet && ::isatty(STDERR_FILENO) != 0) {}

  int rowCount() override { return static_cast<int>(rows.size()); }
  std::string rowPath(int row) override { return rows[static_cast<std::size_t>(row)].path; }
  std::string rowSizeText(int row) override { return rows[static_cast<std::size_t>(row)].sizeText; }
  std::string sizeEditText() override { return sizeText; }
  bool originalDirectorySelected() override { return outputDir.empty(); }
  std::string outputFolder() override { return outputDir; }
  void setProgressRange(int lower, int upper) override {
    rangeLow = lower;
    rangeHigh = upper;
  }
  void setProgressPos(int pos) override {
    if (!showBar || rangeHigh <= rangeLow)
      return;
    constexpr int width = 40;
    const int filled = (pos - rangeLow) * width / (rangeHigh - rangeLow);
    std::string bar(static_cast<std::size_t>(std::max(0, std::min(width, filled))), '#');
    bar.resize(width, '.');
    std::fprintf(stderr, "\r[%s] %d/%d", bar.c_str(), pos, rangeHigh - 1);
    if (pos >= rangeHigh)
      std::fputc('\n', stderr);
    std::fflush(stderr);
  }
  void showSkipMessage(const std::string& text) override {
    if (!quiet)
      std::fprintf(stderr, "%s\n", text.c_str());
  }
  void partWritten(const std::string& partPath, int firstPage, int lastPage) override {
    struct stat info {};
    const long long bytes = ::stat(partPath.c_str(), &info) == 0 ? info.st_size : -1;
    if (showBar)
      std::fputs("\r\033[K", stderr);
    std::printf("%s\tpages %d-%d\t%lld bytes\n", partPath.c_str(), firstPage, lastPage, bytes);
    std::fflush(stdout);
  }
  void fileFailed(const std::string& sourcePath, const std::string& reason) override {
    if (showBar)
      std::fputs("\r\033[K", stderr);
    std::fprintf(stderr, "sundrel-split: %s: %s\n", sourcePath.c_str(), reason.c_str());
    failed.insert(sourcePath);
  }

  bool anyFailed() const { return !failed.empty(); }

private:
  std::vector<Row> rows;
  std::string sizeText;
  std::string outputDir;
  bool quiet;
  bool showBar;
  int rangeLow = 0;
  int rangeHigh = 0;
  std::set<std::string> failed;
};

int usageError(const std::string& message) {
  std::fprintf(stderr, "sundrel-split: %s\nTry 'sundrel-split --help' for more information.\n",
               message.c_str());
  return 1;
}

} // namespace

int main(int argc, char** argv) {
  const cli::CommandLine commandLine = cli::parseCommandLine(argc, argv);
  switch (commandLine.action) {
  case cli::Action::Help:
    std::fputs(cli::helpText().c_str(), stdout);
    return 0;
  case cli::Action::Version:
    std::fputs(cli::versionText().c_str(), stdout);
    return 0;
  case cli::Action::UsageError:
    return usageError(commandLine.error);
  case cli::Action::Run:
    break;
  }
  const cli::Options& options = commandLine.options;

  settings::SplitSettings splitSettings;
  settings::loadSettings(splitSettings,
                         options.settingsPath.value_or(settings::settingsFilePath()));
  splitSettings.namePattern =
      options.pattern.empty() ? std::string(settings::kDefaultNamePattern) : options.pattern;
  splitSettings.outputFolder = options.outputDir;
  splitSettings.outputMode = options.outputDir.empty() ? settings::OutputMode::OriginalDirectory
                                                       : settings::OutputMode::AlternativeDirectory;

  bool failed = false;
  std::vector<Row> rows;
  for (const auto& file : options.files) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      std::fprintf(stderr, "sundrel-split: %s: %s\n", file.c_str(),
                   ::stat(file.c_str(), &info) != 0 ? std::strerror(errno) : "not a regular file");
      failed = true;
      continue;
    }
    rows.push_back({file, engine::listedSizeText(static_cast<std::uint64_t>(info.st_size))});
  }

  CliHost host(std::move(rows), std::to_string(options.sizeLimit), options.outputDir,
               options.quiet);
  engine::runSplit(host, splitSettings);
  return failed || host.anyFailed() ? 2 : 0;
}
