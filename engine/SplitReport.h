#pragma once
// What a run did with every listed file: the parts it wrote, the files it
// skipped or could not split and why, and the pages that alone exceed the
// limit. Front ends show it; nothing in it is left for the user to guess.

#include "bridge/EngineReason.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sundrel::engine {

enum class FileOutcome { Split, SkippedTooSmall, Failed, NotReached };

// What became of a file that was not split, and the engine's reason behind
// it; the bridge maps the one to the other.
using bridge::EngineReason;
using bridge::FailureKind;

struct PartRecord {
  std::string path;
  int firstPage = 0;
  int lastPage = 0;
  std::uint64_t bytes = 0;
};

struct OversizePage {
  int page = 0;
  std::uint64_t bytes = 0;
};

struct FileReport {
  std::string source;
  FileOutcome outcome = FileOutcome::NotReached;
  FailureKind failure = FailureKind::None;
  std::string reason; // one plain sentence when failed
  std::vector<PartRecord> parts;
  std::vector<OversizePage> oversizePages;        // single pages that alone exceed the limit
  std::vector<std::string> warnings;              // e.g. properties not applied to a part
  EngineReason engineReason = EngineReason::None; // the engine's reason for the failure, if any
};

// The engine's reason for a file's failure: as the run recorded it, or for a
// report that has only the engine's words, as those words give it.
EngineReason engineReasonOf(const FileReport& file);

struct SplitReport {
  std::uint64_t limit = 0;       // bytes
  bool stoppedEarly = false;     // the run ended before the last file
  std::vector<FileReport> files; // every listed file, in list order, NotReached ones included
  bool stopped = false;          // the front end stopped the run (SplitJob::stop, stopRequested)
  int partCount() const;         // all parts written
  bool hasProblems() const;      // any failure, not-reached file, oversize page or warning
};

} // namespace sundrel::engine
