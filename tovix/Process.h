#pragma once

#include <functional>

// How the engine process runs: its work on a thread with a large stack,
// and a last word when even that is not enough.
namespace sundrel::tovix {

// Runs `work` on a thread whose stack is large enough for libqpdf's
// recursive walks (page tree, object copies) of files nested hundreds of
// thousands of levels deep, and returns its result.
int runOnLargeStack(const std::function<int()>& work);

// What the process writes, and where, when it crashes (a file nested deeper
// still, or any other fault): one line, then it ends with exit code 1
// instead of dying silently.
void setCrashLine(int fd, const char* line);

} // namespace sundrel::tovix
