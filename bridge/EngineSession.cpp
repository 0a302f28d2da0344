#include "bridge/EngineSession.h"

#include "bridge/EngineRunner.h"
#include "bridge/OwnFiles.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace sundrel::bridge {
namespace {

constexpr std::string_view kHandshake = "tovix-session 1";
constexpr int kHandshakeMs = 15000;
constexpr int kStepMs = 10;

long long nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

EngineLimits& limitsStore() {
  static EngineLimits limits;
  return limits;
}

bool sanitized() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

EngineAnswer lost(EngineReason reason, std::string text) {
  EngineAnswer answer;
  answer.reason = reason;
  answer.message = text;
  answer.text = std::move(text);
  return answer;
}

// Reads the message of an answer: "[cat_bytes=N ]ok|Warning: ...|Error: ...".
void readMessage(EngineAnswer& answer) {
  std::string_view message = answer.message;
  constexpr std::string_view catKey = "cat_bytes=";
  if (message.substr(0, catKey.size()) == catKey) {
    const std::size_t blank = message.find(' ');
    answer.catBytes =
        std::strtoull(std::string(message.substr(catKey.size(), blank)).c_str(), nullptr, 10);
    message.remove_prefix(blank == std::string_view::npos ? message.size() : blank + 1);
  }
  if (answer.exitCode != kEngineOk && answer.exitCode != kEngineWarnings) {
    EngineMessage error = readEngineError(message);
    answer.reason = error.reason == EngineReason::None ? EngineReason::Unknown : error.reason;
    answer.text = error.text.empty() ? std::string(message) : std::move(error.text);
    return;
  }
  constexpr std::string_view warningPrefix = "Warning: ";
  answer.warning = message.substr(0, warningPrefix.size()) == warningPrefix;
  if (answer.warning)
    answer.text = message.substr(warningPrefix.size());
}

} // namespace

const EngineLimits& engineLimits() {
  return limitsStore();
}

void setEngineLimits(const EngineLimits& limits) {
  limitsStore() = limits;
}

int engineDeadlineMs(std::uint64_t sourceBytes) {
  const EngineLimits& limits = engineLimits();
  const std::uint64_t mib = sourceBytes >> 20;
  const std::uint64_t seconds = static_cast<std::uint64_t>(limits.baseSeconds) +
                                mib * static_cast<std::uint64_t>(limits.secondsPerMiB);
  return static_cast<int>(std::min<std::uint64_t>(seconds, 24 * 3600) * 1000);
}

namespace {

void limitEngineProcess(pid_t pid) {
  // Sanitizer builds reserve terabytes of address space for their shadow.
  if (pid <= 0 || sanitized() || engineLimits().memoryBytes == 0)
    return;
  const rlimit bound{engineLimits().memoryBytes, engineLimits().memoryBytes};
  // Only a child that has ended already cannot be bounded: nothing to do then.
  (void)::prlimit(pid, RLIMIT_AS, &bound, nullptr);
}

} // namespace

int spawnEngineProcess(pid_t& pid, const char* path, const posix_spawn_file_actions_t* actions,
                       char* const argv[]) {
  const CleanupSection section;
  // The section blocks SIGINT and SIGTERM in this thread; the engine must not inherit that.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  const int error = ::posix_spawn(&pid, path, actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  if (error != 0)
    return error;
  limitEngineProcess(pid);
  trackEngineProcess(pid);
  return 0;
}

EngineSession::~EngineSession() {
  stop();
}

bool EngineSession::start(const std::string& enginePath) {
  stop();
  if (::access(enginePath.c_str(), X_OK) != 0)
    return false;
  // A write to an engine that died must come back as an error, not end us.
  std::signal(SIGPIPE, SIG_IGN);

  int in[2];
  int out[2];
  if (::pipe2(in, O_CLOEXEC) != 0)
    return false;
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::string program = enginePath;
  std::string flag = "--session";
  char* argv[] = {program.data(), flag.data(), nullptr};
  pid_t pid = 0;
  const int error = spawnEngineProcess(pid, program.c_str(), &actions, argv);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  if (error != 0) {
    ::close(in[1]);
    ::close(out[0]);
    return false;
  }
  pid_ = pid;
  toEngine_ = in[1];
  fromEngine_ = out[0];
  buffer_.clear();

  std::string line;
  if (!readLine(line, nowMs() + kHandshakeMs) || line != kHandshake) {
    kill();
    return false;
  }
  return true;
}

EngineAnswer EngineSession::request(const std::string& commandText, bool payload, int timeoutMs) {
  if (!active())
    return lost(EngineReason::Lost, "the engine is not running");
  std::string line = commandText;
  for (char& c : line) {
    if (c == '\n' || c == '\r')
      c = ' '; // one command is one line, whatever a path holds
  }
  line += '\n';
  std::size_t sent = 0;
  while (sent < line.size()) {
    const ssize_t n = ::write(toEngine_, line.data() + sent, line.size() - sent);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      kill();
      return lost(EngineReason::Lost, "the engine stopped");
    }
    sent += static_cast<std::size_t>(n);
  }

  const long long deadline = nowMs() + timeoutMs;
  std::string status;
  if (!readLine(status, deadline)) {
    kill();
    if (cancelled())
      return lost(EngineReason::Lost, "the run was stopped");
    return nowMs() >= deadline
               ? lost(EngineReason::TimedOut, "the engine took too long and was stopped")
               : lost(EngineReason::Lost, "the engine stopped");
  }
  // "<exit code> <bytes> <message>"
  const std::size_t first = status.find(' ');
  const std::size_t second = first == std::string::npos ? first : status.find(' ', first + 1);
  char* end = nullptr;
  const std::string codeText = status.substr(0, first);
  const long code = std::strtol(codeText.c_str(), &end, 10);
  const bool codeRead = !codeText.empty() && *end == '\0';
  const std::string bytesText =
      second == std::string::npos ? std::string() : status.substr(first + 1, second - first - 1);
  const unsigned long long bytes = std::strtoull(bytesText.c_str(), &end, 10);
  if (second == std::string::npos || !codeRead || bytesText.empty() || *end != '\0') {
    kill();
    return lost(EngineReason::Lost, "the engine answered something unexpected");
  }
  EngineAnswer answer;
  answer.exitCode = static_cast<int>(code);
  answer.bytes = bytes;
  answer.message = status.substr(second + 1);
  readMessage(answer);
  if (payload && !answer.failed() && !readBytes(answer.payload, bytes, deadline)) {
    kill();
    return lost(EngineReason::Lost, "the engine stopped");
  }
  answer.answered = true;
  return answer;
}

bool EngineSession::fill(long long deadlineMs) {
  char chunk[65536];
  for (;;) {
    if (cancelled())
      return false;
    const long long left = deadlineMs - nowMs();
    if (left <= 0)
      return false;
    pollfd pfd{fromEngine_, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left, kStepMs)));
    if (ready < 0 && errno != EINTR)
      return false;
    if (ready > 0) {
      const ssize_t n = ::read(fromEngine_, chunk, sizeof chunk);
      if (n > 0) {
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
      }
      if (n < 0 && errno == EINTR)
        continue;
      return false; // end of file: the engine is gone
    }
    pumpThreadMessages();
  }
}

bool EngineSession::readLine(std::string& line, long long deadlineMs) {
  for (;;) {
    const std::size_t end = buffer_.find('\n');
    if (end != std::string::npos) {
      line = buffer_.substr(0, end);
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      buffer_.erase(0, end + 1);
      return true;
    }
    if (!fill(deadlineMs))
      return false;
  }
}

bool EngineSession::readBytes(std::string& out, std::uint64_t count, long long deadlineMs) {
  while (buffer_.size() < count) {
    if (!fill(deadlineMs))
      return false;
  }
  out = buffer_.substr(0, count);
  buffer_.erase(0, count);
  return true;
}

void EngineSession::kill() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    // Killed mid-command, it leaves the part it was writing under its hidden name.
    removeEngineStagingFiles(pid_);
    untrackEngineProcess(pid_);
  }
  if (toEngine_ >= 0)
    ::close(toEngine_);
  if (fromEngine_ >= 0)
    ::close(fromEngine_);
  pid_ = -1;
  toEngine_ = -1;
  fromEngine_ = -1;
  buffer_.clear();
}

void EngineSession::stop() {
  if (pid_ <= 0)
    return;
  // End of input ends a session; give it a moment before killing it.
  ::close(toEngine_);
  toEngine_ = -1;
  for (int i = 0; i < 50; ++i) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      untrackEngineProcess(pid_);
      pid_ = -1;
      break;
    }
    ::usleep(10000);
  }
  kill();
}

} // namespace sundrel::bridge
