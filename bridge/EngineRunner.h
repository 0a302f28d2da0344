#pragma once
// Runs the external PDF engine (`tovix.dll`, an executable beside the program)
// and supplies the few platform services the split engine needs: the program
// directory, private temporary names, child processes with captured output,
// the page count of a PDF and the hooks that keep the window alive.

#include "bridge/EngineReason.h"
#include "bridge/OwnFiles.h"
#include "bridge/Process.h"

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace sundrel::bridge {

// File name of the engine in the program directory.
inline constexpr std::string_view kEngineFileName = "tovix.dll";

// Directory of the running executable with its trailing '/'. It can be
// replaced for tests (setProgramDirectory).
std::string programDirectory();

// programDirectory() followed by fileName. An installed program keeps its engine and skin in a
// private directory instead (kInstalledFilesDirectory from the program's directory): when fileName
// is missing beside the program but present there, that path is given.
std::string programFilePath(std::string_view fileName);

// The private directory of an installed program, relative to the directory of
// its executable ("../libexec/sundrel/" for bin/sundrel), set by the build.
extern const std::string_view kInstalledFilesDirectory;

// Replaces the directory that programFilePath uses; an empty text restores the
// directory of the running executable.
void setProgramDirectory(std::string directory);

// Quotes one argument so that splitCommandLine gives it back unchanged,
// whatever it holds (blanks, '"', trailing backslashes). A plain value comes
// out as "value", exactly as the documented command lines show.
std::string quoteArgument(std::string_view value);

// Splits a command line into arguments by the Windows rules: blanks and tabs
// separate, double quotes group, 2n backslashes before a quote give n and the
// quote acts, 2n+1 give n and a literal quote, other backslashes stay, and a
// doubled quote inside a quoted run gives one literal quote.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

// Runs commandLine (its first argument is the program) as runProcess does,
// waiting without processing window messages; deadlineMs 0 is the bound of a
// command on an empty source.
ProcessResult runCommandBlocking(const std::string& commandLine, int deadlineMs = 0);

// The same in responsive mode: the thread pump hook runs between short waits.
// A set cancel flag (may be null) kills the child (Cancelled).
ProcessResult runCommandPumping(const std::string& commandLine, int deadlineMs = 0,
                                const std::atomic<bool>* cancel = nullptr);

// Runs the engine beside the program with the given argument text (everything
// after the engine path) in responsive mode. Nothing is started for an empty
// text (NotStarted).
ProcessResult runEngine(std::string_view arguments, int deadlineMs = 0,
                        const std::atomic<bool>* cancel = nullptr);

// The engine's exit codes: written, refused (one error line, no output),
// written with warnings.
inline constexpr int kEngineOk = 0;
inline constexpr int kEngineError = 1;
inline constexpr int kEngineWarnings = 3;

// Whether an engine run wrote what it was asked (with or without warnings).
inline bool engineWrote(const ProcessResult& run) {
  return run.exited(kEngineOk) || run.exited(kEngineWarnings);
}

// Why an engine run did not succeed: the engine's reason and words, or how
// its process ended (not started, stopped past its time, killed by a signal).
// Reason None for a run that succeeded.
EngineMessage engineFailure(const ProcessResult& run);

struct PageCount {
  int pages = 0;         // above 0 when the report gave it
  EngineMessage failure; // why there is none
};

// The page count from the engine's dump_data report of pdfPath, or why there
// is none.
PageCount countPages(const std::string& pdfPath, int deadlineMs = 0);
// Only the number: 0 when there is none (countPages says why).
int getPageCount(const std::string& pdfPath);

// Reads a decimal integer as C's atoi does: leading white space, an optional
// sign, digits up to the first other character; no digits give 0. Values out
// of range saturate instead of overflowing.
int parseLeadingInt(std::string_view text);

// Dispatches the pending messages of the window's thread through the hook it
// installs. Does nothing without a hook, and on any other thread than the
// one that installed it: an engine run in the background never runs the
// window's handlers.
void pumpThreadMessages();
void setThreadPumpHook(std::function<void()> hook);

// Receives every command line before it runs (the only trace of the system).
// The hook may be called from any thread that runs a command.
void setTraceHook(std::function<void(std::string_view)> hook);
void traceCommand(std::string_view commandLine);

} // namespace sundrel::bridge
