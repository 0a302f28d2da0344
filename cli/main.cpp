// sundrel-split: the split of the main window, without a window, for scripts,
// servers and benchmarks.

#include "bridge/EngineRunner.h"
#include "cli/Passwords.h"
#include "engine/SplitEngine.h"
#include "settings/SettingsFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace sundrel;

constexpr const char* kUsage =
    "usage: sundrel-split [--size BYTES|100K|512K|1000K|2000K|1M|2M|3M|5M] [--output-dir DIR]\n"
    "                     [--pattern PATTERN] [--settings FILE] [--password-file FILE]\n"
    "                     [--quiet] FILE...\n"
    "A password file holds one line with the open password of every file, or lines\n"
    "of PATH<TAB>PASSWORD. Without one, a protected file's password is asked for\n"
    "when standard input is a terminal.\n";

struct Row {
  std::string path;
  std::string sizeText;
  std::string password; // the source's open password; empty when none
};

class CliHost : public engine::SplitHost {
public:
  CliHost(std::vector<Row> rows, std::string sizeText, std::string outputDir, bool quiet)
      : rows(std::move(rows)), sizeText(std::move(sizeText)), outputDir(std::move(outputDir)),
        quiet(quiet), showBar(!quiet && ::isatty(STDERR_FILENO) != 0) {}

  int rowCount() override { return static_cast<int>(rows.size()); }
  std::string rowPath(int row) override { return rows[static_cast<std::size_t>(row)].path; }
  std::string rowSizeText(int row) override { return rows[static_cast<std::size_t>(row)].sizeText; }
  std::string rowPassword(int row) override { return rows[static_cast<std::size_t>(row)].password; }
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

// The size option as the size edit would hold it: a preset's bytes, or a
// decimal byte count. Empty for text that is neither.
std::string sizeEditTextFor(const std::string& option) {
  for (const auto& preset : settings::kSizePresets) {
    if (preset.bytes != 0 && option == preset.itemText)
      return std::to_string(preset.bytes);
  }
  if (option.empty() || option.size() > 10 ||
      option.find_first_not_of("0123456789") != std::string::npos)
    return {};
  const unsigned long long value = std::stoull(option);
  if (value > 0xFFFFFFFFull)
    return {};
  return option;
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "sundrel-split: %s\n%s", message.c_str(), kUsage);
  return 1;
}

} // namespace

int main(int argc, char** argv) {
  bridge::installInterruptCleanup();
  std::string sizeText = "102400";
  std::string outputDir;
  std::string pattern{settings::kDefaultNamePattern};
  std::string settingsPath = bridge::programFilePath(settings::kSettingsFileName);
  bool quiet = false;
  std::vector<std::string> files;
  std::string passwordFile;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--quiet" || arg == "-q") {
      quiet = true;
    } else if (arg == "--size" || arg == "--output-dir" || arg == "--pattern" ||
               arg == "--settings" || arg == "--password-file") {
      const char* text = value();
      if (text == nullptr)
        return usageError(arg + " needs a value");
      if (arg == "--size") {
        sizeText = sizeEditTextFor(text);
        if (sizeText.empty())
          return usageError(std::string("bad size \"") + text +
                            "\": give a byte count or one of 100K 512K 1000K 2000K 1M 2M 3M 5M");
      } else if (arg == "--output-dir") {
        outputDir = text;
        if (outputDir.empty())
          return usageError("--output-dir needs a directory");
      } else if (arg == "--pattern") {
        pattern = text;
      } else if (arg == "--password-file") {
        passwordFile = text;
      } else {
        settingsPath = text;
      }
    } else if (arg == "--") {
      for (++i; i < argc; ++i)
        files.emplace_back(argv[i]);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usageError("unknown option " + arg);
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty())
    return usageError("no PDF files given");

  cli::PasswordBook passwords;
  if (!passwordFile.empty()) {
    std::vector<std::string> warnings;
    const std::string error = cli::readPasswordFile(passwordFile, passwords, warnings);
    for (const auto& warning : warnings)
      std::fprintf(stderr, "sundrel-split: password file %s: %s\n", passwordFile.c_str(),
                   warning.c_str());
    if (!error.empty()) {
      std::fprintf(stderr, "sundrel-split: %s\n", error.c_str());
      return 1;
    }
  }

  settings::SplitSettings splitSettings;
  settings::loadSettings(splitSettings, settingsPath);
  splitSettings.namePattern = pattern;
  splitSettings.outputFolder = outputDir;
  splitSettings.outputMode = outputDir.empty() ? settings::OutputMode::OriginalDirectory
                                               : settings::OutputMode::AlternativeDirectory;

  bool failed = false;
  std::vector<Row> rows;
  for (const auto& file : files) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      std::fprintf(stderr, "sundrel-split: %s: %s\n", file.c_str(),
                   ::stat(file.c_str(), &info) != 0 ? std::strerror(errno) : "not a regular file");
      failed = true;
      continue;
    }
    std::optional<std::string> password = passwords.find(file);
    // Asked for before the run, so the run itself needs nobody at the keyboard.
    // Files the run skips as too small are never opened and need none.
    const bool opened = std::uint64_t(info.st_size) / 1024 * 1024 > std::stoull(sizeText);
    if (!password && opened && ::isatty(STDIN_FILENO) != 0 && cli::needsPassword(file)) {
      password = cli::askPassword(file);
      if (password)
        passwords.remember(file, *password);
    }
    rows.push_back({file, engine::listedSizeText(static_cast<std::uint64_t>(info.st_size)),
                    password.value_or(std::string())});
  }

  CliHost host(std::move(rows), sizeText, outputDir, quiet);
  engine::runSplit(host, splitSettings);
  return failed || host.anyFailed() ? 2 : 0;
}
