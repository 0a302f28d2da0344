#pragma once
// One engine process that serves a whole run: commands go to its standard
// input one line each, and each is answered with one status line. Opened
// documents stay open between commands, and passwords travel over the pipe
// rather than in the process list. Engines that offer no session (pdftk-java,
// test stand-ins) fail the handshake, and callers run one process per command.

#include "bridge/EngineReason.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/types.h>

namespace sundrel::bridge {

struct EngineAnswer {
  // False when the engine died, hung past the deadline or said something that
  // is not a status line: nothing in the answer is a measurement then.
  bool answered = false;
  int exitCode = -1;
  std::uint64_t bytes = 0;
  std::string message; // one line as written: "ok", "Error: [code] ...", "Warning: ..."
  std::string payload; // what the command wrote to standard output

  // The message read once, here: why the command failed (None when it did
  // not; Lost or TimedOut when there was no answer), the failure or warning
  // in the engine's words, whether it is a warning, and a finished part's
  // plain size ("cat_bytes=N").
  EngineReason reason = EngineReason::None;
  std::string text;
  bool warning = false;
  std::optional<std::uint64_t> catBytes;

  bool failed() const { return reason != EngineReason::None; }
};

class EngineSession {
public:
  EngineSession() = default;
  ~EngineSession();
  EngineSession(const EngineSession&) = delete;
  EngineSession& operator=(const EngineSession&) = delete;

  // Starts `enginePath --session` and waits for its handshake. False, with no
  // process left behind, when the engine does not offer a session.
  bool start(const std::string& enginePath);

  bool active() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // Sends one command (the argument text of a one-shot run) and waits for its
  // answer, keeping the window live. `payload`: the command writes to
  // standard output. Past timeoutMs the engine is killed and the answer is
  // not answered; so is any answer of an engine that died.
  EngineAnswer request(const std::string& commandText, bool payload, int timeoutMs);

  // Ends the engine (closes its input, then kills it if it lingers).
  void stop();

  // While set, a command in flight is ended at once: the engine is killed,
  // its hidden files removed, and the answer is not answered. May be null.
  void setCancel(const std::atomic<bool>* cancel) { cancel_ = cancel; }
  bool cancelled() const { return cancel_ != nullptr && cancel_->load(); }

private:
  bool readLine(std::string& line, long long deadlineMs);
  bool readBytes(std::string& out, std::uint64_t count, long long deadlineMs);
  bool fill(long long deadlineMs);
  void kill();

  pid_t pid_ = -1;
  int toEngine_ = -1;
  int fromEngine_ = -1;
  std::string buffer_;
  const std::atomic<bool>* cancel_ = nullptr;
};

// Memory and time bounds for every engine process, so that a hostile file can
// neither hang a run nor exhaust the machine.
struct EngineLimits {
  std::uint64_t memoryBytes = std::uint64_t{6} << 30; // address space of the engine
  int baseSeconds = 120;                              // deadline of one command ...
  int secondsPerMiB = 2;                              // ... growing with the source's size
};
const EngineLimits& engineLimits();
void setEngineLimits(const EngineLimits& limits);

// The deadline for one engine command on a source of sourceBytes.
int engineDeadlineMs(std::uint64_t sourceBytes);

// Starts an engine process (posix_spawn's arguments) with the memory bound,
// tracked for the interrupt handlers from its first moment, its signals
// unblocked. posix_spawn's result: 0, or the error.
int spawnEngineProcess(pid_t& pid, const char* path, const posix_spawn_file_actions_t* actions,
                       char* const argv[]);

} // namespace sundrel::bridge
