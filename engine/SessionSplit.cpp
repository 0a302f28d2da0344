// The split through the engine's session: the source stays open in the
// engine, a model predicts where each part ends, and measurements confirm it,
// so a part costs a few extractions instead of one per page. The finished
// part comes from the measurement that confirmed it, properties and security
// applied in the same pass.

#include "bridge/EngineRunner.h"
#include "engine/BoundarySearch.h"
#include "engine/PartFiles.h"
#include "engine/SplitRun.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace sundrel::engine {
namespace {

using bridge::EngineAnswer;
using bridge::EngineMessage;
using bridge::quoteArgument;

struct FinishedPart {
  int last = 0;            // 0: none
  std::string staging;     // the finished part under a hidden name in the part folder
  std::uint64_t plain = 0; // size of the plain extraction
  std::uint64_t bytes = 0; // size of the finished part
};

// Why a real run could not put parts into folder; empty when it could.
std::string folderProblem(const std::string& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0)
    return "the folder " + folder + " does not exist yet: a real run needs it made first";
  if (!S_ISDIR(info.st_mode))
    return folder + " is not a folder: a real run could not write these parts";
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    return "the folder " + folder + " cannot be written: a real run could not write these parts";
  return {};
}

class SessionFile {
public:
  SessionFile(FileSplit& file, const std::string& password)
      : file_(file), settings_(file.run.settings), handle_("A=" + quoteArgument(file.source)),
        folder_(partFolder(file.source,
                           settings_.outputMode == settings::OutputMode::OriginalDirectory,
                           settings_.outputFolder)) {
    // The password goes over the session's pipe, never into an argument list.
    if (!password.empty()) {
      handle_ += " input_pw " + quoteArgument("A=" + password);
      // Without this the engine writes what it opened with a password unprotected.
      if (settings_.keepEncryption != 0)
        keep_ = " keep_encryption";
    }
    // Our engine cuts each part's fonts down to its glyphs unless told not to.
    if (settings_.subsetFonts == 0)
      keep_ += " keep_fonts";
  }
  ~SessionFile() { discard(); }
  SessionFile(const SessionFile&) = delete;
  SessionFile& operator=(const SessionFile&) = delete;

  FileResult split();
  // Puts the engine's last warning about the source into the report.
  void reportWarning() {
    if (!engineWarning_.empty())
      file_.warn(engineWarning_);
  }

private:
  // Every engine command goes through here: the run may be stopped before it.
  EngineAnswer ask(const std::string& command, bool payload) {
    if (file_.stopRequested()) {
      EngineAnswer stopped;
      stopped.reason = bridge::EngineReason::Lost;
      stopped.text = "the run was stopped";
      return stopped;
    }
    EngineAnswer answer = file_.worker.session.request(command, payload, file_.deadlineMs);
    if (!answer.failed() && answer.warning)
      noteWarning(answer.text);
    return answer;
  }

  // The engine's warning about the source (a damaged file it repaired) goes
  // into the report once, in its latest words.
  void noteWarning(std::string_view message) {
    // "<source> is damaged ..." is shown beside the source's name already.
    const bool named = message.starts_with(file_.source + " ");
    if (named)
      message.remove_prefix(file_.source.size());
    engineWarning_ = (named ? "it" : "") + std::string(message);
  }

  std::string range(int first, int last) const {
    return " cat A" + std::to_string(first) + "-" + std::to_string(last);
  }
  static EngineMessage said(const EngineAnswer& answer) { return {answer.reason, answer.text}; }

  int pageCount();
  PageWeights weights(int pages);
  Measurement measure(int first, int last);
  bool finish(int first, int last, std::string& error);
  // Each gives what the split returns when the file ends there, else nothing.
  std::optional<FileResult> finishPart(int first, int& last);
  std::optional<FileResult> placePart(int first, int last);
  void discard() {
    if (!finished_.staging.empty())
      removeStagingFile(finished_.staging);
    finished_ = {};
  }

  FileSplit& file_;
  const SplitSettings& settings_;
  std::string handle_;
  std::string keep_;
  std::string folder_;
  FinishedPart finished_;
  EngineMessage stageError_; // why the engine refused the last range
  std::string engineWarning_;
  int partNumber_ = 1;
};

int SessionFile::pageCount() {
  const EngineAnswer answer = ask(handle_ + " dump_data output -", true);
  if (answer.failed()) {
    file_.failFor(said(answer), FailureKind::Unreadable, {});
    return 0;
  }
  constexpr std::string_view key = "NumberOfPages:";
  const std::size_t at = answer.payload.find(key);
  const int pages =
      at == std::string::npos
          ? 0
          : bridge::parseLeadingInt(std::string_view(answer.payload).substr(at + key.size()));
  if (pages <= 0)
    file_.fail(FailureKind::Unreadable, "the engine found no pages in it");
  return pages;
}

PageWeights SessionFile::weights(int pages) {
  const EngineAnswer answer = ask(handle_ + " page_sizes output -" + keep_, true);
  PageWeights weights;
  // An engine without the report (or a report that does not fit) still
  // splits: every page is taken to weigh the same.
  if (!answer.failed() && weights.parse(answer.payload, pages))
    return weights;
  return PageWeights::uniform(pages, fileSize(file_.source).value_or(0));
}

Measurement SessionFile::measure(int first, int last) {
  const EngineAnswer answer = ask(handle_ + range(first, last) + " measure" + keep_, false);
  if (answer.failed()) {
    stageError_ = said(answer);
    return {};
  }
  return {true, answer.bytes};
}

// Writes first..last as a finished part under a hidden name in the part
// folder: extraction, properties and security in one engine command. A dry
// run only measures it: nothing is written in the user's folders.
bool SessionFile::finish(int first, int last, std::string& error) {
  discard();
  if (!ensureInfoFile(file_.worker, settings_)) {
    error = "the properties could not be prepared in the temporary folder";
    return false;
  }
  const bool dryRun = file_.run.job.dryRun;
  const std::string staging = dryRun ? std::string() : makeStagingFile(folder_, error);
  if (!dryRun && staging.empty())
    return false;
  std::string command = handle_ + range(first, last) + " update_info " +
                        quoteArgument(file_.worker.infoPath) +
                        (dryRun ? " measure" : " output " + quoteArgument(staging));
  if (wantsSecurity(settings_))
    command += encryptionClauses(settings_);
  // Pages that reach the limit only tell the search their size.
  command += keep_ + " size_limit " + std::to_string(file_.run.limit);
  const EngineAnswer answer = ask(command, false);
  if (answer.failed() || !answer.catBytes) {
    removeStagingFile(staging);
    stageError_ = said(answer);
    error = answer.failed() ? withPartName(answer.text, staging,
                                           partPathFor(settings_.namePattern, folder_, file_.source,
                                                       partNumber_, first, last)
                                               .path)
                            : "the engine did not say the part's size";
    return false;
  }
  finished_.plain = *answer.catBytes;
  if (finished_.plain >= file_.run.limit && last > first) {
    removeStagingFile(staging); // the engine wrote nothing there
    return true;
  }
  finished_.last = last;
  finished_.staging = staging;
  finished_.bytes = dryRun ? answer.bytes : fileSize(staging).value_or(answer.bytes);
  return true;
}

// The properties and the encryption add a few hundred bytes to what was
// measured; a finished part that no longer fits, or was not written because
// its plain pages reach the limit, gives its last page to the next part.
std::optional<FileResult> SessionFile::finishPart(int first, int& last) {
  for (;;) {
    if (finished_.last != last) {
      std::string error;
      if (!finish(first, last, error))
        return file_.fail(bridge::failureKind(stageError_.reason, FailureKind::StageFailed),
                          "part " + std::to_string(partNumber_) + " could not be written: " + error,
                          FileResult::Continue, stageError_.reason);
    }
    if (finished_.last == last && (last == first || finished_.bytes < file_.run.limit))
      return std::nullopt;
    discard();
    --last;
  }
}

std::optional<FileResult> SessionFile::placePart(int first, int last) {
  const PartName name =
      partPathFor(settings_.namePattern, folder_, file_.source, partNumber_, first, last);
  if (name.path.empty())
    return file_.fail(FailureKind::PartNotWritten, name.error);
  if (!file_.claimPartPath(name.path))
    return file_.stopped() ? FileResult::StopRun : FileResult::Continue;
  const std::uint64_t bytes = finished_.bytes;
  if (file_.run.job.dryRun) {
    discard();
  } else if (!placeStagedPart(finished_.staging, name.path)) {
    const int error = errno;
    finished_ = {};
    file_.run.releasePart(name.path);
    return file_.fail(FailureKind::PartNotWritten,
                      "the part " + name.path +
                          " could not be put in place: " + std::strerror(error));
  }
  finished_ = {};
  file_.partDone({name.path, first, last, bytes});
  return std::nullopt;
}

FileResult SessionFile::split() {
  const std::uint64_t limit = file_.run.limit;
  const int pages = pageCount();
  if (pages <= 0)
    return file_.stopped() ? FileResult::StopRun : FileResult::Continue;
  file_.setPages(pages);
  SizeModel model(weights(pages));

  int first = 1;
  while (first <= pages) {
    file_.reach(first);
    int reached = first;
    int refused = first; // the range the engine refused last
    const PartEnd end = findPartEnd(first, pages, limit, model, [&](int last, bool candidate) {
      Measurement m;
      std::string error;
      if (candidate && finish(first, last, error))
        m = {true, finished_.plain};
      else
        m = measure(first, last);
      if (!m.ok)
        refused = last;
      if (m.ok && m.bytes < limit && last > reached) {
        reached = last;
        file_.reach(last);
      }
      return m;
    });
    if (!end.ok) {
      // The engine's reason is about this file (a damaged page, a source
      // changed while it was split): the run goes on with the next one.
      discard();
      return file_.failFor(stageError_, FailureKind::ProbeFailed,
                           "the engine could not extract pages " + std::to_string(first) + "-" +
                               std::to_string(refused));
    }
    int last = end.last;
    if (const auto ended = finishPart(first, last))
      return *ended;
    if (const auto ended = placePart(first, last))
      return *ended;
    // Said of a part that was written, never of one that failed.
    if (end.single)
      file_.report.oversizePages.push_back({first, end.bytes});
    file_.reach(last + 1);
    first = last + 1;
    ++partNumber_;
  }
  // A dry run makes nothing, not even the folder, but says what a real run needs.
  if (const std::string problem = file_.run.job.dryRun ? folderProblem(folder_) : std::string();
      !problem.empty())
    file_.warn(problem);
  file_.report.outcome = FileOutcome::Split;
  return FileResult::Continue;
}

} // namespace

FileResult splitInSession(FileSplit& file, const std::string& password) {
  SessionFile session(file, password);
  const FileResult result = session.split();
  // A failed file says why; a note that it was repaired would only blur that.
  if (file.report.outcome == FileOutcome::Split)
    session.reportWarning();
  return result;
}

} // namespace sundrel::engine
