#pragma once
// The files and folders the program makes for itself, and the only ones it
// ever removes: its private temporary folder (with a marker file that proves
// the program made it), the names it makes inside it, and the hidden staging
// files that it and its engine write beside the parts. A name is ours only
// in its exact form; anything else, however alike, belongs to the user.

#include <csignal>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace sundrel::bridge {

// A new name "pdf<hex>.tmp<suffix>" in this process's private temporary
// folder "sundrel-<pid>-XXXXXX" (mode 0700), made on first use under $TMPDIR,
// or /tmp, then /var/tmp when $TMPDIR is unset, unusable or holds a line break
// (an engine session takes one command per line). The folder is removed at
// exit; a killed run's folder is removed by the next run. No file exists
// under the returned name; the caller creates and owns it. Empty on failure.
std::string makeTempPath(std::string_view suffix = {});

// The hidden staging names: the program's ".sundrel-<pid>-XXXXXX" and the
// engine's ".tovix-<pid>-XXXXXX", six letters or digits as mkstemp makes
// them. A part always ends in ".pdf", so no part matches.
bool isStagingName(std::string_view name);
// "sundrel-<pid>-XXXXXX", the private temporary folder.
bool isTempFolderName(std::string_view name);
// What the private temporary folder may hold: its marker, "pdf<hex>.tmp"
// with ".txt", ".pdf" or no suffix, and the engine's staging files.
bool isTempEntryName(const char* name);

// Removes the staging files in folder that a run or an engine killed before
// it could clean up left: exact names only, plain files of this user with a
// single link, whose process no longer runs.
void removeLeftoverStagingFiles(const std::string& folder);

// Removes the private temporary folders in root whose process no longer
// runs: the exact name, this user's, mode 0700, the marker that process
// wrote, and nothing inside but names the program makes. Anything else in it
// keeps the whole folder.
void removeLeftoverTempFolders(const std::string& root);

// Files (or the private temporary folder) to remove when SIGINT or SIGTERM
// ends the process, so an interrupted run leaves nothing half-done behind; up
// to 128 at a time, from any thread. installInterruptCleanup sets up the
// handlers.
void registerCleanupPath(const std::string& path);
void unregisterCleanupPath(const std::string& path);
void installInterruptCleanup();

// Held while a file is made and registered above, or an engine is started
// and tracked, so that SIGINT or SIGTERM cannot fall between the two: the
// signal waits for this thread, the handlers wait for open sections, and a
// section opened once the handlers run never returns (the process is ending).
class CleanupSection {
public:
  CleanupSection();
  ~CleanupSection();
  CleanupSection(const CleanupSection&) = delete;
  CleanupSection& operator=(const CleanupSection&) = delete;

private:
  sigset_t saved_{};
};
// Engine processes that the handlers kill before removing those paths (up to
// 64 at a time, from any thread).
void trackEngineProcess(pid_t pid);
void untrackEngineProcess(pid_t pid);

// Folders in which engines write their hidden files (".tovix-<pid>-XXXXXX")
// beside the parts, while a file's parts are made; up to 128 at a time, a
// folder as often as it is registered, from any thread. An engine that the
// program ends (a stop, its time limit, SIGINT or SIGTERM) leaves its hidden
// file there; removeEngineStagingFiles removes them.
void registerEngineFolder(const std::string& folder);
void unregisterEngineFolder(const std::string& folder);
// Removes the hidden files of the engine process pid, which has ended, from
// the registered folders (exact names only).
void removeEngineStagingFiles(pid_t pid);

} // namespace sundrel::bridge
