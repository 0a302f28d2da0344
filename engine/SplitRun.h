#pragma once
// The state of one run that both split paths share.

#include "bridge/EngineSession.h"
#include "engine/PartFiles.h"
#include "engine/SplitHost.h"
#include "engine/SplitReport.h"
#include "settings/SplitSettings.h"

#include <cstdint>
#include <set>
#include <string>

namespace sundrel::engine {

struct SplitRun {
  SplitRun(SplitHost& runHost, const settings::SplitSettings& runSettings)
      : host(runHost), settings(runSettings) {}

  SplitHost& host;
  const settings::SplitSettings& settings;
  std::uint32_t limit = 0;
  std::set<std::string> written; // parts this run put in place
  ListedInputs inputs;           // no part may replace one of them
  bridge::EngineSession session;
  std::string infoPath; // the properties text, for the session's one-pass parts
};

enum class FileResult { Continue, StopRun };

// Marks the file failed, tells the host and returns what the run does next.
FileResult failFile(SplitRun& run, FileReport& file, FailureKind kind, const std::string& reason,
                    FileResult next = FileResult::Continue);

// Splits one file with one engine process per command (any engine).
FileResult splitByProcess(SplitRun& run, FileReport& file, const std::string& source);

// Splits one file through the engine's session: few measurements per part.
FileResult splitInSession(SplitRun& run, FileReport& file, const std::string& source,
                          const std::string& password, std::uint64_t sourceBytes);

// Whether the part path may be written: not the source nor any other file
// the run lists, not a part this run already wrote. Fails the file with the
// reason otherwise.
bool partPathAllowed(SplitRun& run, FileReport& file, const std::string& source,
                     const std::string& partPath);

// Why the engine refused to open a source.
FailureKind classifyOpenFailure(const std::string& message);

} // namespace sundrel::engine
