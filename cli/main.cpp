// sundrel-split: the split of the main window, without a window, for scripts,
// servers and benchmarks.

#include "bridge/OwnFiles.h"
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

// Tells the run's events on the terminal: a progress bar on standard error
// when it is a terminal, each part on standard output, skips and failures on
// standard error when they happen; the rest of the report comes at the end.
class CliObserver : public engine::SplitObserver {
public:
  explicit CliObserver(const cli::Options& runOptions)
      : options(runOptions), showBar(!runOptions.quiet && ::isatty(STDERR_FILENO) != 0) {}

  void progress(const engine::FileProgress& at) override {
    if (!showBar || at.pages <= 0)
      return;
    // The page reached, at most the page count (a file is done at pages + 1).
    const int page = std::clamp(at.page, 0, at.pages);
    constexpr int width = 40;
    std::string bar(static_cast<std::size_t>(page * width / at.pages), '#');
    bar.resize(width, '.');
    // Several files: which one, by its name.
    const std::string file = at.files < 2
                                 ? std::string()
                                 : std::to_string(at.file + 1) + "/" + std::to_string(at.files) +
                                       " " + at.source.substr(at.source.rfind('/') + 1) + " ";
    std::fprintf(stderr, "\r\033[K%s[%s] %d/%d", file.c_str(), bar.c_str(), page, at.pages);
    if (at.page > at.pages)
      std::fputc('\n', stderr);
    std::fflush(stderr);
  }
  void fileSkipped(const engine::FileProgress& at) override {
    clearBar();
    if (options.quiet)
      return;
    std::fprintf(stderr, "sundrel-split: \"%s\" is too small, we will skip this PDF file.\n",
                 at.source.c_str());
  }
  void partWritten(const engine::FileProgress& /*at*/, const engine::PartRecord& part) override {
    clearBar();
    if (options.json)
      return;
    std::printf("%s\t%d\t%d\t%llu\n", cli::tsvField(part.path).c_str(), part.firstPage,
                part.lastPage, static_cast<unsigned long long>(part.bytes));
    checkOutput();
  }
  void fileFailed(const engine::FileProgress& /*at*/, const engine::FileReport& file) override {
    clearBar();
    std::fprintf(stderr, "sundrel-split: %s: %s\n", file.source.c_str(), file.reason.c_str());
  }

private:
  void clearBar() {
    if (showBar)
      std::fputs("\r\033[K", stderr);
  }

  const cli::Options& options;
  bool showBar;
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
  loaded.sizeLimit = options.sizeLimit;
  loaded.outputFolder = options.outputDir;
  if (options.keepFonts)
    loaded.subsetFonts = 0;
  loaded.outputMode = options.outputDir.empty() ? settings::OutputMode::OriginalDirectory
                                                : settings::OutputMode::AlternativeDirectory;
  return loaded;
}

// The job's rows: the files that are there, with their sizes and
// passwords. A file that is not there fails before the run (counted in
// failedBefore); a protected one without a password is asked for now, when
// standard input is a terminal, so the run itself needs nobody at the
// keyboard.
std::vector<engine::SplitRow> jobRows(const cli::Options& options, cli::PasswordBook& passwords,
                                      int& failedBefore) {
  std::vector<engine::SplitRow> rows;
  for (const auto& file : options.files) {
    struct stat info {};
    const bool found = ::stat(file.c_str(), &info) == 0;
    if (!found || !S_ISREG(info.st_mode)) {
      const std::string reason = found ? "not a regular file" : std::strerror(errno);
      if (options.json)
        cli::printJsonFailure(file, reason);
      else
        std::fprintf(stderr, "sundrel-split: %s: %s\n", file.c_str(), reason.c_str());
      ++failedBefore;
      continue;
    }
    const auto bytes = static_cast<std::uint64_t>(info.st_size);
    std::optional<std::string> password = passwords.find(file);
    // Files the run skips as below the limit are never opened and need none.
    if (!password && bytes >= options.sizeLimit && ::isatty(STDIN_FILENO) != 0 &&
        cli::needsPassword(file)) {
      password = cli::askPassword(file);
      if (password)
        passwords.remember(file, *password);
    }
    rows.push_back({file, bytes, password.value_or(std::string())});
  }
  return rows;
}

int run(const cli::Options& options) {
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

  int failedBefore = 0;
  engine::SplitJob job;
  job.rows = jobRows(options, passwords, failedBefore);
  job.settings = *splitSettings;
  job.dryRun = options.dryRun;
  job.jobs = options.jobs;
  CliObserver observer(options);
  const engine::SplitReport report = engine::runSplit(job, observer);
  const cli::Outcome outcome =
      options.json ? cli::printJsonReport(report, failedBefore) : cli::printReportProblems(report);
  if (failedBefore > 0 || outcome == cli::Outcome::Failed)
    return finishOutput(2);
  return finishOutput(outcome == cli::Outcome::Warnings ? 3 : 0);
}

} // namespace

int main(int argc, char** argv) {
  holdClosedStandardStreams();
  // A reader that leaves the pipe is a failed write, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  bridge::installInterruptCleanup();
  try {
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
    return run(commandLine.options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sundrel-split: the run failed: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "sundrel-split: the run failed\n");
  }
  // Whatever the parts written so far are, the run did not finish.
  return finishOutput(2);
}
