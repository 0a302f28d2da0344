#include "bridge/EngineRunner.h"

#include "bridge/EngineSession.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace sundrel::bridge {
namespace {

struct ThreadPump {
  std::mutex mutex;
  std::function<void()> hook;
  std::thread::id owner;
};

ThreadPump& threadPump() {
  static ThreadPump pump;
  return pump;
}

struct Trace {
  std::mutex mutex;
  std::function<void(std::string_view)> hook;
};

Trace& trace() {
  static Trace instance;
  return instance;
}

std::string& programDirectoryOverride() {
  static std::string directory;
  return directory;
}

std::string executableDirectory() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error)
    return "./";
  std::string directory = exe.parent_path().string();
  if (directory.empty() || directory.back() != '/')
    directory += '/';
  return directory;
}

} // namespace

const std::string_view kInstalledFilesDirectory = SUNDREL_INSTALLED_FILES_DIRECTORY;

std::string programDirectory() {
  std::string directory = programDirectoryOverride();
  if (directory.empty())
    return executableDirectory();
  if (directory.back() != '/')
    directory += '/';
  return directory;
}

std::string programFilePath(std::string_view fileName) {
  const std::string directory = programDirectory();
  std::string beside = directory + std::string(fileName);
  // The build tree keeps everything beside the program; an installed program
  // has only itself in bin/.
  if (::access(beside.c_str(), F_OK) != 0) {
    std::string installed =
        directory + std::string(kInstalledFilesDirectory) + std::string(fileName);
    if (::access(installed.c_str(), F_OK) == 0)
      return installed;
  }
  return beside;
}

void setProgramDirectory(std::string directory) {
  programDirectoryOverride() = std::move(directory);
}

std::string quoteArgument(std::string_view value) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : value) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      // Backslashes before a quote are doubled and the quote escaped.
      quoted.append(backslashes * 2 + 1, '\\');
      quoted += '"';
    } else {
      quoted.append(backslashes, '\\');
      quoted += c;
    }
    backslashes = 0;
  }
  // Backslashes before the closing quote are doubled so they stay literal.
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

std::vector<std::string> splitCommandLine(std::string_view commandLine) {
  std::vector<std::string> args;
  std::size_t i = 0;
  const std::size_t n = commandLine.size();
  for (;;) {
    while (i < n && (commandLine[i] == ' ' || commandLine[i] == '\t'))
      ++i;
    if (i >= n)
      break;
    std::string arg;
    bool inQuotes = false;
    while (i < n) {
      const char c = commandLine[i];
      if (!inQuotes && (c == ' ' || c == '\t'))
        break;
      if (c == '\\') {
        std::size_t count = 0;
        while (i < n && commandLine[i] == '\\') {
          ++count;
          ++i;
        }
        if (i < n && commandLine[i] == '"') {
          arg.append(count / 2, '\\');
          if (count % 2 == 1) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(count, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (inQuotes && i + 1 < n && commandLine[i + 1] == '"') {
          arg += '"';
          i += 2;
          continue;
        }
        inQuotes = !inQuotes;
        ++i;
        continue;
      }
      arg += c;
      ++i;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

ProcessResult runCommandBlocking(const std::string& commandLine, int deadlineMs) {
  return runProcess(commandLine, {WaitMode::Blocking, deadlineMs, nullptr});
}

ProcessResult runCommandPumping(const std::string& commandLine, int deadlineMs,
                                const std::atomic<bool>* cancel) {
  return runProcess(commandLine, {WaitMode::Pumping, deadlineMs, cancel});
}

ProcessResult runEngine(std::string_view arguments, int deadlineMs,
                        const std::atomic<bool>* cancel) {
  if (arguments.empty()) {
    ProcessResult nothing;
    nothing.reason = "there is no command";
    return nothing;
  }
  return runCommandPumping(quoteArgument(programFilePath(kEngineFileName)) + " " +
                               std::string(arguments),
                           deadlineMs, cancel);
}

EngineMessage engineFailure(const ProcessResult& run) {
  using Ending = ProcessResult::Ending;
  switch (run.ending) {
  case Ending::Exited:
    break;
  case Ending::NotStarted:
    return {EngineReason::EngineMissing, "the engine " + run.describe()};
  case Ending::TimedOut:
    return {EngineReason::TimedOut, "the engine took too long and was stopped"};
  case Ending::Cancelled:
    return {EngineReason::Lost, "the engine was stopped"};
  case Ending::Signalled:
    return {EngineReason::Crashed,
            "the engine " + run.describe() + " (it may have run out of memory)"};
  }
  if (engineWrote(run))
    return {};
  EngineMessage message = readEngineError(run.output);
  if (message.text.empty())
    message.text = "the engine " + run.describe();
  return message;
}

int parseLeadingInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1)
      value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative)
    value = -value;
  if (value > INT_MAX)
    value = INT_MAX;
  return static_cast<int>(value);
}

int getPageCount(const std::string& pdfPath) {
  return countPages(pdfPath).pages;
}

PageCount countPages(const std::string& pdfPath, int deadlineMs) {
  PageCount count;
  const std::string enginePath = programFilePath(kEngineFileName);
  if (::access(enginePath.c_str(), F_OK) != 0) {
    count.failure = {EngineReason::EngineMissing, "the PDF engine was not found at " + enginePath};
    return count;
  }
  const std::string reportPath = makeTempPath(".txt");
  if (pdfPath.empty() || reportPath.empty()) {
    count.failure = {EngineReason::Failed, pdfPath.empty()
                                               ? "no file was named"
                                               : "no name for the report in the temporary folder"};
    return count;
  }
  const ProcessResult run =
      runCommandBlocking(quoteArgument(enginePath) + " " + quoteArgument(pdfPath) +
                             " dump_data output " + quoteArgument(reportPath) + " dont_ask",
                         deadlineMs);
  std::ifstream report(reportPath, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(report)),
                         std::istreambuf_iterator<char>());
  report.close();
  ::unlink(reportPath.c_str());

  constexpr std::string_view key = "NumberOfPages:";
  const std::size_t at = text.find(key);
  if (engineWrote(run) && at != std::string::npos) {
    std::size_t pos = at + key.size();
    while (pos < text.size() && text[pos] == ' ')
      ++pos;
    count.pages = std::max(0, parseLeadingInt(std::string_view(text).substr(pos)));
  }
  if (count.pages == 0) {
    count.failure = engineFailure(run);
    if (count.failure.reason == EngineReason::None)
      count.failure = {EngineReason::Damaged, "the engine found no pages in it"};
  }
  return count;
}

void pumpThreadMessages() {
  std::function<void()> hook;
  {
    ThreadPump& pump = threadPump();
    const std::lock_guard lock(pump.mutex);
    if (pump.owner != std::this_thread::get_id())
      return;
    hook = pump.hook;
  }
  if (hook)
    hook();
}

void setThreadPumpHook(std::function<void()> hook) {
  ThreadPump& pump = threadPump();
  const std::lock_guard lock(pump.mutex);
  pump.hook = std::move(hook);
  pump.owner = std::this_thread::get_id();
}

void setTraceHook(std::function<void(std::string_view)> hook) {
  Trace& instance = trace();
  const std::lock_guard lock(instance.mutex);
  instance.hook = std::move(hook);
}

void traceCommand(std::string_view commandLine) {
  std::function<void(std::string_view)> hook;
  {
    Trace& instance = trace();
    const std::lock_guard lock(instance.mutex);
    hook = instance.hook;
  }
  if (hook)
    hook(commandLine);
}

} // namespace sundrel::bridge
