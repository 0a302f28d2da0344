#pragma once
// What a run is asked to do, and how it tells a front end what happens: a
// job value in (files with their byte sizes, the limit in bytes, where parts
// go), events out through an observer while it runs, and the SplitReport at
// the end. No number travels as text.

#include "engine/SplitReport.h"
#include "settings/SplitSettings.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sundrel::engine {

// One listed file, as the front end knew it when the run started.
struct SplitRow {
  std::string path;
  std::uint64_t bytes = 0; // its size; a file below the limit is skipped, not opened
  std::string password;    // its open password; empty when none (reaches the engine
                           // only through its session, never an argument list)
};

struct SplitJob {
  std::vector<SplitRow> rows; // in list order
  // The options group (name pattern, properties, security) and the run
  // group: sizeLimit (bytes; every part stays below it unless it is a single
  // page), outputMode and outputFolder.
  settings::SplitSettings settings;
  bool dryRun = false; // measure the parts and report them, write none
  // Files split at the same time, each by an engine session of its own. The
  // parts, their names and the report are those of one at a time; the
  // observer hears every file's events in list order (progress as it comes).
  int jobs = 1;
  // Set by the front end (from any thread) to stop the run: an engine
  // command in flight is ended at once (its engine killed, the engine's
  // hidden files removed), parts already finished stay, and the files not
  // finished are reported not reached. May be null.
  const std::atomic<bool>* stop = nullptr;
};

// Where a run is: which file of how many, and where in that file.
struct FileProgress {
  std::size_t file = 0;  // index into the job's rows
  std::size_t files = 0; // rows in the job
  std::string source;    // the row's path
  int page = 0;          // the page reached; pages + 1 once the file is done
  int pages = 0;         // the file's page count; 0 until known
  int parts = 0;         // parts finished in this file so far
};

// What a front end hears while a run goes. Events come one at a time, never
// from two threads at once; every file's events come in order, and files in
// list order (progress excepted, which comes as it happens). The report says
// it all again at the end.
class SplitObserver {
public:
  virtual ~SplitObserver() = default;

  // Consulted before every engine command: true ends the run there. Parts
  // already finished stay, a part being made is removed, and the files not
  // finished are reported not reached.
  virtual bool stopRequested() { return false; }

  // The page reached in a file (and the file's page count).
  virtual void progress(const FileProgress& /*at*/) {}
  // A file below the limit: skipped, never opened.
  virtual void fileSkipped(const FileProgress& /*at*/) {}
  // A part put in place (in a dry run: measured as it would be written).
  virtual void partWritten(const FileProgress& /*at*/, const PartRecord& /*part*/) {}
  // A file that could not be split; file says why.
  virtual void fileFailed(const FileProgress& /*at*/, const FileReport& /*file*/) {}
  // Something the user should know about a file that was split all the same.
  virtual void warning(const FileProgress& /*at*/, const std::string& /*text*/) {}
};

} // namespace sundrel::engine
