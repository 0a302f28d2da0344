#pragma once
// The main window's side of a run: what it offers a run (its rows with
// their sizes, the limit its size edit gives, its output choice) and what a
// run does to it (its progress bar, the skip message, a failed file marked
// on its row). runSplit(host, settings) builds the SplitJob from it at the
// start of the run and turns the run's events into its calls; window tests
// stand in for a whole run through this interface.

#include "engine/SplitJob.h"
#include "engine/SplitReport.h"
#include "settings/SplitSettings.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace sundrel::engine {

class SplitHost {
public:
  virtual ~SplitHost() = default;

  // File list: number of rows, the "File name" column (full path) and the
  // "Size" column text ("<kilobytes>KB") of a row.
  virtual int rowCount() = 0;
  virtual std::string rowPath(int row) = 0;
  virtual std::string rowSizeText(int row) = 0;
  // The row's file size in bytes, which decides whether it is split.
  virtual std::uint64_t rowBytes(int row) = 0;

  // The open password the user gave for a row's file; empty when none. It
  // reaches the engine only through its session, never an argument list.
  virtual std::string rowPassword(int /*row*/) { return {}; }

  // Text of the size edit (bytes as decimal text), as the user left it, and
  // the limit in bytes that it gives.
  virtual std::string sizeEditText() = 0;
  virtual std::uint64_t limitBytes() = 0;

  // True while the "Original directory" radio is selected (parts beside their
  // source), false for the alternative directory.
  virtual bool originalDirectorySelected() = 0;
  virtual std::string outputFolder() = 0;

  virtual void setProgressRange(int lower, int upper) = 0;
  virtual void setProgressPos(int pos) = 0;

  // Modal message box with an OK button, no icon, the application's name as
  // caption; returns when the user closes it.
  virtual void showSkipMessage(const std::string& text) = 0;

  // True when the run measures the parts and reports them but writes none.
  virtual bool dryRun() { return false; }

  // Dispatches the window's own pending messages between engine commands.
  virtual void pumpDialogMessages() {}
  // Asked between engine commands (after the pump): true ends the run.
  virtual bool stopRequested() { return false; }
  // A flag that, once set, also ends an engine command in flight (within
  // the pump's step); null when the host has none.
  virtual const std::atomic<bool>* stopFlag() { return nullptr; }

  // Where the run is; the default shows it on the progress bar: 0 to the
  // file's pages + 1, at the page reached.
  virtual void progress(const FileProgress& at);
  // A file below the limit; the default shows the skip message in English.
  virtual void fileSkipped(const std::string& path);

  // A part written (in a dry run: measured); bytes is the part's size.
  virtual void partWritten(const std::string& /*partPath*/, int /*firstPage*/, int /*lastPage*/,
                           std::uint64_t /*bytes*/) {}
  // A file that could not be split, with the reason in words; and the same
  // with the whole report of the file (the default tells fileFailed).
  virtual void fileFailed(const std::string& /*sourcePath*/, const std::string& /*reason*/) {}
  virtual void fileNotSplit(const FileReport& file) { fileFailed(file.source, file.reason); }
};

// Splits the host's rows counted now, below the limit it gives now, into
// parts where it says (settings' run group set from it), its events shown
// on it. Returns at once, settings untouched, when it lists no rows.
SplitReport runSplit(SplitHost& host, settings::SplitSettings& settings);

} // namespace sundrel::engine
