#include "bridge/EngineRunner.h"

#include "bridge/EngineSession.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace sundrel::bridge {
namespace {

std::function<void()>& threadPumpHook() {
  static std::function<void()> hook;
  return hook;
}

std::function<void()>& dialogPumpHook() {
  static std::function<void()> hook;
  return hook;
}

std::function<void(std::string_view)>& traceHook() {
  static std::function<void(std::string_view)> hook;
  return hook;
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

// Closes a file descriptor when it goes out of scope.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0)
      ::close(fd);
  }
  void reset() {
    if (fd >= 0)
      ::close(fd);
    fd = -1;
  }
};

int& commandDeadlineStore() {
  static int deadline = 0;
  return deadline;
}

int commandDeadline() {
  const int set = commandDeadlineStore();
  return set > 0 ? set : engineDeadlineMs(0);
}

enum class WaitMode { Blocking, Pumping };

// Responsive mode waits in short steps so the window's messages are handled
// promptly without keeping a core busy.
constexpr int kBlockingStepMs = 100;
constexpr int kPumpingStepMs = 10;

int exitCodeOf(int status) {
  if (WIFEXITED(status))
    return WEXITSTATUS(status);
  return -1;
}

int runCommand(const std::string& commandLine, std::string* output, WaitMode mode) {
  if (auto& hook = traceHook())
    hook(commandLine + "\n");

  const std::vector<std::string> args = splitCommandLine(commandLine);
  if (args.empty())
    return 0;

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0)
    return 0;
  Fd readEnd{pipeFds[0]};
  Fd writeEnd{pipeFds[1]};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.fd, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.fd, STDERR_FILENO);

  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const auto& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int spawnError = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawnError != 0)
    return 0;
  limitEngineProcess(pid);
  trackEngineProcess(pid);
  const struct Untrack {
    pid_t pid;
    ~Untrack() { untrackEngineProcess(pid); }
  } untrack{pid};
  const auto started = std::chrono::steady_clock::now();
  const int deadlineMs = commandDeadline();
  // Only the child writes now; the end of the child's output shows as end of file.
  writeEnd.reset();

  char buffer[8192];
  bool open = true;
  int status = 0;
  bool reaped = false;
  while (open) {
    pollfd pfd{readEnd.fd, POLLIN, 0};
    const int timeout = mode == WaitMode::Blocking ? kBlockingStepMs : kPumpingStepMs;
    const int ready = ::poll(&pfd, 1, timeout);
    if (ready < 0) {
      if (errno == EINTR)
        continue;
      break;
    }
    if (ready > 0) {
      const ssize_t count = ::read(readEnd.fd, buffer, sizeof buffer);
      if (count > 0) {
        if (output != nullptr)
          output->append(buffer, static_cast<std::size_t>(count));
        continue;
      }
      if (count < 0 && errno == EINTR)
        continue;
      open = false; // end of file or a failed read
      break;
    }
    // Nothing waiting: a child that handed its pipe to a descendant may end
    // before the pipe closes, so watch the child itself as well.
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      reaped = true;
      // Take what is already in the pipe, then stop.
      ::fcntl(readEnd.fd, F_SETFL, O_NONBLOCK);
      for (;;) {
        const ssize_t count = ::read(readEnd.fd, buffer, sizeof buffer);
        if (count <= 0)
          break;
        if (output != nullptr)
          output->append(buffer, static_cast<std::size_t>(count));
      }
      break;
    }
    if (mode == WaitMode::Pumping)
      pumpThreadMessages();
    if (std::chrono::steady_clock::now() - started > std::chrono::milliseconds(deadlineMs)) {
      // A command that runs away is ended; its missing exit code says so.
      ::kill(pid, SIGKILL);
      break;
    }
  }

  while (!reaped) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid)
      break;
    if (done < 0) {
      if (errno == EINTR)
        continue;
      return -1;
    }
    if (std::chrono::steady_clock::now() - started > std::chrono::milliseconds(deadlineMs))
      ::kill(pid, SIGKILL);
    // The pipe closed before the child ended: keep the window live meanwhile.
    if (mode == WaitMode::Pumping)
      pumpThreadMessages();
    ::usleep(kPumpingStepMs * 1000);
  }
  return exitCodeOf(status);
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

int runCommandBlocking(const std::string& commandLine) {
  return runCommand(commandLine, nullptr, WaitMode::Blocking);
}

int runCommandBlocking(const std::string& commandLine, std::string& output) {
  return runCommand(commandLine, &output, WaitMode::Blocking);
}

int runCommandPumping(const std::string& commandLine, std::string& output) {
  return runCommand(commandLine, &output, WaitMode::Pumping);
}

int runEngine(std::string_view arguments) {
  std::string output;
  return runEngine(arguments, output);
}

int runEngine(std::string_view arguments, std::string& output) {
  if (arguments.empty())
    return 0;
  const std::string commandLine =
      quoteArgument(programFilePath(kEngineFileName)) + " " + std::string(arguments);
  return runCommandPumping(commandLine, output);
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
  std::string output;
  return getPageCount(pdfPath, output);
}

int getPageCount(const std::string& pdfPath, std::string& engineOutput) {
  if (pdfPath.empty())
    return 0;
  const std::string enginePath = programFilePath(kEngineFileName);
  if (::access(enginePath.c_str(), F_OK) != 0)
    return 0;
  const std::string reportPath = makeTempPath(".txt");
  if (reportPath.empty())
    return 0;
  ::unlink(reportPath.c_str());

  const int exitCode =
      runCommandBlocking(quoteArgument(enginePath) + " " + quoteArgument(pdfPath) +
                             " dump_data output " + quoteArgument(reportPath) + " dont_ask",
                         engineOutput);
  if (exitCode == -1)
    engineOutput += "\nError: the engine was stopped (it ran out of time or memory)\n";

  std::ifstream report(reportPath, std::ios::binary);
  if (!report) {
    ::unlink(reportPath.c_str());
    return 0;
  }
  std::string text((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
  report.close();
  ::unlink(reportPath.c_str());

  constexpr std::string_view key = "NumberOfPages:";
  const std::size_t at = text.find(key);
  if (at == std::string::npos)
    return 0;
  std::size_t pos = at + key.size();
  while (pos < text.size() && text[pos] == ' ')
    ++pos;
  return parseLeadingInt(std::string_view(text).substr(pos));
}

void setCommandDeadlineMs(int milliseconds) {
  commandDeadlineStore() = milliseconds;
}

void pumpThreadMessages() {
  if (auto& hook = threadPumpHook())
    hook();
}

void pumpDialogMessages() {
  if (auto& hook = dialogPumpHook())
    hook();
}

void setThreadPumpHook(std::function<void()> hook) {
  threadPumpHook() = std::move(hook);
}

void setDialogPumpHook(std::function<void()> hook) {
  dialogPumpHook() = std::move(hook);
}

void setTraceHook(std::function<void(std::string_view)> hook) {
  traceHook() = std::move(hook);
}

} // namespace sundrel::bridge
