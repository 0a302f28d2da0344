#pragma once
// What a run did with every listed file: the parts it wrote, the files it
// skipped or could not split and why, and the pages that alone exceed the
// limit. Front ends show it; nothing in it is left for the user to guess.

#include <cstdint>
#include <string>
#include <vector>

namespace sundrel::engine {

enum class FileOutcome { Split, SkippedTooSmall, Failed, NotReached };

enum class FailureKind {
  None,
  Unreadable,
  Protected,
  EngineMissing,
  ProbeFailed,
  PartNotWritten,
  StageFailed,
  Overwrite,
  Timeout,
  SourceChanged // replaced or changed on disk while it was being split
};

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
  std::vector<OversizePage> oversizePages; // single pages that alone exceed the limit
  std::vector<std::string> warnings;       // e.g. properties not applied to a part
};

struct SplitReport {
  std::uint64_t limit = 0;
  bool stoppedEarly = false;     // the run ended before the last file
  std::vector<FileReport> files; // every listed file, in list order, NotReached ones included
  int partCount() const;         // all parts written
  bool hasProblems() const;      // any failure, not-reached file, oversize page or warning
};

} // namespace sundrel::engine
