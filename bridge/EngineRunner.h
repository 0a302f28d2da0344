#pragma once
// Runs the external PDF engine (`tovix.dll`, an executable beside the program)
// and supplies the few platform services the split engine needs: the program
// directory, private temporary names, child processes with captured output,
// the page count of a PDF and the hooks that keep the window alive.

#include "bridge/OwnFiles.h"

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

// Runs commandLine (its first argument is the program) with standard output
// and standard error captured and standard input empty. Waits without
// processing window messages. Returns the child's exit code; 0 when the child
// cannot be started; -1 when it ended without one (killed by a signal).
int runCommandBlocking(const std::string& commandLine);
// The same, with everything the child writes appended to output.
int runCommandBlocking(const std::string& commandLine, std::string& output);

// As runCommandBlocking, but appends everything the child writes to output,
// in order, and keeps the window responsive: the thread pump hook runs between
// short waits.
int runCommandPumping(const std::string& commandLine, std::string& output);

// Runs the engine with the given argument text (everything after the engine
// path) in responsive mode; the output is dropped. 0 without running anything
// when the text is empty.
int runEngine(std::string_view arguments);
// The same, with the engine's output appended to output.
int runEngine(std::string_view arguments, std::string& output);

// The page count from the engine's dump_data report; 0 on any failure (empty
// path, missing engine, no report, no "NumberOfPages:" key).
int getPageCount(const std::string& pdfPath);
// The same, with what the engine said appended to engineOutput.
int getPageCount(const std::string& pdfPath, std::string& engineOutput);

// Reads a decimal integer as C's atoi does: leading white space, an optional
// sign, digits up to the first other character; no digits give 0. Values out
// of range saturate instead of overflowing.
int parseLeadingInt(std::string_view text);

// Bounds the time of every later command; past it the child is killed and
// its exit code is -1. 0 restores the default (engineDeadlineMs of nothing).
void setCommandDeadlineMs(int milliseconds);

// Dispatches the pending messages of the thread / of the dialog. Both call the
// hooks the windows install and do nothing without them.
void pumpThreadMessages();
void pumpDialogMessages();
void setThreadPumpHook(std::function<void()> hook);
void setDialogPumpHook(std::function<void()> hook);

// Receives every command line before it runs (the only trace of the system).
void setTraceHook(std::function<void(std::string_view)> hook);

} // namespace sundrel::bridge
