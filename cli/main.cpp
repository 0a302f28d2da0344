// sundrel-split: the split of the main window, without a window, for scripts,
// servers and benchmarks.

#include "bridge/EngineRunner.h"
#include "cli/CommandLine.h"
#include "cli/Output.h"
#include "cli/Passwords.h"
#include "engine/SplitEngine.h"
#include "settings/ProfileFile.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsLocation.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace sundrel;

struct Row {
  std::string path;
  std::string sizeText;
  std::string password; // the source's open password; empty when none
};

class CliHost : public engine::SplitHost {
public:
  CliHost(std::vector<Row> rows, const cli::Options& options)
      : rows(std::move(rows)), options(options),
        showBar(!options.quiet && ::isatty(STDERR_FILENO) != 0) {}

  int rowCount() override { return static_cast<int>(rows.size()); }
  std::string rowPath(int row) override { return rows[static_cast<std::size_t>(row)].path; }
  std::string rowSizeText(int row) override { return rows[static_cast<std::size_t>(row)].sizeText; }
  std::string rowPassword(int row) override { return rows[static_cast<std::size_t>(row)].password; }
  std::string sizeEditText() override { return std::to_string(options.sizeLimit); }
  bool originalDirectorySelected() override { return options.outputDir.empty(); }
  std::string outputFolder() override { return options.outputDir; }
  bool dryRun() override { return options.dryRun; }
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
  // Skips and failures are told when they happen; the rest of the report at the end.
  void showSkipMessage(const std::string& text) override {
    clearBar();
    std::fprintf(stderr, "sundrel-split: %s\n", text.c_str());
  }
  void partWritten(const std::string& partPath, int firstPage, int lastPage) override {
    clearBar();
    struct stat info {};
    const auto bytes =
        ::stat(partPath.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    if (!options.json)
      std::printf("%s\t%d\t%d\t%llu\n", partPath.c_str(), firstPage, lastPage,
                  static_cast<unsigned long long>(bytes));
    std::fflush(stdout);
  }
  void fileFailed(const std::string& sourcePath, const std::string& reason) override {
    clearBar();
    std::fprintf(stderr, "sundrel-split: %s: %s\n", sourcePath.c_str(), reason.c_str());
  }

private:
  void clearBar() {
    if (showBar)
      std::fputs("\r\033[K", stderr);
  }

  std::vector<Row> rows;
  const cli::Options& options;
  bool showBar;
  int rangeLow = 0;
  int rangeHigh = 0;
};

int usageError(const std::string& message) {
  std::fprintf(stderr, "sundrel-split: %s\nTry 'sundrel-split --help' for more information.\n",
               message.c_str());
  return 1;
}

} // namespace

int main(int argc, char** argv) {
  bridge::installInterruptCleanup();
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

  cli::PasswordBook passwords;
  if (options.passwordFile) {
    std::vector<std::string> warnings;
    const std::string error = cli::readPasswordFile(*options.passwordFile, passwords, warnings);
    for (const auto& warning : warnings)
      std::fprintf(stderr, "sundrel-split: password file %s: %s\n", options.passwordFile->c_str(),
                   warning.c_str());
    if (!error.empty())
      return usageError(error);
  }

  settings::SplitSettings splitSettings;
  if (options.settingsPath) {
    // A settings file named on purpose must be there: a typo is not silence.
    std::string error;
    if (!settings::ProfileFile::readText(*options.settingsPath, error))
      return usageError("cannot read the settings file " + *options.settingsPath + ": " + error);
  }
  settings::loadSettings(splitSettings,
                         options.settingsPath.value_or(settings::settingsFilePath()));
  splitSettings.namePattern =
      options.pattern.empty() ? std::string(settings::kDefaultNamePattern) : options.pattern;
  splitSettings.outputFolder = options.outputDir;
  if (options.keepFonts)
    splitSettings.subsetFonts = 0;
  splitSettings.outputMode = options.outputDir.empty() ? settings::OutputMode::OriginalDirectory
                                                       : settings::OutputMode::AlternativeDirectory;

  // Files that are not there are failures of their own, before the run.
  bool failed = false;
  std::vector<Row> rows;
  for (const auto& file : options.files) {
    struct stat info {};
    const bool found = ::stat(file.c_str(), &info) == 0;
    if (!found || !S_ISREG(info.st_mode)) {
      const std::string reason = found ? "not a regular file" : std::strerror(errno);
      if (options.json)
        cli::printJsonFailure(file, reason);
      else
        std::fprintf(stderr, "sundrel-split: %s: %s\n", file.c_str(), reason.c_str());
      failed = true;
      continue;
    }
    std::optional<std::string> password = passwords.find(file);
    // Asked for before the run, so the run itself needs nobody at the keyboard.
    // Files the run skips as too small are never opened and need none.
    const bool opened = std::uint64_t(info.st_size) / 1024 * 1024 > options.sizeLimit;
    if (!password && opened && ::isatty(STDIN_FILENO) != 0 && cli::needsPassword(file)) {
      password = cli::askPassword(file);
      if (password)
        passwords.remember(file, *password);
    }
    rows.push_back({file, engine::listedSizeText(static_cast<std::uint64_t>(info.st_size)),
                    password.value_or(std::string())});
  }

  CliHost host(std::move(rows), options);
  const engine::SplitReport report = engine::runSplit(host, splitSettings);
  const cli::Outcome outcome =
      options.json ? cli::printJsonReport(report) : cli::printReportProblems(report);
  if (failed || outcome == cli::Outcome::Failed)
    return 2;
  return outcome == cli::Outcome::Warnings ? 3 : 0;
}
