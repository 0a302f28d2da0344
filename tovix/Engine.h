#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace sundrel::tovix {

// Exit codes as pdftk uses them.
enum ExitCode : int { ExitOk = 0, ExitError = 1, ExitWarnings = 3 };

// Runs one engine command (the arguments after the program name). Writes
// reports and `output -` data to `out` (for `measure`, the size and a line
// break), messages to `err`, and reads `in` for `update_info -` and do_ask
// questions. Never throws; every failure is one "Error: ..." line on `err`
// and ExitError, with no output file left. The documents it opened stay in
// memory: the process is expected to end right after.
int run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, std::FILE* in);

// Serves commands read from `in`, one per line, answering each on `out` with
// one status line (and its payload for standard output) until `in` ends.
// Opened inputs stay open between commands.
void runSession(std::FILE* in, std::FILE* out);

} // namespace sundrel::tovix
