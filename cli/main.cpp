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
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace sundrel;

// The part list is the run's result: a write of it that fails (a full disk,
// a closed standard output, a reader gone from the pipe) is an error, told
// once on standard error, and the run still finishes and cleans up.
int outputError = 0;

void checkOutput() {
  if (outputError != 0)
    return;
  errno = 0;
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0)
    return;
  outputError = errno != 0 ? errno : EIO;
  std::fprintf(stderr, "sundrel-split: the list of parts could not be written: %s\n",
               outputError == EBADF ? "standard output is closed" : std::strerror(outputError));
}

// The exit status once nothing more is written to standard output.
int finishOutput(int status) {
  checkOutput();
  if (std::fclose(stdout) != 0 && outputError == 0) {
    outputError = errno;
    std::fprintf(stderr, "sundrel-split: the list of parts could not be written: %s\n",
                 std::strerror(outputError));
  }
  return outputError != 0 ? 2 : status;
}

// A standard stream that is closed at start would be taken by the first file
// the run opens, and part lines written into it; a read-only /dev/null holds
// its place, so a closed output stays one that fails every write.
void holdClosedStandardStreams() {
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
      continue;
    const int held = ::open("/dev/null", O_RDONLY);
    if (held >= 0 && held != fd) {
      ::dup2(held, fd);
      ::close(held);
    }
  }
}

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
  void partWritten(const std::string& partPath, int firstPage, int lastPage,
                   std::uint64_t bytes) override {
    clearBar();
    if (options.json)
      return;
    std::printf("%s\t%d\t%d\t%llu\n", partPath.c_str(), firstPage, lastPage,
                static_cast<unsigned long long>(bytes));
    checkOutput();
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

// The run's settings, or nothing with the error: a settings file named on
// purpose must be there (a typo is not silence), and one that is there but
// cannot be read would drop its security.
std::optional<settings::SplitSettings> runSettings(const cli::Options& options,
                                                   std::string& error) {
  settings::SplitSettings loaded;
  const std::string path = options.settingsPath.value_or(settings::settingsFilePath());
  std::string reason;
  if (!options.settingsPath || settings::ProfileFile::read(path, reason))
    reason = settings::loadSettings(loaded, path);
  if (!reason.empty()) {
    error = "cannot read the settings file " + path + ": " + reason;
    return std::nullopt;
  }
  loaded.namePattern =
      options.pattern.empty() ? std::string(settings::kDefaultNamePattern) : options.pattern;
  loaded.outputFolder = options.outputDir;
  if (options.keepFonts)
    loaded.subsetFonts = 0;
  loaded.outputMode = options.outputDir.empty() ? settings::OutputMode::OriginalDirectory
                                                : settings::OutputMode::AlternativeDirectory;
  return loaded;
}

} // namespace

int main(int argc, char** argv) {
  holdClosedStandardStreams();
  // A reader that leaves the pipe is a failed write, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  bridge::installInterruptCleanup();
  const cli::CommandLine commandLine = cli::parseCommandLine(argc, argv);
  switch (commandLine.action) {
  case cli::Action::Help:
    std::fputs(cli::helpText().c_str(), stdout);
    return finishOutput(0);
  case cli::Action::Version:
    std::fputs(cli::versionText().c_str(), stdout);
    return finishOutput(0);
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

  std::string settingsError;
  std::optional<settings::SplitSettings> splitSettings = runSettings(options, settingsError);
  if (!splitSettings)
    return usageError(settingsError);

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
  const engine::SplitReport report = engine::runSplit(host, *splitSettings);
  const cli::Outcome outcome =
      options.json ? cli::printJsonReport(report) : cli::printReportProblems(report);
  if (failed || outcome == cli::Outcome::Failed)
    return finishOutput(2);
  return finishOutput(outcome == cli::Outcome::Warnings ? 3 : 0);
}
