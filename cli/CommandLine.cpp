#include "cli/CommandLine.h"

#include "settings/SizeLimit.h"

#include <algorithm>
#include <getopt.h>
#include <string_view>
#include <thread>

namespace sundrel::cli {
namespace {

constexpr const char* kProgram = "sundrel-split";

// Options without a short form get values above the character range.
enum LongOnly { kSettings = 256, kVersion, kDryRun, kJson, kPasswordFile, kKeepFonts, kMailSize };

// The leading ':' reports a missing value apart from an unknown option.
constexpr const char* kShortOptions = ":s:o:p:j:qh";

constexpr option kLongOptions[] = {
    {"size", required_argument, nullptr, 's'},
    {"mail-size", required_argument, nullptr, kMailSize},
    {"jobs", required_argument, nullptr, 'j'},
    {"output-dir", required_argument, nullptr, 'o'},
    {"pattern", required_argument, nullptr, 'p'},
    {"settings", required_argument, nullptr, kSettings},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {"dry-run", no_argument, nullptr, kDryRun},
    {"json", no_argument, nullptr, kJson},
    {"password-file", required_argument, nullptr, kPasswordFile},
    {"keep-fonts", no_argument, nullptr, kKeepFonts},
    {nullptr, 0, nullptr, 0},
};

CommandLine usageError(std::string error) {
  CommandLine result;
  result.action = Action::UsageError;
  result.error = std::move(error);
  return result;
}

// The option as the user wrote it, for messages: "--size" or "-s".
std::string optionName(int argc, char** argv, int code) {
  if (code > 0 && code < 256 && optind > 0 && optind <= argc) {
    const std::string last = argv[optind - 1];
    if (last.rfind("--", 0) != 0)
      return std::string("-") + static_cast<char>(code);
  }
  const std::string last = optind > 0 && optind <= argc ? argv[optind - 1] : "";
  return last.substr(0, last.find('='));
}

// Reads a --size or --mail-size value into limit; the error, else empty.
std::string readSize(const char* text, bool mail, std::uint64_t& limit) {
  const settings::SizeText size = settings::parseSize(text);
  const std::string what = mail ? "bad mail size \"" : "bad size \"";
  if (!size.bytes)
    return what + text + "\": " + size.error;
  if (!mail) {
    limit = *size.bytes;
    return {};
  }
  const std::uint64_t part = settings::mailPartLimit(*size.bytes);
  if (part == 0)
    return what + text + "\": no part fits a mail of that size, which needs " +
           std::to_string(settings::kMailAllowance) + " bytes for its headers and text";
  limit = part;
  return {};
}

// Reads a --jobs value: a whole number from 1 to kMaxJobs.
std::string readJobs(const char* text, int& jobs) {
  const std::string_view value = text;
  int number = 0;
  for (const char c : value) {
    if (c < '0' || c > '9' || number > kMaxJobs)
      return std::string("bad job count \"") + text + "\": give a whole number from 1 to " +
             std::to_string(kMaxJobs);
    number = number * 10 + (c - '0');
  }
  if (value.empty() || number < 1 || number > kMaxJobs)
    return std::string("bad job count \"") + text + "\": give a whole number from 1 to " +
           std::to_string(kMaxJobs);
  jobs = number;
  return {};
}

} // namespace

int defaultJobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(std::min<unsigned>(cores, kMaxJobs));
}

CommandLine parseCommandLine(int argc, char** argv) {
  CommandLine result;
  Options& options = result.options;
  options.jobs = defaultJobs();
  // A fresh scan each call, silent: the messages are ours.
  optind = 0;
  opterr = 0;
  for (;;) {
    const int code = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
    if (code == -1)
      break;
    switch (code) {
    case 's':
    case kMailSize: {
      const std::string error = readSize(optarg, code == kMailSize, options.sizeLimit);
      if (!error.empty())
        return usageError(error);
      break;
    }
    case 'j': {
      const std::string error = readJobs(optarg, options.jobs);
      if (!error.empty())
        return usageError(error);
      break;
    }
    case 'o':
      options.outputDir = optarg;
      if (options.outputDir.empty())
        return usageError("--output-dir needs a directory");
      break;
    case 'p':
      options.pattern = optarg;
      if (options.pattern.empty())
        return usageError("--pattern needs a name pattern");
      break;
    case kSettings:
      options.settingsPath = optarg;
      break;
    case 'q':
      options.quiet = true;
      break;
    case kPasswordFile:
      options.passwordFile = optarg;
      break;
    case kDryRun:
      options.dryRun = true;
      break;
    case kJson:
      options.json = true;
      break;
    case kKeepFonts:
      options.keepFonts = true;
      break;
    case 'h':
      result.action = Action::Help;
      return result;
    case kVersion:
      result.action = Action::Version;
      return result;
    case ':':
      return usageError("option " + optionName(argc, argv, optopt) + " needs a value");
    default:
      // A known long option given a value it does not take sets optopt too.
      if (optopt != 0 && std::string_view(argv[optind - 1]).substr(0, 2) == "--")
        return usageError("option " + optionName(argc, argv, 0) + " takes no value");
      if (optopt != 0 && optopt < 256)
        return usageError(std::string("unknown option -") + static_cast<char>(optopt));
      return usageError("unknown option " + optionName(argc, argv, 0));
    }
  }
  for (int i = optind; i < argc; ++i)
    options.files.emplace_back(argv[i]);
  if (options.files.empty())
    return usageError("no PDF files given");
  return result;
}

std::string versionText() {
  return std::string(kProgram) + " (Sundrel) " SUNDREL_VERSION "\n";
}

std::string helpText() {
  return R"(Usage: sundrel-split [OPTION]... FILE...
Split each PDF FILE into parts that each stay below a size limit, as the
Sundrel window does: every part is measured by really extracting it. A file
that already fits is skipped with a message.

Options:
  -s, --size=SIZE         largest size of a part (default 100K)
      --mail-size=SIZE    parts that go by mail whose size limit is SIZE:
                          the part limit is chosen so that a part, base64
                          encoded in lines of 76 characters with CR LF, plus
                          64 KiB for headers and text, fits SIZE (25MB gives
                          18221338 bytes)
  -j, --jobs=N            split up to N files at the same time, one engine
                          each (default: the number of processor cores); the
                          parts, their names and the output are those of -j 1
  -o, --output-dir=DIR    write the parts into DIR (default: beside each FILE)
  -p, --pattern=PATTERN   name of each part, without ".pdf" (default
                          "{basename} part {part:0000}"); the tokens are
                          {basename}, {part:0000}, {pagebegin:0000},
                          {pageend:0000} and {pageend}
      --settings=FILE     take document properties and security from FILE
                          (default: SettingValue.ini beside the program when
                          it can be written there, else the window's file in
                          $XDG_CONFIG_HOME/sundrel/ or ~/.config/sundrel/)
      --password-file=FILE
                          open passwords of protected files: one line with
                          the password of every FILE, or lines of
                          PATH<TAB>PASSWORD; without it, a protected file's
                          password is asked for when standard input is a
                          terminal (never give a password as an argument)
      --keep-fonts        copy embedded fonts whole into every part (by
                          default each part carries only the glyphs its
                          pages draw, so parts are smaller and fewer; the
                          Options check box "Smaller parts" sets the same)
  -q, --quiet             no progress bar and no note about files that fit
      --dry-run           measure the parts and print the plan; create, change
                          and delete nothing in any folder (an output folder
                          that a real run could not use is a warning)
      --json              print one JSON object per line: {"type":"part",...},
                          "skip", "failed", "not_reached", "oversize_page",
                          "warning", and last one "summary" (the limit in
                          bytes, files split, skipped, failed, not reached,
                          parts written); numbers are bare; a name's bytes
                          that are not UTF-8 are written as \udc80-\udcff
                          (Python's surrogateescape gives the exact name back)
  -h, --help              show this help and exit
      --version           show the version and exit

A FILE is split when its size is not below SIZE (every part stays below it).
SIZE is a byte count (1 to 4294967295) or a number with a unit, in any case:
  K, M, G or KiB, MiB, GiB   1024, 1048576, 1073741824 bytes, as the window's
                             presets 100K 512K 1000K 2000K 1M 2M 3M 5M
  KB, MB, GB                 1000, 1000000, 1000000000 bytes
A number with a unit may have decimals (9.5M); the limit is rounded down to
whole bytes.

Each part is one line on standard output: its path, its first page, its
last page and its size in bytes, separated by tabs; a tab, line feed, carriage
return or backslash in the path is written \t, \n, \r or \\. Every problem is one line
on standard error that starts with "sundrel-split:", and so is a skip.

Exit status:
  0  every part was written below the limit (files that fit are skipped)
  1  usage error: an unknown option, a bad SIZE, no FILE, a settings file
     that cannot be read (a --settings FILE, or the default one when it is
     there)
  2  a FILE could not be split, or the run stopped before it, or the list of
     parts could not be written to standard output, or the run failed
     unexpectedly
  130, 143  ended by SIGINT (Ctrl+C) or SIGTERM: the engines are stopped and
     their unfinished files removed; finished parts stay
  3  done, with warnings: a single page larger than the limit (written as a
     part by itself), document properties not applied to a part, or a damaged
     FILE that the engine repaired (every page of its parts read whole)

Examples:
  sundrel-split -s 10M report.pdf
      parts of report.pdf below 10 MiB, beside it
  sundrel-split --size=9.5MB -o parts -p '{basename}-{pagebegin:0000}' *.pdf
      parts below 9500000 bytes in parts/, named by their first page
)";
}

} // namespace sundrel::cli
