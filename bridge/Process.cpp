#include "bridge/Process.h"

#include "bridge/EngineRunner.h"
#include "bridge/EngineSession.h"
#include "bridge/OwnFiles.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace sundrel::bridge {
namespace {

// Closes a file descriptor when it goes out of scope.
struct Fd {
  int fd = -1;
  ~Fd() { reset(); }
  void reset() {
    if (fd >= 0)
      ::close(fd);
    fd = -1;
  }
};

// Responsive mode waits in short steps so the window's messages are handled
// promptly without keeping a core busy.
constexpr int kBlockingStepMs = 100;
constexpr int kPumpingStepMs = 10;

ProcessResult notStarted(std::string reason) {
  ProcessResult result;
  result.reason = std::move(reason);
  return result;
}

// A started child: reads its pipe until it ends, keeps the time limit and
// the caller's cancel flag, and reaps it.
class Child {
public:
  Child(pid_t pid, int readFd, const ProcessOptions& options, ProcessResult& result)
      : pid_(pid), options_(options), result_(result),
        deadline_(std::chrono::steady_clock::now() +
                  std::chrono::milliseconds(options.deadlineMs > 0 ? options.deadlineMs
                                                                   : engineDeadlineMs(0))) {
    pipe_.fd = readFd;
  }

  void run() {
    readUntilEnd();
    reap();
  }

private:
  // Kills the child once, and says why; true when it has been killed.
  bool stopIfDue() {
    if (stopped_ != ProcessResult::Ending::Exited)
      return true;
    if (options_.cancel != nullptr && options_.cancel->load())
      stopped_ = ProcessResult::Ending::Cancelled;
    else if (std::chrono::steady_clock::now() > deadline_)
      stopped_ = ProcessResult::Ending::TimedOut;
    else
      return false;
    ::kill(pid_, SIGKILL);
    return true;
  }

  void drain() {
    char buffer[8192];
    ::fcntl(pipe_.fd, F_SETFL, O_NONBLOCK);
    for (;;) {
      const ssize_t count = ::read(pipe_.fd, buffer, sizeof buffer);
      if (count <= 0)
        break;
      result_.output.append(buffer, static_cast<std::size_t>(count));
    }
  }

  void readUntilEnd() {
    char buffer[8192];
    for (;;) {
      pollfd pfd{pipe_.fd, POLLIN, 0};
      const int step = options_.mode == WaitMode::Blocking ? kBlockingStepMs : kPumpingStepMs;
      const int ready = ::poll(&pfd, 1, step);
      if (ready < 0 && errno != EINTR)
        return;
      if (ready > 0) {
        const ssize_t count = ::read(pipe_.fd, buffer, sizeof buffer);
        if (count > 0) {
          result_.output.append(buffer, static_cast<std::size_t>(count));
          continue;
        }
        if (count < 0 && errno == EINTR)
          continue;
        return; // end of file or a failed read
      }
      // Nothing waiting: a child that handed its pipe to a descendant may end
      // before the pipe closes, so watch the child itself as well.
      if (ready == 0 && ::waitpid(pid_, &status_, WNOHANG) == pid_) {
        reaped_ = true;
        drain();
        return;
      }
      if (options_.mode == WaitMode::Pumping)
        pumpThreadMessages();
      if (stopIfDue())
        return;
    }
  }

  void reap() {
    while (!reaped_) {
      const pid_t done = ::waitpid(pid_, &status_, WNOHANG);
      if (done == pid_)
        break;
      if (done < 0 && errno != EINTR) {
        result_.ending = ProcessResult::Ending::Signalled;
        return; // not our child any more: nothing more can be known
      }
      stopIfDue();
      // The pipe closed before the child ended: keep the window live meanwhile.
      if (options_.mode == WaitMode::Pumping)
        pumpThreadMessages();
      ::usleep(kPumpingStepMs * 1000);
    }
    if (stopped_ != ProcessResult::Ending::Exited) {
      // Killed, an engine leaves the output it was writing under its hidden name.
      removeEngineStagingFiles(pid_);
      result_.ending = stopped_;
    } else if (WIFEXITED(status_)) {
      result_.ending = ProcessResult::Ending::Exited;
      result_.exitCode = WEXITSTATUS(status_);
    } else {
      result_.ending = ProcessResult::Ending::Signalled;
      result_.signal = WIFSIGNALED(status_) ? WTERMSIG(status_) : 0;
    }
  }

  pid_t pid_;
  const ProcessOptions& options_;
  ProcessResult& result_;
  std::chrono::steady_clock::time_point deadline_;
  Fd pipe_;
  int status_ = 0;
  bool reaped_ = false;
  // Exited stands for "not stopped by us".
  ProcessResult::Ending stopped_ = ProcessResult::Ending::Exited;
};

} // namespace

std::string ProcessResult::describe() const {
  switch (ending) {
  case Ending::Exited:
    return "exited with code " + std::to_string(exitCode);
  case Ending::Signalled:
    if (signal <= 0)
      return "ended without an exit code";
    return "was ended by signal " + std::to_string(signal) + " (" + ::strsignal(signal) + ")";
  case Ending::TimedOut:
    return "ran past its time limit and was stopped";
  case Ending::Cancelled:
    return "was stopped";
  case Ending::NotStarted:
    break;
  }
  return "could not be started: " + reason;
}

ProcessResult runProcess(const std::string& commandLine, const ProcessOptions& options) {
  traceCommand(commandLine + "\n");
  const std::vector<std::string> args = splitCommandLine(commandLine);
  if (args.empty())
    return notStarted("there is no command");

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0)
    return notStarted(std::string("no pipe for its output: ") + std::strerror(errno));
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
  const int spawnError = spawnEngineProcess(pid, argv[0], &actions, argv.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawnError != 0)
    return notStarted(args[0] + ": " + std::strerror(spawnError));

  // Only the child writes now; the end of its output shows as end of file.
  writeEnd.reset();
  ProcessResult result;
  const int readFd = readEnd.fd;
  readEnd.fd = -1; // the child watcher owns it now
  Child(pid, readFd, options, result).run();
  untrackEngineProcess(pid);
  return result;
}

} // namespace sundrel::bridge
