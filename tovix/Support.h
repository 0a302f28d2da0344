#pragma once

#include "tovix/Command.h"

#include <cstdio>
#include <stdexcept>
#include <string>

// What every part of the engine shares: the failure type, message helpers
// and the context of the command being run.
namespace sundrel::tovix {

// Every failure the user should read: one line, no "Error: " prefix.
class Failure : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Paths in messages stay readable even when absurdly long.
std::string shown(const std::string& path);

// Line breaks become blanks, so that a message stays one line.
std::string oneLine(std::string text);

// The command being run and where its data and messages go.
struct Context {
  const Command& cmd;
  std::FILE* out; // reports and `output -` data
  std::FILE* err; // messages
  std::FILE* in;  // `update_info -` and do_ask answers
  bool warnings = false;

  void warn(const std::string& text) {
    std::fprintf(err, "Warning: %s\n", oneLine(text).c_str());
    warnings = true;
  }
};

} // namespace sundrel::tovix
