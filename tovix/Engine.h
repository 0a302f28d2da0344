#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace sundrel::tovix {

// Exit codes as pdftk uses them.
enum ExitCode : int { ExitOk = 0, ExitError = 1, ExitWarnings = 3 };

// Runs one engine command (the arguments after the program name). Writes
// reports and `output -` data to `out`, messages to `err`, and reads `in`
// for `update_info -` and do_ask questions. Never throws; every failure is
// one "Error: ..." line on `err` and ExitError, with no output file left.
int run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, std::FILE* in);

} // namespace sundrel::tovix
