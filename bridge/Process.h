#pragma once
// One way to run a child process: its standard output and standard error
// captured on one pipe, standard input empty, a time limit, and a result that
// says how it ended. Every caller of the program runs its children here.

#include <atomic>
#include <string>

namespace sundrel::bridge {

// How a child process ended, and what it wrote.
struct ProcessResult {
  enum class Ending {
    Exited,     // it ended by itself: exitCode
    Signalled,  // a signal ended it: signal
    TimedOut,   // it ran past its time limit and was killed
    Cancelled,  // the caller asked it to stop and it was killed
    NotStarted, // it could not be started: reason
  };
  Ending ending = Ending::NotStarted;
  int exitCode = -1;
  int signal = 0;
  std::string reason; // why it was not started
  std::string output; // standard output and standard error, in the order written

  bool exited(int code) const { return ending == Ending::Exited && exitCode == code; }
  bool succeeded() const { return exited(0); }
  // One plain phrase: "exited with code 2", "was ended by signal 9 (Killed)",
  // "ran past its time limit and was stopped", "could not be started: ...".
  std::string describe() const;
};

enum class WaitMode {
  Blocking, // waits without running the window's pump
  Pumping,  // runs the thread's pump hook between short waits
};

struct ProcessOptions {
  WaitMode mode = WaitMode::Blocking;
  int deadlineMs = 0; // 0: the bound of a command on an empty source
  // Polled while the child runs: true kills it (Cancelled). May be null.
  const std::atomic<bool>* cancel = nullptr;
};

// Runs commandLine, split by the Windows rules (its first argument is the
// program). The command line goes to the trace hook first. The child gets the
// engine's memory bound and is killed if SIGINT or SIGTERM ends us.
ProcessResult runProcess(const std::string& commandLine, const ProcessOptions& options = {});

} // namespace sundrel::bridge
