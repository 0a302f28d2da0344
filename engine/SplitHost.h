#pragma once
// What the split engine reads from and reports to the main window. The main
// window implements it with Qt; tests and sundrel-split implement it without.

#include <cstdint>
#include <string>

namespace sundrel::engine {

// The file list's "Size" text: whole kilobytes of 1024 bytes, remainder
// dropped, followed by "KB" (1023 bytes give "0KB", 1536 bytes "1KB").
inline std::string listedSizeText(std::uint64_t bytes) {
  return std::to_string(bytes / 1024) + "KB";
}

class SplitHost {
public:
  virtual ~SplitHost() = default;

  // File list: number of rows, the "File name" column (full path) and the
  // "Size" column text ("<kilobytes>KB") of a row.
  virtual int rowCount() = 0;
  virtual std::string rowPath(int row) = 0;
  virtual std::string rowSizeText(int row) = 0;

  // The open password the user gave for a row's file; empty when none. It
  // reaches the engine only through its session, never an argument list.
  virtual std::string rowPassword(int /*row*/) { return {}; }

  // Text of the size edit (bytes as decimal text).
  virtual std::string sizeEditText() = 0;

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

  // Dispatches the window's own pending messages between probes.
  virtual void pumpDialogMessages() {}

  // Reports for front ends that show results; the window ignores them.
  // A dry run's parts are reported as they would be written; bytes is the
  // part's size.
  virtual void partWritten(const std::string& /*partPath*/, int /*firstPage*/, int /*lastPage*/,
                           std::uint64_t /*bytes*/) {}
  virtual void fileFailed(const std::string& /*sourcePath*/, const std::string& /*reason*/) {}
};

} // namespace sundrel::engine
