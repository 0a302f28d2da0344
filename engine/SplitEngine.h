#pragma once
// The size-driven split: probe page ranges with the engine, write each range
// that fits as a part, then give every part its properties and security.

#include "engine/SplitJob.h"
#include "engine/SplitReport.h"
#include "settings/SplitSettings.h"

#include <string>
#include <string_view>
#include <utility>

namespace sundrel::engine {

using settings::SplitSettings;

// Splits every file of the job whose byte size is not below the limit
// (a part must stay below it, so a file of exactly the limit is split too)
// and says what became of each. Events go to observer as they happen.
SplitReport runSplit(const SplitJob& job, SplitObserver& observer);

// Extracts pages firstPage..lastPage of sourcePath into the part that the
// job's name pattern names (part number partNumber) and runs the two stages
// on it, one engine process per command. The report holds the part, or why
// there is none.
FileReport writePart(const SplitJob& job, const std::string& sourcePath, int partNumber,
                     int firstPage, int lastPage);

// Replaces the first occurrence of token in text by value; false (text
// unchanged) when the token does not occur.
bool replaceToken(std::string& text, std::string_view token, std::string_view value);

// Whether a stage did its work on a part, and why not.
struct StageResult {
  StageResult(bool isDone = false, std::string why = {}) : done(isDone), reason(std::move(why)) {}
  bool done = false;
  std::string reason;  // why not, when not done
  std::string warning; // the engine's warning, when done with one
  explicit operator bool() const { return done; }
};

// Writes the document properties into the part through update_info; done
// when the part was replaced by its updated copy. deadlineMs bounds the
// engine's run (0: the bound of a command on an empty source).
StageResult applyDocumentInfo(const SplitSettings& settings, const std::string& partPath,
                              int deadlineMs = 0);

// Encrypts the part when addSecurity is set and keepEncryption is clear
// (done without doing anything otherwise).
StageResult applySecurity(const SplitSettings& settings, const std::string& partPath);

} // namespace sundrel::engine
