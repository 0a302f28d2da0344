#pragma once

#include "bridge/EngineReason.h"
#include "tovix/Command.h"

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

// What every part of the engine shares: the failure type, message helpers
// and the context of the command being run.
namespace sundrel::tovix {

using Reason = bridge::EngineReason;

// Every failure the user should read: one line, no "Error: " prefix, and the
// reason code that goes before it (one of the codes the README lists).
class Failure : public std::runtime_error {
public:
  Failure(Reason reason, const std::string& what) : std::runtime_error(what), reason_(reason) {}
  explicit Failure(const std::string& what) : Failure(Reason::Failed, what) {}
  Reason reason() const { return reason_; }

private:
  Reason reason_;
};

// The reason and words of the exception being handled; for a catch (...)
// block, so that anything thrown becomes one coded error line.
struct Refusal {
  Reason reason = Reason::Failed;
  std::string text;
};
Refusal currentRefusal();

// Paths in messages stay readable even when absurdly long.
std::string shown(const std::string& path);

// Line breaks become blanks, so that a message stays one line.
std::string oneLine(std::string text);

class InputCache;

// A file that no command may read or write: in a session, its own standard
// input and output, which carry the commands and the answers.
struct Channel {
  dev_t dev = 0;
  ino_t ino = 0;
  const char* what = ""; // "standard input, which carries its commands"
};

// The command being run, where its data goes and what it has to say.
struct Context {
  Context(const Command& command, std::FILE* output, std::FILE* errors, std::FILE* input,
          InputCache* inputs = nullptr)
      : cmd(command), out(output), err(errors), in(input), cache(inputs) {}

  const Command& cmd;
  std::FILE* out;              // reports and `output -` data
  std::FILE* err;              // do_ask questions; null in a session, where no one answers
  std::FILE* in;               // `update_info -` and do_ask answers; null in a session
  InputCache* cache = nullptr; // a session's open inputs
  bool quickExit = false;      // the process ends right after: leave documents unfreed
  std::vector<Channel> channels;

  std::vector<std::string> messages; // "Warning: ..." lines, in order
  bool warnings = false;             // a warning that makes the exit code 3
  std::uint64_t bytes = 0;           // written, or measured
  std::int64_t catBytes = -1;        // a finished part: the size of its plain pages

  void warn(const std::string& text) {
    messages.push_back("Warning: " + oneLine(text));
    warnings = true;
  }
  // A note that keeps exit code 0 (a repaired input).
  void note(const std::string& text) { messages.push_back("Warning: " + oneLine(text)); }
};

} // namespace sundrel::tovix
