#pragma once
// sundrel-split's command line: GNU-style options (getopt_long), read into
// one record that the rest of the program works from.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sundrel::cli {

// Everything a run takes from the command line. A new option is one field
// here, one entry in the option table and one case in parseCommandLine.
struct Options {
  std::uint64_t sizeLimit = 102400;        // bytes; the window's first preset, 100K
  std::string outputDir;                   // empty: each part beside its source
  std::string pattern;                     // empty: the default name pattern
  std::optional<std::string> settingsPath; // none: the settings file the window uses
  std::optional<std::string> passwordFile; // open passwords of protected sources
  bool quiet = false;
  bool dryRun = false;    // measure and report the parts, write none
  bool json = false;      // one JSON object per line instead of text
  bool keepFonts = false; // this run's parts carry their fonts whole
  int jobs = 1;           // files split at the same time, one engine each
  std::vector<std::string> files;
};

// The most files split at the same time: each holds an engine of its own.
inline constexpr int kMaxJobs = 64;

// The number of processor cores, the default job count (at most kMaxJobs).
int defaultJobs();

enum class Action { Run, Help, Version, UsageError };

struct CommandLine {
  Action action = Action::Run;
  Options options;
  std::string error; // for UsageError: what was wrong, one line
};

// Reads argv[1..argc-1]. Options and files may come in any order; "--" ends
// the options.
CommandLine parseCommandLine(int argc, char** argv);

// The --help text and the --version line.
std::string helpText();
std::string versionText();

} // namespace sundrel::cli
